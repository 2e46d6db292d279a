// The command line itself: usage text, unknown words, missing arguments,
// argument checks and output failures.

#include <gtest/gtest.h>

#include "harness.hpp"

namespace cli {
namespace {

TEST(Usage, NoArgumentsPrintsExactlyTheUsageText) {
    ASSERT_EQ(usage.size(), 640u);
    sandbox sb;
    const result r = sb.run({});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.out, usage);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(sb.calls().empty());
}

TEST(Usage, UnknownWordIsNamedThenUsage) {
    for (const std::string word :
         {"Shell", "SHELL", "help", "--help", "-h", "", "shel", "shellx", " shell", "login "}) {
        SCOPED_TRACE("word: [" + word + "]");
        sandbox sb;
        sb.sign_in();
        const result r = sb.run({word, "ls"});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.out, "Unknown command: " + word + "\n" + usage);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(Usage, MissingArgumentsPrintUsageAndStartNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"upload"}, {"download"}, {"run"}, {"run", "web"}};
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.sign_in();
        const result r = sb.run(args);
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_TRUE(sb.calls().empty());
    }
}

// Every argument is checked before any word is looked at, also those the
// command would ignore.
TEST(Arguments, NonUtf8AnywhereIsFatalBeforeAnythingRuns) {
    struct test_case {
        std::vector<std::string> args;
        std::string shown;  // how the bad argument appears in the diagnostic
    };
    const std::vector<test_case> cases = {
        {{"upload", "a", "\xff"}, "\\xff"},
        {{"\xff"}, "\\xff"},
        {{"shell", "ls", "caf\xc3"}, "caf\\xc3"},
        {{"login", "x\xed\xa0\x80"}, "x\\xed\\xa0\\x80"},        // a surrogate
        {{"mount", "\xc0\xaf"}, "\\xc0\\xaf"},                   // an overlong "/"
        {{"nope", "\xf4\x90\x80\x80"}, "\\xf4\\x90\\x80\\x80"},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        sandbox sb;
        sb.sign_in();
        const result r = sb.run(c.args, {.input = "Bob:\n"});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 101);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
        EXPECT_TRUE(sb.calls().empty());
        EXPECT_EQ(read_file(sb.at_home(".tarn-hosting/tarn-hosting.conf")), "Bob\n\n");
    }
}

TEST(Arguments, ValidMultibyteTextIsAccepted) {
    sandbox sb;
    sb.sign_in();
    const result r = sb.run({"shell", "echo", "caf\xc3\xa9 \xf0\x9f\x90\x9f"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto calls = sb.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args.back(), "echo caf\xc3\xa9 \xf0\x9f\x90\x9f");
}

TEST(Output, BrokenStdoutIsFatal) {
    const std::vector<std::vector<std::string>> cases = {{}, {"nope"}, {"mount"}, {"shell"}};
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        sandbox sb;
        sb.write_creds("Bob\n\n");  // no key: `shell` prints the missing-key message
        const result r = sb.run(args, {.broken_stdout = true});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.term_signal, 0);
        EXPECT_EQ(r.exit_code, 101);
        EXPECT_NE(r.err.find("failed printing to stdout: Broken pipe (os error 32)"),
                  std::string::npos)
            << r.err;
        EXPECT_TRUE(sb.calls().empty());
    }
}

TEST(Mount, OnlyReportsThatItIsUnsupported) {
    for (const bool signed_in : {false, true}) {
        SCOPED_TRACE(signed_in ? "signed in" : "no credentials");
        sandbox sb;
        if (signed_in) sb.sign_in();
        const result r = sb.run({"mount", "extra"});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.out, "ERROR: Mount is only supported on windows.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(sb.calls().empty());
    }
}

}  // namespace
}  // namespace cli
