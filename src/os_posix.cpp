#include <fcntl.h>
#include <limits.h>
#if defined(TARN_STATIC_EXECUTABLE) && defined(__GLIBC__)
#include <nss.h>
#endif
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "fatal.hpp"
#include "os.hpp"

extern char** environ;

namespace os {
namespace {

// The home directory field of a user database line
// ("name:password:uid:gid:gecos:directory:shell").
std::optional<std::string> home_field(std::string_view line) {
    for (int field = 0; field < 5; ++field) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        line.remove_prefix(colon + 1);
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    return std::string(line.substr(0, colon));
}

// Asks the system's own lookup tool for the user's entry. The static build
// reads only /etc/passwd itself; users from other sources of the user
// database (a directory service, say) are found this way.
std::optional<std::string> home_from_getent(uid_t uid) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string id = std::to_string(uid);
    char program[] = "getent";
    char database[] = "passwd";
    char* argv[] = {program, database, id.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    if (rc == 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || line.size() > 65536) break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) line.clear();
    }
    close(out[0]);
    return home_field(line.substr(0, line.find('\n')));
}

}  // namespace

std::optional<std::string> home_dir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home);
    }
#if defined(TARN_STATIC_EXECUTABLE) && defined(__GLIBC__)
    // A static program cannot load the C library's shared lookup modules (the
    // process dies in the attempt): it reads /etc/passwd itself and asks
    // getent for anything else.
    static const int files_only = __nss_configure_lookup("passwd", "files");
    static_cast<void>(files_only);
#endif
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        const int rc = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc != ERANGE) break;
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr) return home_from_getent(getuid());
    if (found->pw_dir == nullptr || *found->pw_dir == '\0') return std::nullopt;
    return std::string(found->pw_dir);
}

std::string join_path(std::string_view base, std::string_view relative) {
    std::string path(base);
    if (!path.empty() && path.back() != '/') path += '/';
    path += relative;
    return path;
}

bool path_exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

int create_directory(const std::string& path) { return mkdir(path.c_str(), 0700) == 0 ? 0 : errno; }

namespace {

int write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

std::string parent_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links at `path` to the name the file is really stored
// under, so that replacing it keeps the links in place.
std::string resolve_links(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::vector<char> target(
            static_cast<std::size_t>(status.st_size > 0 ? status.st_size : PATH_MAX) + 1);
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size()) break;
        std::string next(target.data(), static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : parent_of(path) + "/" + next;
    }
    return path;
}

}  // namespace

int replace_file(const std::string& path, std::string_view contents) {
    const std::string target = resolve_links(path);
    const std::string directory = parent_of(target);
    std::string temporary = directory + "/.tarn-hosting.conf.XXXXXX";
    // mkostemp creates the file exclusively with mode 0600.
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    int error = write_all(fd, contents);
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself durable; the new file is in place either way.
    if (const int dir = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return 0;
}

std::optional<file_head> read_file_head(const std::string& path, int line_feeds) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    file_head head;
    char buffer[8192];
    int seen = 0;
    while (seen < line_feeds) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            head.read_failed = true;
            break;
        }
        if (n == 0) break;
        std::size_t used = 0;
        while (used < static_cast<std::size_t>(n) && seen < line_feeds) {
            if (buffer[used++] == '\n') ++seen;
        }
        head.bytes.append(buffer, used);
    }
    close(fd);
    return head;
}

int read_stdin_line(std::string& line, std::size_t limit) {
    // One byte at a time, so that nothing after the line is taken from
    // programs that share standard input later.
    while (line.size() < limit) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EBADF) return 0;
            return errno;
        }
        if (n == 0) return 0;
        line += c;
        if (c == '\n') return 0;
    }
    return 0;
}

void print_out(std::string_view text) {
    if (const int error = write_all(STDOUT_FILENO, text); error != 0) {
        fail_os("failed printing to stdout", error);
    }
}

void print_err(std::string_view text) noexcept { write_all(STDERR_FILENO, text); }

void ignore_broken_pipe() {
    signal(SIGPIPE, SIG_IGN);
    // Likewise a file-size limit: the credentials writer gets EFBIG and
    // removes its temporary file instead of being killed halfway.
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace os
