// The commands that act on the region host: the exact argument lists they
// start ssh and scp with, the credentials and key they read, and how the
// started program is run.

#include <gtest/gtest.h>
#include <signal.h>

#include <sys/stat.h>
#include <algorithm>

#include "harness.hpp"

namespace cli {
namespace {

const std::string host = region_host;
const std::string deploy_script = "/tarn-hosting/tarn-hosting-v2/script/deploy";
const std::string update_text =
    "sudo apt-get update && sudo apt-get upgrade -y && sudo apt-get autoremove -y && "
    "sudo do-release-upgrade";

std::vector<std::string> ssh_list(const std::string& key, const std::string& user,
                                  const std::vector<std::string>& cmd = {}) {
    std::vector<std::string> list{"-q", "-t", "-i", key, "-p", "20022", user + "@" + host};
    list.insert(list.end(), cmd.begin(), cmd.end());
    return list;
}

// Every command that starts a program on the host, with valid arguments.
const std::vector<std::vector<std::string>> remote_commands = {
    {"shell"},  {"shell", "ls"},     {"run", "web", "ls"}, {"deploy"},
    {"update"}, {"upload", "a.txt"}, {"download", "a.txt"}};

TEST(ArgumentLists, ExactlyAsBuilt) {
    struct test_case {
        std::vector<std::string> args;
        std::string program;
        // The list after the program name; {key} and {home} stand for the
        // key path and the home directory.
        std::vector<std::string> expected;
    };
    const std::string target = "Bob@" + host;
    const std::vector<std::string> ssh_fixed = ssh_list("{key}", "Bob");
    auto ssh_with = [&](std::vector<std::string> cmd) {
        auto list = ssh_fixed;
        list.insert(list.end(), cmd.begin(), cmd.end());
        return list;
    };
    const std::vector<test_case> cases = {
        {{"shell"}, "ssh", ssh_fixed},
        {{"shell", ""}, "ssh", ssh_fixed},
        {{"shell", "", ""}, "ssh", ssh_with({" "})},
        {{"shell", "echo", "a b"}, "ssh", ssh_with({"echo a b"})},
        {{"shell", "echo", "a", "b"}, "ssh", ssh_with({"echo a b"})},
        {{"shell", "ls  -la | wc -l; $HOME \"*\""},
         "ssh",
         ssh_with({"ls  -la | wc -l; $HOME \"*\""})},
        {{"run", "web", "ls", "-la"},
         "ssh",
         ssh_with({"docker exec", "-it", "th-web-1", "ls -la"})},
        {{"run", "web", ""}, "ssh", ssh_with({"docker exec", "-it", "th-web-1", ""})},
        {{"run", "", "x"}, "ssh", ssh_with({"docker exec", "-it", "th--1", "x"})},
        {{"run", "th-web", "x"}, "ssh", ssh_with({"docker exec", "-it", "th-th-web-1", "x"})},
        {{"deploy", "extra"}, "ssh", ssh_with({deploy_script})},
        {{"update", "extra", "words"}, "ssh", ssh_with({update_text})},
        {{"upload", "docs/a.txt", "ignored"},
         "scp",
         {"-i", "{key}", "-P", "20022", "docs/a.txt", target + ":"}},
        {{"upload", "my file.txt"},
         "scp",
         {"-i", "{key}", "-P", "20022", "my file.txt", target + ":"}},
        {{"upload", "a/b:c"}, "scp", {"-i", "{key}", "-P", "20022", "a/b:c", target + ":"}},
        // Names scp would read as an option or as a remote host.
        {{"upload", "-oProxyCommand=x"},
         "scp",
         {"-i", "{key}", "-P", "20022", "./-oProxyCommand=x", target + ":"}},
        {{"upload", "host:file"},
         "scp",
         {"-i", "{key}", "-P", "20022", "./host:file", target + ":"}},
        {{"upload", "C:file"}, "scp", {"-i", "{key}", "-P", "20022", "./C:file", target + ":"}},
        {{"download", "logs/app.log"},
         "scp",
         {"-i", "{key}", "-P", "20022", target + ":logs/app.log", "{home}"}},
        {{"download", "a b.txt", "ignored"},
         "scp",
         {"-i", "{key}", "-P", "20022", target + ":a b.txt", "{home}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        sandbox sb;
        sb.sign_in("Bob");
        auto expected = c.expected;
        for (auto& element : expected) {
            if (element == "{key}") element = sb.key_path();
            if (element == "{home}") element = sb.home();
        }
        const result r = sb.run(c.args);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        const auto calls = sb.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, c.program);
        EXPECT_EQ(calls[0].args, expected);
    }
}

TEST(ArgumentLists, HomeWithTrailingSlashIsJoinedWithoutDoubling) {
    sandbox sb;
    sb.sign_in("Bob");
    const result r = sb.run({"download", "f"}, {.env = {{"HOME", sb.home() + "/"}}});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-i", sb.key_path(), "-P", "20022",
                                                       "Bob@" + host + ":f", sb.home() + "/"}));
}

TEST(Credentials, FileContentsDecideTheUser) {
    struct test_case {
        const char* name;
        std::string contents;
        std::optional<std::string> user;  // nothing: the file is invalid
    };
    const std::vector<test_case> cases = {
        {"two lines", "Bob\nsecret\n", "Bob"},
        {"third line ignored", "Bob\nsecret\nthird\n", "Bob"},
        {"last line without feed", "Bob\nsecret", "Bob"},
        {"CRLF", "Bob\r\nsecret\r\n", "Bob"},
        {"trimmed", " \tBob \n  \n", "Bob"},
        {"no-break spaces trimmed",
         "\xc2\xa0"
         "Bob\xc2\xa0\n\n",
         "Bob"},
        {"inner space kept", "Bo b\n\n", "Bo b"},
        {"white space only is an empty user", " \t \n\n", ""},
        {"one line", "Bob\n", std::nullopt},
        {"one line without feed", "Bob", std::nullopt},
        {"empty file", "", std::nullopt},
        {"bad first line", "\xff\nBob\nsecret\n", std::nullopt},
        {"bad second line", "Bob\n\xfe\nsecret\n", std::nullopt},
        {"user would be an option", "-oProxyCommand=touch x\n\n", std::nullopt},
        {"trimmed user would be an option", "  -x\n\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        sb.write_key();
        sb.write_creds(c.contents);
        const result r = sb.run({"shell"});
        ASSERT_FALSE(r.timed_out);
        const auto calls = sb.calls();
        if (c.user) {
            EXPECT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(r.out, "");
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].args, ssh_list(sb.key_path(), *c.user));
        } else {
            EXPECT_EQ(r.exit_code, 101);
            EXPECT_EQ(r.out, invalid_config);
            EXPECT_NE(r.err.find("explicit panic"), std::string::npos) << r.err;
            EXPECT_TRUE(calls.empty());
        }
    }
}

TEST(Credentials, MissingOrUnreadableFileComesBeforeTheKey) {
    for (const bool with_key : {false, true}) {
        for (const bool directory_at_file : {false, true}) {
            for (const auto& args : remote_commands) {
                SCOPED_TRACE(::testing::PrintToString(args) + (with_key ? " key" : " no key") +
                             (directory_at_file ? " directory at the file" : ""));
                sandbox sb;
                if (with_key) sb.write_key();
                if (directory_at_file) sb.make_dir(".tarn-hosting/tarn-hosting.conf");
                const result r = sb.run(args);
                ASSERT_FALSE(r.timed_out);
                EXPECT_EQ(r.exit_code, 101);
                EXPECT_EQ(r.out, invalid_config);
                EXPECT_NE(r.err.find("explicit panic"), std::string::npos) << r.err;
                EXPECT_TRUE(sb.calls().empty());
            }
        }
    }
}

TEST(Credentials, NulInUserNameCannotStartTheProgram) {
    for (const auto& args : remote_commands) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.write_key();
        sb.write_creds(std::string("Bo\0b\n\n", 6));
        const result r = sb.run(args);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 101);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Error running command"), std::string::npos) << r.err;
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(KeyLookup, FirstExistingLocationWins) {
    const std::string dot_ssh = ".ssh/tarn-hosting-eastmere";
    const std::string not_ssh = ".not-ssh/tarn-hosting-eastmere";
    struct test_case {
        const char* name;
        void (*setup)(const sandbox&);
        std::optional<std::string> chosen;  // relative to home; nothing: missing
    };
    const std::vector<test_case> cases = {
        {"both",
         [](const sandbox& sb) {
             sb.write(".ssh/tarn-hosting-eastmere", "k");
             sb.write(".not-ssh/tarn-hosting-eastmere", "k");
         },
         dot_ssh},
        {"only .not-ssh",
         [](const sandbox& sb) { sb.write(".not-ssh/tarn-hosting-eastmere", "k"); }, not_ssh},
        {"dangling link at .ssh",
         [](const sandbox& sb) {
             sb.make_link("nowhere", ".ssh/tarn-hosting-eastmere");
             sb.write(".not-ssh/tarn-hosting-eastmere", "k");
         },
         not_ssh},
        {"link at .ssh to a file",
         [](const sandbox& sb) {
             sb.write("keys/k", "k");
             sb.make_link("../keys/k", ".ssh/tarn-hosting-eastmere");
         },
         dot_ssh},
        {"directory at .ssh", [](const sandbox& sb) { sb.make_dir(".ssh/tarn-hosting-eastmere"); },
         dot_ssh},
        {"unreadable key still counts",
         [](const sandbox& sb) { sb.write(".ssh/tarn-hosting-eastmere", "k", 0); }, dot_ssh},
        {"neither", [](const sandbox&) {}, std::nullopt},
        {"only a dangling link",
         [](const sandbox& sb) {
             sb.make_link("nowhere", ".ssh/tarn-hosting-eastmere");
             sb.make_link("nowhere", ".not-ssh/tarn-hosting-eastmere");
         },
         std::nullopt},
        {"key under the wrong name", [](const sandbox& sb) { sb.write(".ssh/id_ed25519", "k"); },
         std::nullopt},
    };
    for (const auto& c : cases) {
        for (const auto& args :
             {std::vector<std::string>{"shell"}, {"upload", "f"}, {"download", "f"}}) {
            SCOPED_TRACE(std::string(c.name) + " " + args[0]);
            sandbox sb;
            sb.write_creds("Bob\n\n");
            c.setup(sb);
            const result r = sb.run(args);
            ASSERT_FALSE(r.timed_out);
            const auto calls = sb.calls();
            if (c.chosen) {
                EXPECT_EQ(r.exit_code, 0) << r.err;
                EXPECT_EQ(r.out, "");
                ASSERT_EQ(calls.size(), 1u);
                const auto& list = calls[0].args;
                const auto i = std::find(list.begin(), list.end(), "-i");
                ASSERT_TRUE(i != list.end() && i + 1 != list.end());
                EXPECT_EQ(*(i + 1), sb.at_home(*c.chosen));
            } else {
                EXPECT_EQ(r.exit_code, 1);
                EXPECT_EQ(r.out, missing_key);
                EXPECT_EQ(r.err, "");
                EXPECT_TRUE(calls.empty());
            }
        }
    }
}

TEST(KeyLookup, MissingKeyStopsEveryRemoteCommand) {
    for (const auto& args : remote_commands) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.write_creds("Bob\n\n");
        const result r = sb.run(args);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, missing_key);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(ExitStatus, IsTheStartedProgramsStatus) {
    struct test_case {
        const char* what;  // "exit" or "signal"
        int value;
        int expected;
    };
    const std::vector<test_case> outcomes = {{"exit", 3, 3},
                                             {"exit", 255, 255},
                                             {"signal", SIGTERM, 128 + SIGTERM},
                                             {"signal", SIGKILL, 128 + SIGKILL}};
    for (const auto& outcome : outcomes) {
        for (const auto& args : remote_commands) {
            SCOPED_TRACE(::testing::PrintToString(args) + " " + outcome.what + " " +
                         std::to_string(outcome.value));
            sandbox sb;
            sb.sign_in();
            for (const char* program : {"ssh", "scp"}) {
                sb.tell(program, outcome.what, std::to_string(outcome.value));
            }
            const result r = sb.run(args);
            ASSERT_FALSE(r.timed_out);
            EXPECT_EQ(r.term_signal, 0);
            EXPECT_EQ(r.exit_code, outcome.expected) << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(sb.calls().size(), 1u);
        }
    }
}

TEST(StartedProgram, GetsTheTerminalDirectoryAndDefaultSignals) {
    for (const auto& args : remote_commands) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.sign_in();
        sb.make_dir("work/here");
        for (const char* program : {"ssh", "scp"}) {
            sb.tell(program, "stdin", "");
            sb.tell(program, "stdout", "remote out\n");
            sb.tell(program, "stderr", "remote err\n");
        }
        // Started with signals blocked, the client still gives its child a
        // clean mask.
        const result r = sb.run(args, {.input = "typed by the user\n",
                                       .cwd = sb.at_home("work/here"),
                                       .blocked_signals = {SIGUSR1, SIGINT}});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, "remote out\n");
        EXPECT_EQ(r.err, "remote err\n");
        const auto calls = sb.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].cwd, sb.at_home("work/here"));
        EXPECT_EQ(calls[0].sigpipe, "default");
        EXPECT_EQ(calls[0].sigmask, "");
        // The client itself ignores the broken-pipe signal.
        const std::string& ign = calls[0].parent_sigign;
        ASSERT_EQ(ign.rfind("SigIgn:\t", 0), 0u) << ign;
        const unsigned long long ignored = std::stoull(ign.substr(8), nullptr, 16);
        EXPECT_NE(ignored & (1ULL << (SIGPIPE - 1)), 0u) << ign;
        EXPECT_EQ(read_file(sb.root() + "/records/calls/0/stdin"), "typed by the user\n");
    }
}

TEST(StartedProgram, MissingFromPathIsFatal) {
    for (const auto& args : remote_commands) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.sign_in();
        sb.remove_fake("ssh");
        sb.remove_fake("scp");
        const result r = sb.run(args);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 101);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Error running command"), std::string::npos) << r.err;
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(StartedProgram, NotExecutableIsFatal) {
    sandbox sb;
    sb.sign_in();
    sb.remove_fake("ssh");
    const std::string plain = sb.bin() + "/ssh";
    ASSERT_EQ(symlink((sb.home() + "/.ssh/tarn-hosting-eastmere").c_str(), plain.c_str()), 0);
    const result r = sb.run({"shell"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 101);
    EXPECT_NE(r.err.find("Error running command"), std::string::npos) << r.err;
}

// Without HOME (or with an empty one) the user database names the home
// directory. The test binds a prepared directory over that home directory in
// a mount namespace of the client's own, so the real one is never touched.
TEST(HomeDirectory, FallsBackToTheUserDatabase) {
    if (!can_bind_over_user_home()) GTEST_SKIP() << "cannot make a private mount namespace here";
    const std::string db_home = user_db_home();
    for (const std::optional<std::string>& home :
         {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        SCOPED_TRACE(home ? "HOME empty" : "HOME unset");
        sandbox sb;
        sb.sign_in("Carol");
        const result r =
            sb.run({"download", "f"}, {.env = {{"HOME", home}}, .bind_over_user_home = sb.home()});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const auto calls = sb.calls();
        ASSERT_EQ(calls.size(), 1u);
        const std::string key =
            db_home + (db_home.back() == '/' ? "" : "/") + ".ssh/tarn-hosting-eastmere";
        EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-i", key, "-P", "20022",
                                                           "Carol@" + host + ":f", db_home}));
    }
}

TEST(HomeDirectory, NoneAtAll) {
    if (!can_run_as_unknown_user()) GTEST_SKIP() << "cannot make a user namespace here";
    struct test_case {
        std::vector<std::string> args;
        std::string input;
        int exit_code;
        std::string out;
        std::string err_part;
    };
    const std::string no_home = "Could not determine home directory";
    const std::vector<test_case> cases = {
        {{"shell"}, "", 101, "", no_home},
        {{"run", "web", "ls"}, "", 101, "", no_home},
        {{"deploy"}, "", 101, "", no_home},
        {{"upload", "f"}, "", 101, "", no_home},
        {{"download", "f"}, "", 101, "", no_home},
        // The token is checked before the home directory is looked up.
        {{"login"}, "Bob:\n", 101, login_prompt, "error: "},
        {{"login"}, "Bob\n", 1, login_prompt, "ERROR: Invalid access token\n"},
        {{"mount"}, "", 1, "ERROR: Mount is only supported on windows.\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        sandbox sb;
        sb.sign_in();
        const result r = sb.run(
            c.args, {.input = c.input, .env = {{"HOME", std::nullopt}}, .as_unknown_user = true});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find(c.err_part), std::string::npos) << r.err;
        if (c.err_part.empty()) {
            EXPECT_EQ(r.err, "");
        }
        EXPECT_TRUE(sb.calls().empty());
    }
}

// A user that the C library's own lookup does not know (a directory-service
// account, say) is looked up with getent.
TEST(HomeDirectory, AsksGetentForUsersItCannotFindItself) {
    if (!can_run_as_unknown_user()) GTEST_SKIP() << "cannot make a user namespace here";
    sandbox sb;
    sb.sign_in("Dora");
    sb.write("../getent-bin/getent",
             "#!/bin/sh\n[ \"$1 $2\" = \"passwd $(/usr/bin/id -u)\" ] || exit 2\n"
             "echo \"dora:x:$(/usr/bin/id -u):$(/usr/bin/id -g):Dora:" +
                 sb.home() + ":/bin/sh\"\n",
             0755);
    const std::string path = sb.bin() + ":" + sb.root() + "/getent-bin";
    const result r = sb.run({"download", "f"}, {.env = {{"HOME", std::nullopt}, {"PATH", path}},
                                                .as_unknown_user = true});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"-i", sb.key_path(), "-P", "20022",
                                                       "Dora@" + host + ":f", sb.home()}));
}

// The key path (and, for download, the home directory itself) must be text
// before it is handed on.
TEST(HomeDirectory, NotUtf8StartsNothing) {
    for (const auto& args : remote_commands) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        const std::string odd = "h\xff";
        sb.write(odd + "/.tarn-hosting/tarn-hosting.conf", "Bob\n\n");
        sb.write(odd + "/.ssh/tarn-hosting-eastmere", "k");
        const result r = sb.run(args, {.env = {{"HOME", sb.at_home(odd)}}});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 101);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err, "");
        EXPECT_TRUE(sb.calls().empty());
    }
}

}  // namespace
}  // namespace cli
