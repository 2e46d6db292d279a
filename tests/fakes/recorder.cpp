// A stand-in for every external program the client starts (ssh, scp, plink,
// rclone, winget, explorer): installed under those names in a directory put
// first on PATH, it records how it was called and then behaves as told.
//
// RECORDER_DIR names the directory it works in. Each call gets its own
// directory calls/<n> (n = 0, 1, ... in the order of the calls) holding:
//   name         the base name it was started under (argv[0])
//   argv         argv[1..], each argument followed by a NUL byte
//   cwd          its working directory
//   sigpipe      "default", "ignored" or "handled"
//   sigmask      the blocked signals, as numbers separated by spaces
//   parent_sigign  the SigIgn line of its parent's /proc status
//   stdin        what it read from standard input (only when asked)
//
// What it does is controlled by optional files control/<name>.<what>:
//   stdout, stderr  bytes to print on that stream
//   stdin           present: read standard input to its end first
//   exit            exit status (decimal; default 0)
//   signal          end by this signal (decimal) instead of exiting

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Exit status when the stand-in itself cannot work: unlike anything the
// tests ask for, so that a broken setup shows.
constexpr int broken = 125;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "recorder: %s: %s\n", what.c_str(), std::strerror(errno));
    std::_Exit(broken);
}

bool read_file(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return true;
}

void write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void write_file(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) die("cannot create " + path);
    write_all(fd, bytes);
    close(fd);
}

std::string read_all_stdin() {
    std::string in;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        in.append(buffer, static_cast<std::size_t>(n));
    }
    return in;
}

std::string sigpipe_disposition() {
    struct sigaction action {};
    sigaction(SIGPIPE, nullptr, &action);
    if (action.sa_handler == SIG_DFL) return "default";
    if (action.sa_handler == SIG_IGN) return "ignored";
    return "handled";
}

std::string blocked_signals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigprocmask(SIG_BLOCK, nullptr, &mask);
    std::string list;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&mask, sig) == 1) {
            if (!list.empty()) list += ' ';
            list += std::to_string(sig);
        }
    }
    return list;
}

std::string parent_sigign() {
    std::string status;
    read_file("/proc/" + std::to_string(getppid()) + "/status", status);
    const auto at = status.find("SigIgn:");
    if (at == std::string::npos) return "";
    return status.substr(at, status.find('\n', at) - at);
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir_env = std::getenv("RECORDER_DIR");
    if (dir_env == nullptr || *dir_env == '\0') {
        errno = EINVAL;
        die("RECORDER_DIR is not set");
    }
    const std::string dir = dir_env;
    const char* slash = std::strrchr(argv[0], '/');
    const std::string name = slash != nullptr ? slash + 1 : argv[0];

    // Claim the next free call number; mkdir is atomic, so concurrent calls
    // each get their own.
    const std::string calls = dir + "/calls";
    mkdir(calls.c_str(), 0755);
    std::string call;
    for (int n = 0;; ++n) {
        call = calls + "/" + std::to_string(n);
        if (mkdir(call.c_str(), 0755) == 0) break;
        if (errno != EEXIST) die("cannot create " + call);
    }

    std::string args;
    for (int i = 1; i < argc; ++i) {
        args += argv[i];
        args += '\0';
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) die("getcwd");

    write_file(call + "/argv", args);
    write_file(call + "/cwd", cwd);
    write_file(call + "/sigpipe", sigpipe_disposition());
    write_file(call + "/sigmask", blocked_signals());
    write_file(call + "/parent_sigign", parent_sigign());

    const std::string control = dir + "/control/" + name + ".";
    auto told = [&](const char* what, std::string& value) {
        value.clear();
        return read_file(control + what, value);
    };
    std::string text;
    if (told("stdin", text)) write_file(call + "/stdin", read_all_stdin());
    if (told("stdout", text)) write_all(STDOUT_FILENO, text);
    if (told("stderr", text)) write_all(STDERR_FILENO, text);
    // The name is written last: a call directory with a name is complete.
    write_file(call + "/name", name);

    if (told("signal", text)) {
        const int sig = std::atoi(text.c_str());
        signal(sig, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        sigprocmask(SIG_UNBLOCK, &only, nullptr);
        raise(sig);
        die("still alive after signal " + text);
    }
    int status = 0;
    if (told("exit", text)) status = std::atoi(text.c_str());
    return status;
}
