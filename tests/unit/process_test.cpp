#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "fatal.hpp"
#include "process.hpp"

namespace {

using strings = std::vector<std::string>;

std::string capture_sh(const std::string& script, strings args = {}) {
    strings argv{"-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return process::run_cmd_capture_output("sh", argv);
}

TEST(RunCmd, ReportsTheStatusAsAShellWould) {
    EXPECT_EQ(process::run_cmd("sh", {"-c", "exit 0"}), 0);
    EXPECT_EQ(process::run_cmd("sh", {"-c", "exit 3"}), 3);
    EXPECT_EQ(process::run_cmd("sh", {"-c", "kill -TERM $$"}), 128 + SIGTERM);
    EXPECT_EQ(process::run_cmd("/bin/sh", {"-c", "exit 255"}), 255);
}

TEST(RunCmdCaptureOutput, ReturnsStandardOutputUnchanged) {
    EXPECT_EQ(capture_sh("printf abc"), "abc");
    EXPECT_EQ(capture_sh("echo abc"), "abc\n");
    EXPECT_EQ(capture_sh("echo only-errors >&2"), "");
    EXPECT_EQ(capture_sh("echo out; exit 7"), "out\n");
    // Standard input is the null device: a reader sees the end at once.
    EXPECT_EQ(capture_sh("cat; echo done"), "done\n");
}

TEST(RunCmdCaptureOutput, DrainsBothPipesWithoutDeadlock) {
    // Far more than a pipe holds on standard error, then standard output.
    const std::string out = capture_sh("head -c 4000000 /dev/zero >&2; head -c 300000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(out, std::string(300000, 'x'));
}

TEST(RunCmdCaptureOutput, ArgumentsArriveAsSeparateUnchangedElements) {
    const strings args{"a b", "", "$HOME", "'q'", "*", "x;y|z"};
    std::string expected;
    for (const auto& arg : args) expected += arg + '\0';
    EXPECT_EQ(capture_sh("for a; do printf '%s\\0' \"$a\"; done", args), expected);
}

struct fatal_case {
    const char* name;
    std::string cmd;
    strings args;
    const char* message;
};

TEST(Runners, FailuresToStartOrDecodeAreFatal) {
    const fatal_case cases[] = {
        {"missing program", "tarn-no-such-program", {}, "Error running command"},
        {"NUL in an argument", "true", {std::string("a\0b", 3)}, "Error running command"},
        {"NUL in the name", std::string("tr\0ue", 5), {}, "Error running command"},
        {"output not UTF-8", "printf", {"\\377"}, "Failed to convert output to string"},
    };
    for (const auto& c : cases) {
        try {
            process::run_cmd_capture_output(c.cmd, c.args);
            ADD_FAILURE() << c.name << ": no fatal error";
        } catch (const fatal_error& error) {
            EXPECT_EQ(error.message, c.message) << c.name;
            EXPECT_FALSE(error.cause.empty()) << c.name;
        }
    }
    try {
        process::run_cmd("tarn-no-such-program", {});
        ADD_FAILURE() << "run_cmd: no fatal error";
    } catch (const fatal_error& error) {
        EXPECT_EQ(error.diagnostic(),
                  "error: Error running command: No such file or directory (os error 2)\n");
    }
}

}  // namespace
