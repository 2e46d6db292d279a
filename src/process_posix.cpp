#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "fatal.hpp"
#include "process.hpp"
#include "text.hpp"

extern char** environ;

namespace process {
namespace {

constexpr const char* start_failure = "Error running command";

// Spawn attributes and file actions, released on every path out.
struct spawn_setup {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;

    spawn_setup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
        // The client ignores the broken-pipe and file-size signals; its
        // children get the defaults back. The signal mask is cleared too: a
        // worker thread of the runtime runs with every signal blocked.
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        sigset_t empty;
        sigemptyset(&empty);
        posix_spawnattr_setsigmask(&attributes, &empty);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~spawn_setup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;
};

pid_t spawn(std::string_view cmd, const std::vector<std::string>& args, const spawn_setup& setup) {
    bool has_nul = cmd.find('\0') != std::string_view::npos;
    for (const auto& arg : args) has_nul = has_nul || arg.find('\0') != std::string::npos;
    if (has_nul) fail_os(start_failure, EINVAL);

    const std::string program(cmd);
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                argv.data(), environ);
    if (rc != 0) fail_os(start_failure, rc);
    return pid;
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 128;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 128;
}

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Appends `count` bytes to `output`. Its capacity grows fourfold at a time,
// so that a large output is copied little on its way. A large buffer is asked
// to be backed by huge pages: taking hundreds of MiB one 4 KiB page fault at a
// time costs more than everything else the capture does. That is advice; a
// kernel that ignores it changes nothing but the speed.
void append_output(std::string& output, const char* bytes, std::size_t count) {
    if (output.capacity() - output.size() < count) {
        std::string bigger;
        bigger.reserve(std::max(4 * output.capacity(), output.size() + count));
#ifdef MADV_HUGEPAGE
        static constexpr std::size_t huge_page = std::size_t{1} << 21;
        if (bigger.capacity() >= huge_page) {
            // madvise wants whole pages: those inside the buffer.
            const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
            const auto start = reinterpret_cast<std::uintptr_t>(bigger.data());
            const std::size_t skip = (page - start % page) % page;
            const std::size_t length = (bigger.capacity() - skip) / page * page;
            madvise(bigger.data() + skip, length, MADV_HUGEPAGE);
        }
#endif
        bigger.append(output);
        output.swap(bigger);
    }
    output.append(bytes, count);
}

}  // namespace

int run_cmd(std::string_view cmd, const std::vector<std::string>& args) {
    const spawn_setup setup;
    return wait_for(spawn(cmd, args, setup));
}

std::string run_cmd_capture_output(std::string_view cmd, const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) fail_os(start_failure, errno);
    if (pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        close(out[0]);
        close(out[1]);
        fail_os(start_failure, error);
    }

    spawn_setup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, err[1], STDERR_FILENO);

    pid_t pid = 0;
    try {
        pid = spawn(cmd, args, setup);
    } catch (...) {
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        throw;
    }
    close_fd(out[1]);
    close_fd(err[1]);

    // Each read lands in `piece`, which stays in the cache while it is
    // appended to the output and checked. The output is checked as it
    // arrives: its first `checked` bytes are whole UTF-8 characters, and more
    // than 3 bytes after them cannot be the start of one character, so the
    // output is then known to be invalid. Standard error is dropped.
    static constexpr std::size_t piece_size = 1 << 16;
    char piece[piece_size];
    std::string output;
    std::size_t checked = 0;
    bool valid = true;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (auto& entry : fds) {
            if (entry.fd < 0 || entry.revents == 0) continue;
            const ssize_t n = read(entry.fd, piece, piece_size);
            if (n > 0 && &entry == &fds[0]) {
                append_output(output, piece, static_cast<std::size_t>(n));
                if (valid) {
                    const std::string_view rest = std::string_view(output).substr(checked);
                    checked += text::valid_utf8_prefix(rest);
                    valid = output.size() - checked <= 3;
                }
            }
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                close(entry.fd);
                entry.fd = -1;
            }
        }
    }
    close_fd(fds[0].fd);
    close_fd(fds[1].fd);
    wait_for(pid);

    if (!valid || checked != output.size()) {
        fail("Failed to convert output to string", "output is not valid UTF-8");
    }
    return output;
}

}  // namespace process
