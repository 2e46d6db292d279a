// The built client under hostile conditions.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "harness.hpp"

namespace {

using fault::scratch;
using fault::stream;
using strings = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string old_credentials = "olduser\noldpass\n";
const std::string prompt =
    "\nLOGIN REQUIRED\nPlease provide your tarn-hosting access token:\nNote: because you're on "
    "unix you need only provide the username portion of the token, followed by a colon. For "
    "example `Bob:`\n";

// A failed login leaves the stored credentials as they were and no
// temporary file beside them.
void expect_credentials_kept(const scratch& dir) {
    EXPECT_EQ(fault::read_file(dir.config_file()), old_credentials);
    EXPECT_EQ(fault::entries(dir.config_dir()), strings{"tarn-hosting.conf"});
}

struct size_limit_case {
    const char* name;
    void (*disposition)(int);  // of SIGXFSZ, as the client inherits it
};

TEST(Login, FileSizeLimitKeepsTheStoredCredentials) {
    const size_limit_case cases[] = {
        {"signal at its default, as after `ulimit -f`", SIG_DFL},
        {"signal ignored", SIG_IGN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch dir;
        dir.log_in(old_credentials);
        const auto result =
            dir.run({.args = {"login"}, .input = "newuser:newpassword\n", .before_exec = [&c] {
                         const rlimit limit{4, 4};
                         setrlimit(RLIMIT_FSIZE, &limit);
                         signal(SIGXFSZ, c.disposition);
                     }});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "ERROR: File too large (os error 27)\n");
        expect_credentials_kept(dir);
    }
}

// Undoes a mount when the test ends.
struct mounted {
    fs::path at;
    ~mounted() { umount2(at.c_str(), MNT_DETACH); }
};

TEST(Login, FullDiskKeepsTheStoredCredentials) {
    // A small file system of the test's own, in a mount namespace of its own.
    if (unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "no mount namespace: " << std::strerror(errno);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "mounts cannot be made private: " << std::strerror(errno);
    }
    scratch dir;
    if (mount("tarn-fault", dir.home().c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
        GTEST_SKIP() << "no tmpfs: " << std::strerror(errno);
    }
    const mounted guard{dir.home()};
    dir.log_in(old_credentials);
    {
        // Everything that is left goes to one file.
        const int fd = open((dir.home() / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {}
        EXPECT_EQ(errno, ENOSPC);
        close(fd);
    }
    const auto result = dir.run({.args = {"login"}, .input = "newuser:newpassword\n"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: No space left on device (os error 28)\n");
    expect_credentials_kept(dir);
}

TEST(Login, ReadOnlyDirectoryKeepsTheStoredCredentials) {
    scratch dir;
    dir.log_in(old_credentials);
    // The superuser writes anywhere; run the client as an ordinary user.
    const bool drop = geteuid() == 0;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (drop) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr) GTEST_SKIP() << "no user \"nobody\" to run the client as";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
        fs::permissions(dir.root(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        for (const auto& entry : fs::recursive_directory_iterator(dir.home())) {
            ASSERT_EQ(lchown(entry.path().c_str(), uid, gid), 0);
        }
        ASSERT_EQ(chown(dir.home().c_str(), uid, gid), 0);
    }
    fs::permissions(dir.config_dir(), fs::perms::owner_read | fs::perms::owner_exec);
    const auto result = dir.run(
        {.args = {"login"}, .input = "newuser:newpassword\n", .before_exec = [drop, uid, gid] {
             if (!drop) return;
             if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
                 _exit(125);
             }
         }});
    if (result.exec_error == EACCES) {
        GTEST_SKIP() << "the client's build directory is closed to user " << uid;
    }
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: Permission denied (os error 13)\n");
    fs::permissions(dir.config_dir(), fs::perms::owner_all);
    expect_credentials_kept(dir);
}

TEST(Login, ClosedStandardInputIsAnEmptyToken) {
    scratch dir;
    const auto result = dir.run({.args = {"login"}, .in = stream::closed});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, prompt);
    EXPECT_EQ(result.err, "ERROR: Invalid access token\n");
    EXPECT_FALSE(fs::exists(dir.config_dir()));
}

struct output_case {
    const char* name;
    strings args;
    stream out;
    int status;
    std::string err;
};

TEST(StandardOutput, FailedWritesEndTheRun) {
    const output_case cases[] = {
        {"usage to a closed standard output",
         {},
         stream::closed,
         101,
         "error: failed printing to stdout: Bad file descriptor (os error 9)\n"},
        {"usage to a broken pipe",
         {},
         stream::broken_pipe,
         101,
         "error: failed printing to stdout: Broken pipe (os error 32)\n"},
        {"notice to a broken pipe",
         {"nonsense"},
         stream::broken_pipe,
         101,
         "error: failed printing to stdout: Broken pipe (os error 32)\n"},
        // The client ignores the signal, its children do not: the remote tool
        // dies of it at its first write, before it reaches its second line.
        {"remote tool writing to a broken pipe", {"shell"}, stream::broken_pipe, 128 + SIGPIPE, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch dir;
        dir.log_in("user\n\n");
        dir.install("ssh", "echo hello\necho survived >&2\n");
        const auto result = dir.run({.args = c.args, .out = c.out});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(RemoteTool, EndedBySignalGivesTheShellsStatus) {
    scratch dir;
    dir.log_in("user\n\n");
    dir.install("ssh", "kill -KILL $$\n");
    const auto result = dir.run({.args = {"shell", "ls"}});
    EXPECT_EQ(result.status, 128 + SIGKILL);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

// What execve counts against the system's limit for `strings`.
std::size_t exec_size(const strings& list) {
    std::size_t size = sizeof(char*);
    for (const auto& text : list) size += text.size() + 1 + sizeof(char*);
    return size;
}

std::size_t environment_size() {
    std::size_t size = sizeof(char*);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        size += std::strlen(*entry) + 1 + sizeof(char*);
    }
    return size;
}

TEST(ArgumentList, NearTheSystemLimitIsTakenWhole) {
    scratch dir;
    dir.log_in("user\n\n");
    dir.install("scp", fault::record_args(dir.root() / "scp.args"));
    // Ignored words after the file, up to a little below the limit.
    const std::size_t limit = static_cast<std::size_t>(sysconf(_SC_ARG_MAX));
    const std::size_t budget = limit - environment_size() - std::size_t{16} * 1024;
    strings args{"upload", "notes.txt"};
    const std::string word(4000, 'w');
    while (exec_size(args) + word.size() + 1 + sizeof(char*) < budget) args.push_back(word);
    ASSERT_GT(exec_size(args), limit / 2);

    const auto result = dir.run({.args = args});
    ASSERT_EQ(result.exec_error, 0) << std::strerror(result.exec_error);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(fault::split_nul(fault::read_file(dir.root() / "scp.args")),
              (strings{"-i", (dir.home() / ".ssh/tarn-hosting-eastmere").string(), "-P", "20022",
                       "notes.txt", "user@eastmere.tarn-hosting.net:"}));
}

// Words that join with single spaces into exactly `length` bytes.
strings words_joining_to(std::size_t length) {
    strings words;
    while (length > 0) {
        const std::size_t size = std::min<std::size_t>(length, 1000);
        words.emplace_back(size, 'z');
        length -= size;
        if (length > 0) {
            --length;  // the space before the next word
            if (length == 0) words.emplace_back();
        }
    }
    return words;
}

TEST(ArgumentList, JoinedRemoteCommandUpToTheLongestArgument) {
    // The system's bound on one argument, its terminating NUL included.
    const std::size_t longest = static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) * 32 - 1;
    struct {
        std::size_t length;
        int status;
        const char* err;
    } const cases[] = {
        {longest, 0, ""},
        {longest + 1, 101, "error: Error running command: Argument list too long (os error 7)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        scratch dir;
        dir.log_in("user\n\n");
        dir.install("ssh", fault::record_args(dir.root() / "ssh.args"));
        strings args{"shell"};
        const strings words = words_joining_to(c.length);
        args.insert(args.end(), words.begin(), words.end());
        const auto result = dir.run({.args = args});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
        if (c.status == 0) {
            const strings received = fault::split_nul(fault::read_file(dir.root() / "ssh.args"));
            std::string joined = words[0];
            for (std::size_t i = 1; i < words.size(); ++i) joined += " " + words[i];
            ASSERT_EQ(received.size(), 8u);
            EXPECT_EQ(received.back(), joined);
        }
    }
}

}  // namespace
