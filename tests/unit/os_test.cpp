#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "os.hpp"
#include "temp_dir.hpp"

namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int mode_of(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

std::size_t entries_in(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(Platform, LinuxBuildIsNotWindows) {
    static_assert(!os::is_windows());
    EXPECT_EQ(os::target_os, "linux");
}

TEST(JoinPath, OneSeparatorBetween) {
    EXPECT_EQ(os::join_path("/home/bob", ".ssh/k"), "/home/bob/.ssh/k");
    EXPECT_EQ(os::join_path("/home/bob/", ".ssh/k"), "/home/bob/.ssh/k");
    EXPECT_EQ(os::join_path("/", "x"), "/x");
}

TEST(HomeDir, UsesHomeWhenSetAndNotEmpty) {
    const char* saved = std::getenv("HOME");
    const std::string kept = saved ? saved : "";
    setenv("HOME", "/some/where", 1);
    EXPECT_EQ(os::home_dir(), "/some/where");
    setenv("HOME", "", 1);
    const auto fallback = os::home_dir();  // the user database's entry
    EXPECT_TRUE(fallback.has_value());
    EXPECT_NE(fallback, "");
    if (saved)
        setenv("HOME", kept.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(CreateDirectory, IsPrivateAndReportsTheSystemError) {
    temp_dir dir;
    const mode_t old_mask = umask(0);
    EXPECT_EQ(os::create_directory(dir / "d"), 0);
    umask(old_mask);
    EXPECT_EQ(mode_of(dir / "d"), 0700);
    EXPECT_EQ(os::create_directory(dir / "d"), EEXIST);
    EXPECT_EQ(os::create_directory(dir / "missing/d"), ENOENT);
}

TEST(ReplaceFile, WritesAPrivateFileAtomically) {
    temp_dir dir;
    const std::string file = dir / "tarn-hosting.conf";
    ASSERT_EQ(os::replace_file(file, "one\n"), 0);
    EXPECT_EQ(read_all(file), "one\n");
    EXPECT_EQ(mode_of(file), 0600);
    ASSERT_EQ(os::replace_file(file, "two\nlines\n"), 0);
    EXPECT_EQ(read_all(file), "two\nlines\n");
    EXPECT_EQ(entries_in(dir.path), 1u);  // no temporary file left
}

TEST(ReplaceFile, FollowsASymbolicLinkAndKeepsIt) {
    temp_dir dir;
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real/target") << "old";
    fs::create_symlink("real/target", dir / "link");
    ASSERT_EQ(os::replace_file(dir / "link", "new"), 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(read_all(dir / "real/target"), "new");
    EXPECT_EQ(entries_in(dir / "real"), 1u);
}

TEST(ReplaceFile, FailuresLeaveEverythingAsItWas) {
    temp_dir dir;
    fs::create_directory(dir / "a-directory");
    EXPECT_EQ(os::replace_file(dir / "a-directory", "x"), EISDIR);
    EXPECT_EQ(entries_in(dir.path), 1u);
    EXPECT_EQ(os::replace_file(dir / "missing/file", "x"), ENOENT);
    std::ofstream(dir / "plain") << "p";
    EXPECT_EQ(os::replace_file(dir / "plain/file", "x"), ENOTDIR);
    EXPECT_EQ(read_all(dir / "plain"), "p");
}

TEST(ReadFileHead, StopsAfterTheRequestedLineFeeds) {
    temp_dir dir;
    std::ofstream(dir / "f") << "a\nb\nc\nd";
    const auto head = os::read_file_head(dir / "f", 2);
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(head->bytes, "a\nb\n");
    EXPECT_FALSE(head->read_failed);

    std::ofstream(dir / "short") << "only";
    EXPECT_EQ(os::read_file_head(dir / "short", 2)->bytes, "only");
    EXPECT_FALSE(os::read_file_head(dir / "absent", 2).has_value());

    fs::create_directory(dir / "d");
    const auto of_directory = os::read_file_head(dir / "d", 2);
    ASSERT_TRUE(of_directory.has_value());
    EXPECT_TRUE(of_directory->read_failed);
}

TEST(PathExists, FollowsLinks) {
    temp_dir dir;
    EXPECT_TRUE(os::path_exists(dir.path.string()));
    EXPECT_FALSE(os::path_exists(dir / "nothing"));
    fs::create_symlink(dir / "nothing", dir / "dangling");
    EXPECT_FALSE(os::path_exists(dir / "dangling"));
}

}  // namespace
