// The capturing runner against children whose output outlives them, or
// who die or close their streams while it is being read.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "process.hpp"

namespace {

struct capture_case {
    const char* name;
    const char* script;
    std::string out;
};

TEST(CaptureOutput, ReadsToTheEndWhateverTheChildDoes) {
    const capture_case cases[] = {
        // More than the pipe holds, written in one go right before exiting.
        {"exits with output still in the pipe", "head -c 200000 /dev/zero | tr '\\0' x; exit 3",
         std::string(200000, 'x')},
        // The pipe stays open in a grandchild after the child has exited.
        {"leaves a writer behind", "(sleep 0.2; printf late) & printf early", "earlylate"},
        {"is killed while writing", "printf partial; kill -KILL $$; printf never", "partial"},
        {"closes standard output and goes on on standard error",
         "printf first; exec >&-; head -c 3000000 /dev/zero >&2", "first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(process::run_cmd_capture_output("sh", {"-c", c.script}), c.out);
    }
}

}  // namespace

TEST(RunCmd, ChildGetsTheDefaultFileSizeSignalBack) {
    // As in the client, which ignores it for itself.
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    char dir[] = "/tmp/tarn-fault-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/big";
    const int status =
        process::run_cmd("sh", {"-c", "ulimit -f 1; exec head -c 5000 /dev/zero > \"$0\"", file});
    signal(SIGXFSZ, previous);
    unlink(file.c_str());
    rmdir(dir);
    EXPECT_EQ(status, 128 + SIGXFSZ);
}
