// `login`: the prompt, what is stored for each token, and what happens when
// the token or the file system says no.

#include <gtest/gtest.h>
#include <unistd.h>

#include "harness.hpp"

namespace cli {
namespace {

const std::string conf = ".tarn-hosting/tarn-hosting.conf";

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

TEST(Login, StoresTheTrimmedTokenPrivately) {
    struct test_case {
        const char* name;
        std::string input;
        std::string stored;
    };
    const std::vector<test_case> cases = {
        {"the prompt's example", "Bob:\n", "Bob\n\n"},
        {"full token", "Bob:s3cret\n", "Bob\ns3cret\n"},
        {"no final line feed", "Bob:s3cret", "Bob\ns3cret\n"},
        {"spaces and CRLF", "  Bob:s3cret \r\n", "Bob\ns3cret\n"},
        {"tabs", "\t Bob:s3cret\t\n", "Bob\ns3cret\n"},
        {"no-break spaces",
         "\xc2\xa0"
         "Bob:\xc2\xa0\n",
         "Bob\n\n"},
        {"other Unicode white space",
         "\xe3\x80\x80\xc2\x85"
         "Bob:x\xe2\x80\xa8\n",
         "Bob\nx\n"},
        {"zero-width space is not white space",
         "\xe2\x80\x8b"
         "Bob:\n",
         "\xe2\x80\x8b"
         "Bob\n\n"},
        {"space before the colon kept", "Bob :x\n", "Bob \nx\n"},
        {"space after the colon kept", "Bob: x\n", "Bob\n x\n"},
        {"inner spaces kept", "Bob:two words\n", "Bob\ntwo words\n"},
        {"empty user", ":s3cret\n", "\ns3cret\n"},
        {"colon alone", ":\n", "\n\n"},
        {"only the first line", "Bob:\nAlice:x\n", "Bob\n\n"},
        {"non-ASCII", "J\xc3\xb6rg:p\xc3\xa4ss\n", "J\xc3\xb6rg\np\xc3\xa4ss\n"},
        {"long token", repeat('u', 30000) + ":" + repeat('p', 30000) + "\n",
         repeat('u', 30000) + "\n" + repeat('p', 30000) + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        const result r = sb.run({"login"}, {.input = c.input});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, login_prompt);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(sb.at_home(conf)), c.stored);
        EXPECT_EQ(mode_of(sb.at_home(conf)), 0600u);
        EXPECT_EQ(mode_of(sb.at_home(".tarn-hosting")), 0700u);
        EXPECT_EQ(list_dir(sb.at_home(".tarn-hosting")),
                  std::vector<std::string>{"tarn-hosting.conf"});
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(Login, RejectsBadTokensAndWritesNothing) {
    struct test_case {
        const char* name;
        options opts;
        std::string error;
    };
    const std::string invalid = "ERROR: Invalid access token\n";
    const std::string not_utf8 = "ERROR: stream did not contain valid UTF-8\n";
    const std::vector<test_case> cases = {
        {"two colons", {.input = "Bob:pw:x\n"}, invalid},
        {"no colon", {.input = "Bob\n"}, invalid},
        {"empty line", {.input = "\n"}, invalid},
        {"white space only", {.input = " \t\r\n"}, invalid},
        {"end of input", {.input = ""}, invalid},
        {"closed standard input", {.close_stdin = true}, invalid},
        {"user would be an option", {.input = "-oProxyCommand=touch x:\n"}, invalid},
        {"trimmed user would be an option", {.input = "  -x:pw\n"}, invalid},
        {"line longer than 64 KiB", {.input = "Bob:" + repeat('p', 70000) + "\n"}, invalid},
        {"no line feed in the first 64 KiB",
         {.input = "Bob:" + repeat('p', 65536 - 4) + "\n"},
         invalid},
        {"endless input", {.input_file = "/dev/zero"}, invalid},
        {"bad byte", {.input = "\xff:\n"}, not_utf8},
        {"bad byte in the password", {.input = "Bob:pa\xffss\n"}, not_utf8},
        {"cut-off sequence", {.input = "Bob:\xc3"}, not_utf8},
        // The home directory is not looked at for a bad token.
        {"bad token without a home",
         {.input = "Bob\n", .env = {{"HOME", "/nonexistent/home"}}},
         invalid},
        {"bad token with HOME unset", {.input = "Bob\n", .env = {{"HOME", std::nullopt}}}, invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        const result r = sb.run({"login"}, c.opts);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, login_prompt);
        EXPECT_EQ(r.err, c.error);
        EXPECT_FALSE(exists_no_follow(sb.at_home(".tarn-hosting")));
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(Login, ReportsFileSystemErrors) {
    struct test_case {
        const char* name;
        void (*setup)(const sandbox&);
        std::optional<rlim_t> file_size_limit;
        std::string error;
        std::vector<std::string> left_in_dir;  // what .tarn-hosting holds afterwards
    };
    const std::vector<test_case> cases = {
        {"file at the directory path",
         [](const sandbox& sb) { sb.write(".tarn-hosting", "x"); },
         std::nullopt,
         "Not a directory (os error 20)",
         {}},
        {"directory at the file path",
         [](const sandbox& sb) { sb.make_dir(conf); },
         std::nullopt,
         "Is a directory (os error 21)",
         {"tarn-hosting.conf"}},
        {"dangling link at the directory path",
         [](const sandbox& sb) { sb.make_link("nowhere", ".tarn-hosting"); },
         std::nullopt,
         "File exists (os error 17)",
         {}},
        {"file size limit", [](const sandbox&) {}, rlim_t{0}, "File too large (os error 27)", {}},
        {"file size limit mid-write",
         [](const sandbox&) {},
         rlim_t{2},
         "File too large (os error 27)",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        c.setup(sb);
        const result r =
            sb.run({"login"}, {.input = "Bob:\n", .file_size_limit = c.file_size_limit});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, login_prompt);
        EXPECT_EQ(r.err, "ERROR: " + c.error + "\n");
        EXPECT_EQ(list_dir(sb.at_home(".tarn-hosting")), c.left_in_dir);
    }
}

TEST(Login, MissingHomeDirectoryIsReported) {
    sandbox sb;
    const result r = sb.run({"login"}, {.input = "Bob:\n", .env = {{"HOME", sb.root() + "/gone"}}});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, login_prompt);
    EXPECT_EQ(r.err, "ERROR: No such file or directory (os error 2)\n");
    EXPECT_FALSE(exists_no_follow(sb.root() + "/gone"));
}

TEST(Login, FailureKeepsThePreviousCredentials) {
    struct test_case {
        const char* name;
        options opts;
    };
    const std::vector<test_case> cases = {
        {"bad token", {.input = "Alice\n"}},
        {"not UTF-8", {.input = "Alice:\xff\n"}},
        {"write fails", {.input = "Alice:new\n", .file_size_limit = rlim_t{3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        sb.write_creds("Old\nsecret\n");
        const result r = sb.run({"login"}, c.opts);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(read_file(sb.at_home(conf)), "Old\nsecret\n");
        EXPECT_EQ(list_dir(sb.at_home(".tarn-hosting")),
                  std::vector<std::string>{"tarn-hosting.conf"});
    }
}

TEST(Login, ReplacesAnExistingFileAndKeepsTheDirectory) {
    sandbox sb;
    sb.make_dir(".tarn-hosting", 0755);
    sb.write(conf, "Old\nsecret\nthird line\n", 0644);
    const result r = sb.run({"login", "extra", "words"}, {.input = "Bob:new\n"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, login_prompt);
    EXPECT_EQ(read_file(sb.at_home(conf)), "Bob\nnew\n");
    EXPECT_EQ(mode_of(sb.at_home(conf)), 0600u);
    EXPECT_EQ(mode_of(sb.at_home(".tarn-hosting")), 0755u);
    EXPECT_EQ(list_dir(sb.at_home(".tarn-hosting")), std::vector<std::string>{"tarn-hosting.conf"});
}

TEST(Login, FollowsSymbolicLinks) {
    struct test_case {
        const char* name;
        void (*setup)(const sandbox&);
        std::string written;  // relative to home: where the credentials end up
    };
    const std::vector<test_case> cases = {
        {"relative link at the file path",
         [](const sandbox& sb) {
             sb.make_dir(".tarn-hosting");
             sb.write("dotfiles/creds", "Old\n\n");
             sb.make_link("../dotfiles/creds", ".tarn-hosting/tarn-hosting.conf");
         },
         "dotfiles/creds"},
        {"absolute link at the file path",
         [](const sandbox& sb) {
             sb.make_dir(".tarn-hosting");
             sb.write("dotfiles/creds", "Old\n\n");
             sb.make_link(sb.at_home("dotfiles/creds"), ".tarn-hosting/tarn-hosting.conf");
         },
         "dotfiles/creds"},
        {"link at the directory path",
         [](const sandbox& sb) {
             sb.make_dir("dotfiles/tarn");
             sb.make_link("dotfiles/tarn", ".tarn-hosting");
         },
         "dotfiles/tarn/tarn-hosting.conf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox sb;
        c.setup(sb);
        std::vector<char> before(4096);
        const std::string link =
            is_symlink(sb.at_home(conf)) ? sb.at_home(conf) : sb.at_home(".tarn-hosting");
        const ssize_t n = readlink(link.c_str(), before.data(), before.size());
        ASSERT_GT(n, 0);
        const result r = sb.run({"login"}, {.input = "Bob:pw\n"});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(read_file(sb.at_home(c.written)), "Bob\npw\n");
        EXPECT_EQ(mode_of(sb.at_home(c.written)), 0600u);
        std::vector<char> after(4096);
        ASSERT_TRUE(is_symlink(link));
        EXPECT_EQ(readlink(link.c_str(), after.data(), after.size()), n);
        EXPECT_EQ(std::string(after.data(), static_cast<std::size_t>(n)),
                  std::string(before.data(), static_cast<std::size_t>(n)));
    }
}

TEST(Login, StoredUserIsUsedByTheNextCommand) {
    sandbox sb;
    sb.write_key();
    const result login = sb.run({"login"}, {.input = " Alice:pw \n"});
    ASSERT_FALSE(login.timed_out);
    ASSERT_EQ(login.exit_code, 0) << login.err;
    const result shell = sb.run({"shell", "id"});
    ASSERT_FALSE(shell.timed_out);
    EXPECT_EQ(shell.exit_code, 0) << shell.err;
    const auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args,
              (std::vector<std::string>{"-q", "-t", "-i", sb.key_path(), "-p", "20022",
                                        std::string("Alice@") + region_host, "id"}));
}

}  // namespace
}  // namespace cli
