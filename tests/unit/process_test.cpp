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
    const std::string out =
        capture_sh("head -c 4000000 /dev/zero >&2; head -c 300000 /dev/zero | tr '\\0' x");
    EXPECT_EQ(out, std::string(300000, 'x'));
}

TEST(RunCmdCaptureOutput, KeepsEveryByteAcrossTheBufferGrowing) {
    // Sizes on and around the points where the buffer grows or asks for
    // huge pages; the bytes are numbered lines so that a lost or repeated
    // stretch shows.
    for (const long size : {65535L, 65536L, 65537L, 327680L, 2097153L, 20000000L}) {
        const std::string out =
            capture_sh("seq 1 4000000 | head -c \"$1\"", {std::to_string(size)});
        std::string expected;
        for (long i = 1; static_cast<long>(expected.size()) < size; ++i) {
            expected += std::to_string(i) + '\n';
        }
        expected.resize(static_cast<std::size_t>(size));
        EXPECT_EQ(out.size(), expected.size()) << size;
        EXPECT_TRUE(out == expected) << size;
    }
}

TEST(RunCmdCaptureOutput, ChecksCharactersSplitAcrossReads) {
    // The pauses make the client read each piece on its own.
    EXPECT_EQ(capture_sh("printf 'a\\303'; sleep 0.2; printf '\\251z'"), "a\xc3\xa9z");
    EXPECT_EQ(capture_sh("printf '\\360\\237'; sleep 0.2; printf '\\220\\263'"),
              "\xf0\x9f\x90\xb3");
    const char* const invalid[] = {
        "printf 'a\\303'; sleep 0.2; printf 'b'",               // lead byte, then no continuation
        "printf 'abc\\342\\202'",                               // cut off by the end
        "printf '\\355'; sleep 0.2; printf '\\240\\200 more'",  // surrogate in two pieces
        "head -c 300000 /dev/zero | tr '\\0' x; printf '\\377'; head -c 300000 /dev/zero",
    };
    for (const char* script : invalid) {
        try {
            capture_sh(script);
            ADD_FAILURE() << script << ": no fatal error";
        } catch (const fatal_error& error) {
            EXPECT_EQ(error.message, "Failed to convert output to string") << script;
        }
    }
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
