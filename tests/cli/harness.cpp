#include "harness.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace cli {

const std::string usage =
    "USAGE: tarn-hosting [COMMAND] [OPTIONS]\n"
    "\n"
    "AVAILABLE COMMANDS:\n"
    "  login                   configure the client with your authentication token\n"
    "  mount                   attach your remote volumes as a local drive\n"
    "  deploy                  create and update all services in your config\n"
    "  update                  run system package updates on the host\n"
    "  shell [cmd]             open an ssh shell on the host, or run a command\n"
    "  upload <file>           uploads the local file to your home directory on Tarn\n"
    "  download <file>         downloads the file from Tarn to your local home directory\n"
    "  run <container> <cmd>   run a command in a container\n"
    "\n";

const std::string login_prompt =
    "\n"
    "LOGIN REQUIRED\n"
    "Please provide your tarn-hosting access token:\n"
    "Note: because you're on unix you need only provide the username portion of the token, "
    "followed by a colon. For example `Bob:`\n";

const std::string invalid_config =
    "Config file is invalid. Try running `tarn-hosting login` again.\n";

const std::string missing_key =
    "Expected to find SSH key at either ~/.ssh/tarn-hosting-eastmere or "
    "~/.not-ssh/tarn-hosting-eastmere\n";

namespace {

constexpr auto run_timeout = std::chrono::seconds(10);

std::string env_or(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

std::string client_path() { return env_or("TARN_HOSTING_BIN", TARN_HOSTING_BIN_DEFAULT); }
std::string recorder_path() { return env_or("TARN_RECORDER", TARN_RECORDER_DEFAULT); }

[[noreturn]] void broken(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void make_parents(const std::string& path) {
    for (auto slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
}

void write_path(const std::string& path, const std::string& bytes, mode_t mode) {
    make_parents(path);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) broken("create " + path);
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        broken("write " + path);
    close(fd);
    chmod(path.c_str(), mode);
}

void remove_tree(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return;
    if (S_ISDIR(status.st_mode)) {
        chmod(path.c_str(), 0700);
        for (const auto& name : list_dir(path)) remove_tree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::vector<std::string> split_nul(const std::string& bytes) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
        parts.push_back(bytes.substr(start, end - start));
    }
    return parts;
}

bool write_proc(const char* path, const char* text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const auto size = static_cast<ssize_t>(std::strlen(text));
    const bool ok = write(fd, text, static_cast<std::size_t>(size)) == size;
    close(fd);
    return ok;
}

// How the current user and group appear inside a new user namespace.
struct id_maps {
    std::string uid_map;
    std::string gid_map;
    id_maps(uid_t inside_uid, gid_t inside_gid)
        : uid_map(std::to_string(inside_uid) + " " + std::to_string(getuid()) + " 1"),
          gid_map(std::to_string(inside_gid) + " " + std::to_string(getgid()) + " 1") {}
};

// Enters a new user namespace (and the namespaces of `more_flags`). Runs in
// a forked child: system calls only, no allocation.
bool enter_user_namespace(const id_maps& maps, int more_flags) {
    return unshare(CLONE_NEWUSER | more_flags) == 0 && write_proc("/proc/self/setgroups", "deny") &&
           write_proc("/proc/self/uid_map", maps.uid_map.c_str()) &&
           write_proc("/proc/self/gid_map", maps.gid_map.c_str());
}

// Enters a private mount namespace (inside a user namespace when not
// privileged, with `same_ids` mapping the user to itself) and binds `source`
// over `target`. Runs in a forked child, like enter_user_namespace.
bool bind_in_new_namespace(const char* source, const char* target, const id_maps& same_ids) {
    if (unshare(CLONE_NEWNS) != 0 && !enter_user_namespace(same_ids, CLONE_NEWNS)) {
        return false;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return mount(source, target, nullptr, MS_BIND, nullptr) == 0;
}

// A user id that has no entry in the user database.
std::optional<uid_t> unknown_uid() {
    for (uid_t uid = 54321; uid < 54421; ++uid) {
        if (getpwuid(uid) == nullptr) return uid;
    }
    return std::nullopt;
}

// Whether `try_in_child` succeeds in a forked child.
template <typename F>
bool works_in_child(F try_in_child) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(try_in_child() ? 0 : 1);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

struct harness_setup {
    // A client that exits before reading its input must not end the tests
    // with the broken-pipe signal.
    harness_setup() { signal(SIGPIPE, SIG_IGN); }
} const setup;

}  // namespace

std::string user_db_home() {
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

bool can_bind_over_user_home() {
    const std::string home = user_db_home();
    struct stat status {};
    if (home.empty() || stat(home.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    const id_maps same_ids(getuid(), getgid());
    return works_in_child([&] { return bind_in_new_namespace("/tmp", home.c_str(), same_ids); });
}

bool can_run_as_unknown_user() {
    const auto uid = unknown_uid();
    if (!uid) return false;
    const id_maps maps(*uid, getgid());
    return works_in_child(
        [&] { return enter_user_namespace(maps, 0) && getpwuid(getuid()) == nullptr; });
}

std::optional<std::string> read_file(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    if (n < 0) return std::nullopt;
    return bytes;
}

std::optional<mode_t> mode_of(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return status.st_mode & 07777;
}

bool is_symlink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool exists_no_follow(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

sandbox::sandbox() {
    std::string pattern = env_or("TMPDIR", "/tmp") + "/tarn-cli-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) broken("mkdtemp");
    root_ = pattern;
    home_ = root_ + "/home";
    bin_ = root_ + "/bin";
    records_ = root_ + "/records";
    for (const auto& dir : {home_, bin_, records_, records_ + "/control"}) {
        if (mkdir(dir.c_str(), 0755) != 0) broken("mkdir " + dir);
    }
    const std::string recorder = recorder_path();
    for (const auto& program : fake_programs) {
        if (symlink(recorder.c_str(), (bin_ + "/" + program).c_str()) != 0)
            broken("symlink " + program);
    }
}

sandbox::~sandbox() { remove_tree(root_); }

void sandbox::write(const std::string& relative, const std::string& bytes, mode_t mode) const {
    write_path(at_home(relative), bytes, mode);
}

void sandbox::make_dir(const std::string& relative, mode_t mode) const {
    const std::string path = at_home(relative);
    make_parents(path);
    if (mkdir(path.c_str(), mode) != 0) broken("mkdir " + path);
    chmod(path.c_str(), mode);
}

void sandbox::make_link(const std::string& target, const std::string& relative) const {
    const std::string path = at_home(relative);
    make_parents(path);
    if (symlink(target.c_str(), path.c_str()) != 0) broken("symlink " + path);
}

void sandbox::write_creds(const std::string& bytes) const {
    write(".tarn-hosting/tarn-hosting.conf", bytes, 0600);
}

void sandbox::write_key() const { write(".ssh/tarn-hosting-eastmere", "private key\n", 0600); }

void sandbox::sign_in(const std::string& user) const {
    write_creds(user + "\n\n");
    write_key();
}

void sandbox::tell(const std::string& program, const std::string& what,
                   const std::string& value) const {
    write_path(records_ + "/control/" + program + "." + what, value, 0644);
}

void sandbox::remove_fake(const std::string& program) const {
    unlink((bin_ + "/" + program).c_str());
}

std::vector<call> sandbox::calls() const {
    const std::string dir = records_ + "/calls";
    std::vector<std::string> numbers = list_dir(dir);
    std::sort(numbers.begin(), numbers.end(), [](const std::string& a, const std::string& b) {
        return std::stoi(a) < std::stoi(b);
    });
    std::vector<call> found;
    for (const auto& number : numbers) {
        const std::string base = dir + "/" + number + "/";
        auto field = [&](const char* name) { return read_file(base + name).value_or(""); };
        found.push_back({field("name"), split_nul(field("argv")), field("cwd"), field("sigpipe"),
                         field("sigmask"), field("parent_sigign")});
    }
    return found;
}

result sandbox::run(const std::vector<std::string>& args, const options& opts) const {
    // Everything the child needs is prepared before fork.
    const std::string program = client_path();
    std::vector<std::string> argv_strings{program};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::map<std::string, std::optional<std::string>> env{
        {"PATH", bin_}, {"HOME", home_}, {"RECORDER_DIR", records_}};
    for (const auto& [name, value] : opts.env) env[name] = value;
    std::vector<std::string> env_strings;
    for (const auto& [name, value] : env) {
        if (value) env_strings.push_back(name + "=" + *value);
    }
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> list;
        list.reserve(strings.size() + 1);
        for (auto& s : strings) list.push_back(s.data());
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> argv = pointers(argv_strings);
    std::vector<char*> envp = pointers(env_strings);
    const std::string cwd = opts.cwd.empty() ? root_ : opts.cwd;
    const std::string bind_target = opts.bind_over_user_home ? user_db_home() : "";
    const id_maps same_ids(getuid(), getgid());
    const std::optional<id_maps> unknown_user =
        opts.as_unknown_user ? std::optional<id_maps>(id_maps(unknown_uid().value_or(0), getgid()))
                             : std::nullopt;

    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        broken("pipe");
    // With the reader closed before the client starts, its first write fails.
    if (opts.broken_stdout) close(out[0]);

    const pid_t pid = fork();
    if (pid < 0) broken("fork");
    if (pid == 0) {
        auto give_up = [](const char* why) {
            ::write(STDERR_FILENO, why, std::strlen(why));
            _exit(126);
        };
        if (opts.bind_over_user_home && !bind_in_new_namespace(opts.bind_over_user_home->c_str(),
                                                               bind_target.c_str(), same_ids)) {
            give_up("harness: cannot bind over the user's home\n");
        }
        if (unknown_user && !enter_user_namespace(*unknown_user, 0)) {
            give_up("harness: cannot enter a user namespace\n");
        }
        if (opts.close_stdin) {
            close(STDIN_FILENO);
        } else if (opts.input_file) {
            const int fd = open(opts.input_file->c_str(), O_RDONLY);
            if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) give_up("harness: cannot open input\n");
        } else {
            dup2(in[0], STDIN_FILENO);
        }
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (opts.file_size_limit) {
            const rlimit limit{*opts.file_size_limit, *opts.file_size_limit};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) give_up("harness: setrlimit\n");
        }
        // The client starts as a shell would start it, unless told otherwise.
        signal(SIGPIPE, SIG_DFL);
        sigset_t mask;
        sigemptyset(&mask);
        for (const int sig : opts.blocked_signals) sigaddset(&mask, sig);
        sigprocmask(SIG_SETMASK, &mask, nullptr);
        if (chdir(cwd.c_str()) != 0) give_up("harness: chdir\n");
        execve(program.c_str(), argv.data(), envp.data());
        give_up("harness: cannot execute the client\n");
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    result outcome;
    const auto deadline = std::chrono::steady_clock::now() + run_timeout;
    auto remaining_ms = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()));
    };

    int in_fd = in[1];
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
    std::size_t fed = 0;
    if (opts.input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    int out_fd = opts.broken_stdout ? -1 : out[0];
    int err_fd = err[0];
    while ((in_fd >= 0 || out_fd >= 0 || err_fd >= 0) && !outcome.timed_out) {
        pollfd fds[3] = {{in_fd, POLLOUT, 0}, {out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
        const int ready = poll(fds, 3, remaining_ms());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            outcome.timed_out = true;
            break;
        }
        if (in_fd >= 0 && fds[0].revents != 0) {
            const ssize_t n = ::write(in_fd, opts.input.data() + fed, opts.input.size() - fed);
            if (n > 0) fed += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN) || fed == opts.input.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
        auto drain = [](int& fd, std::string& sink, short revents) {
            if (fd < 0 || revents == 0) return;
            char buffer[8192];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                sink.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fd);
                fd = -1;
            }
        };
        drain(out_fd, outcome.out, fds[1].revents);
        drain(err_fd, outcome.err, fds[2].revents);
    }
    for (int fd : {in_fd, out_fd, err_fd}) {
        if (fd >= 0) close(fd);
    }

    int status = 0;
    if (!outcome.timed_out) {
        // The client has closed its streams; wait for its exit, bounded.
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        for (;;) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) break;
            if (done < 0 && errno != EINTR) broken("waitpid");
            if (remaining_ms() == 0) {
                outcome.timed_out = true;
                break;
            }
            if (pidfd >= 0) {
                pollfd exit_event{pidfd, POLLIN, 0};
                poll(&exit_event, 1, remaining_ms());
            } else {
                const timespec pause{0, 1'000'000};
                nanosleep(&pause, nullptr);
            }
        }
        if (pidfd >= 0) close(pidfd);
    }
    if (outcome.timed_out) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.term_signal = WTERMSIG(status);
    return outcome;
}

}  // namespace cli
