// The delayed task of `mount` on the runtime that main builds: one worker
// thread, stopped and then joined at the end of the run. The task is started
// with short delays; its file manager is a fake script on PATH that records
// when it starts and when it finishes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "commands/mount.hpp"

namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::string_view drive_message =
    "Your volumes are now mounted on the L: drive. Press ctrl+c or simply close this window to "
    "unmount when done\n";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool wait_for_file(const fs::path& path, std::chrono::milliseconds limit = 10s) {
    const auto give_up = steady::now() + limit;
    while (!fs::exists(path)) {
        if (steady::now() > give_up) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Sends one of this process's standard streams to a file until restored.
class redirect {
public:
    redirect(int fd, const fs::path& file) : fd_(fd), saved_(dup(fd)) {
        const int target = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(target, fd_);
        close(target);
    }
    ~redirect() { restore(); }
    redirect(const redirect&) = delete;
    redirect& operator=(const redirect&) = delete;

    void restore() {
        if (saved_ < 0) return;
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }

private:
    int fd_;
    int saved_;
};

// A scratch directory with bin/ first on PATH, and the streams the task
// writes to sent to files in it while the runtime lives.
class DelayedTask : public testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "tarn-runtime-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir_ = name;
        fs::create_directory(dir_ / "bin");
        old_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        // Set before any worker thread exists: the task reads it to find the
        // file manager.
        setenv("PATH", ((dir_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", old_path_.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // A file manager that records its arguments, stays `seconds`, then
    // records that it finished.
    void install_explorer(const char* seconds) {
        const fs::path script = dir_ / "bin" / "explorer";
        std::ofstream(script) << "#!/bin/sh\n"
                              << "printf '%s' \"$*\" > '" << (dir_ / "started").string() << "'\n"
                              << "sleep " << seconds << "\n"
                              << ": > '" << (dir_ / "finished").string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
    }

    fs::path started() const { return dir_ / "started"; }
    fs::path finished() const { return dir_ / "finished"; }
    fs::path out_file() const { return dir_ / "stdout"; }
    fs::path err_file() const { return dir_ / "stderr"; }

    fs::path dir_;
    std::string old_path_;
};

// Blocks until everything posted to `pool` before this call has run.
void drain(asio::thread_pool& pool) {
    std::promise<void> reached;
    auto done = reached.get_future();
    asio::post(pool, [&reached] { reached.set_value(); });
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
}

TEST_F(DelayedTask, StillWaitingAtShutDownNeverRuns) {
    install_explorer("0");
    {
        redirect out(STDOUT_FILENO, out_file());
        asio::thread_pool runtime(1);
        commands::mount::start_mount_explorer(runtime.get_executor(), 500ms);
        // One worker runs handlers in order: once this returns, the task has
        // run up to its timer and is waiting.
        drain(runtime);
        runtime.stop();
        runtime.join();
    }
    // Long enough for a wrongly kept task to have fired.
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(read_file(out_file()), "");
    EXPECT_FALSE(fs::exists(started()));
}

TEST_F(DelayedTask, RunningFileManagerHoldsShutDownUntilItExits) {
    install_explorer("0.3");
    {
        redirect out(STDOUT_FILENO, out_file());
        asio::thread_pool runtime(1);
        commands::mount::start_mount_explorer(runtime.get_executor(), 0ms);
        ASSERT_TRUE(wait_for_file(started()));
        runtime.stop();
        runtime.join();
        // Checked before anything else can give the script more time.
        EXPECT_TRUE(fs::exists(finished())) << "shut-down returned while the file manager ran";
    }
    EXPECT_EQ(read_file(out_file()), drive_message);
    EXPECT_EQ(read_file(started()), "L:");
}

TEST_F(DelayedTask, FatalErrorEndsOnlyTheTaskAndIsReported) {
    // No file manager on PATH: starting it is a fatal error.
    std::future_status follow_up = std::future_status::deferred;
    {
        redirect out(STDOUT_FILENO, out_file());
        redirect err(STDERR_FILENO, err_file());
        asio::thread_pool runtime(1);
        commands::mount::start_mount_explorer(runtime.get_executor(), 0ms);
        const auto give_up = steady::now() + 10s;
        while (fs::file_size(err_file()) == 0 && steady::now() < give_up) {
            std::this_thread::sleep_for(5ms);
        }
        // The runtime still takes work after the task failed.
        std::promise<void> ran;
        asio::post(runtime, [&ran] { ran.set_value(); });
        follow_up = ran.get_future().wait_for(10s);
        runtime.stop();
        runtime.join();
    }
    EXPECT_EQ(follow_up, std::future_status::ready);
    EXPECT_EQ(read_file(out_file()), drive_message);
    EXPECT_EQ(read_file(err_file()),
              "error: Error running command: No such file or directory (os error 2)\n");
}

TEST_F(DelayedTask, DeadlineCountsFromFirstRunNotFromCreation) {
    install_explorer("0");
    constexpr auto delay = 300ms;
    steady::duration waited{};
    std::string early_output;
    {
        redirect out(STDOUT_FILENO, out_file());
        asio::thread_pool runtime(1);
        auto task = commands::mount::open_mount_explorer(delay);
        // Longer than the delay: a deadline fixed now would be past already.
        std::this_thread::sleep_for(delay + 100ms);
        const auto spawned = steady::now();
        asio::co_spawn(runtime, std::move(task), asio::detached);
        std::this_thread::sleep_for(100ms);
        early_output = read_file(out_file());
        ASSERT_TRUE(wait_for_file(started()));
        waited = steady::now() - spawned;
        runtime.stop();
        runtime.join();
    }
    EXPECT_EQ(early_output, "");
    EXPECT_GE(waited, delay);
    EXPECT_EQ(read_file(out_file()), drive_message);
}

TEST_F(DelayedTask, DeadlineCountsFromFirstRunNotFromStart) {
    install_explorer("0");
    constexpr auto busy = 300ms;
    constexpr auto delay = 300ms;
    steady::duration waited{};
    {
        redirect out(STDOUT_FILENO, out_file());
        asio::thread_pool runtime(1);
        const auto spawned = steady::now();
        // The only worker is busy, so the task first runs `busy` later.
        asio::post(runtime, [busy] { std::this_thread::sleep_for(busy); });
        commands::mount::start_mount_explorer(runtime.get_executor(), delay);
        ASSERT_TRUE(wait_for_file(started()));
        waited = steady::now() - spawned;
        runtime.stop();
        runtime.join();
    }
    EXPECT_GE(waited, busy + delay);
    EXPECT_EQ(read_file(out_file()), drive_message);
}

}  // namespace
