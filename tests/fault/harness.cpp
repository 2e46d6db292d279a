#include "harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fault {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> split_nul(const std::string& recorded) {
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t end; (end = recorded.find('\0', start)) != std::string::npos;
         start = end + 1) {
        args.push_back(recorded.substr(start, end - start));
    }
    return args;
}

std::string record_args(const fs::path& file) {
    return "for a; do printf '%s\\0' \"$a\"; done > '" + file.string() + "'\n";
}

scratch::scratch() {
    std::string name = (fs::temp_directory_path() / "tarn-fault-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = name;
    fs::create_directory(root_ / "bin");
    fs::create_directory(root_ / "io");
    fs::create_directory(home());
}

scratch::~scratch() {
    std::error_code ignored;
    // A test may leave a directory without write permission behind.
    for (const auto& entry : fs::recursive_directory_iterator(root_, ignored)) {
        if (entry.is_directory(ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    }
    fs::remove_all(root_, ignored);
}

void scratch::log_in(const std::string& contents) const {
    fs::create_directories(config_dir());
    write_file(config_file(), contents);
    fs::create_directories(home() / ".ssh");
    write_file(home() / ".ssh" / "tarn-hosting-eastmere", "key\n");
}

void scratch::install(const std::string& name, const std::string& body) const {
    const fs::path script = root_ / "bin" / name;
    write_file(script, "#!/bin/sh\n" + body);
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
}

namespace {

// The test's own environment with HOME and PATH of the scratch directory;
// the rest (sanitizer options among it) passes through.
std::vector<std::string> client_environment(const scratch& dir) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("HOME=") || text.starts_with("PATH=")) continue;
        env.emplace_back(text);
    }
    env.push_back("HOME=" + dir.home().string());
    env.push_back("PATH=" + (dir.root() / "bin").string() + ":/usr/bin:/bin");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& text : strings) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Puts `mode` on descriptor `fd` in the child: standard input from the file
// `input`, output into the pipe end `sink`.
void set_up_stream(int fd, stream mode, const fs::path& input, int sink, int broken_end) {
    switch (mode) {
        case stream::closed: close(fd); return;
        case stream::broken_pipe: dup2(broken_end, fd); return;
        case stream::file: {
            if (fd != STDIN_FILENO) {
                dup2(sink, fd);
                return;
            }
            const int opened = open(input.c_str(), O_RDONLY);
            if (opened < 0) _exit(126);
            if (opened != fd) {
                dup2(opened, fd);
                close(opened);
            }
            return;
        }
    }
}

}  // namespace

namespace {

// Drains both pipes together until each reaches its end.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    char buffer[65536];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            sinks[i]->append(buffer, static_cast<std::size_t>(n));
        }
    }
}

}  // namespace

outcome scratch::run(const invocation& call) const {
    const fs::path in_file = root_ / "io" / "stdin";
    write_file(in_file, call.input);
    // The client may read it after dropping privileges.
    fs::permissions(root_ / "io", fs::perms::all);
    fs::permissions(in_file, fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read);

    std::vector<std::string> argv{TARN_CLIENT};
    argv.insert(argv.end(), call.args.begin(), call.args.end());
    std::vector<std::string> env = client_environment(*this);
    std::vector<char*> argv_ptrs = pointers(argv);
    std::vector<char*> env_ptrs = pointers(env);

    // Output goes through pipes, not files, so that a file-size limit set for
    // the client does not apply to it. For a broken pipe the reading end is
    // gone before the client starts.
    int out[2], err[2], broken[2], report[2];
    for (int* ends : {out, err, broken, report}) {
        if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    }
    close(broken[0]);

    const pid_t pid = fork();
    if (pid == 0) {
        set_up_stream(STDIN_FILENO, call.in, in_file, -1, broken[1]);
        set_up_stream(STDOUT_FILENO, call.out, in_file, out[1], broken[1]);
        set_up_stream(STDERR_FILENO, stream::file, in_file, err[1], broken[1]);
        if (call.before_exec) call.before_exec();
        execve(argv_ptrs[0], argv_ptrs.data(), env_ptrs.data());
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    for (int fd : {out[1], err[1], broken[1], report[1]}) close(fd);
    outcome result;
    drain(out[0], err[0], result.out, result.err);
    if (read(report[0], &result.exec_error, sizeof result.exec_error) <= 0) result.exec_error = 0;
    close(report[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace fault
