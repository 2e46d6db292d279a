#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "ssh.hpp"
#include "temp_dir.hpp"

namespace {

using strings = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(RegionHost, FingerprintHasTheExpectedForm) {
    ASSERT_EQ(ssh::host_key_fingerprint.size(), 50u);
    EXPECT_EQ(ssh::host_key_fingerprint.substr(0, 7), "SHA256:");
    for (const char c : ssh::host_key_fingerprint.substr(7)) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/') << c;
    }
}

TEST(SshArgs, FixedOptionsThenEachRemoteElement) {
    EXPECT_EQ(ssh::ssh_args("/h/.ssh/tarn-hosting-eastmere", "Bob", {}),
              (strings{"-q", "-t", "-i", "/h/.ssh/tarn-hosting-eastmere", "-p", "20022",
                       "Bob@eastmere.tarn-hosting.net"}));
    EXPECT_EQ(ssh::ssh_args("k", "a b", {"ls -la", ""}),
              (strings{"-q", "-t", "-i", "k", "-p", "20022", "a b@eastmere.tarn-hosting.net",
                       "ls -la", ""}));
}

TEST(PlinkArgs, PassesPasswordAndUsernameAsOwnElements) {
    EXPECT_EQ(ssh::plink_args({"Bob", ""}, {}),
              (strings{"-batch", "-P", "20022", "-hostkey", std::string(ssh::host_key_fingerprint),
                       "-ssh", "eastmere.tarn-hosting.net", "-pw", "", "-l", "Bob"}));
    const auto with_cmd = ssh::plink_args({"Bob", "p w"}, {"echo hi"});
    ASSERT_EQ(with_cmd.size(), 12u);
    EXPECT_EQ(with_cmd[8], "p w");
    EXPECT_EQ(with_cmd[11], "echo hi");
}

TEST(FindKey, PrefersSshThenNotSshAndFollowsLinks) {
    temp_dir home;
    const std::string ssh_key = home / ".ssh/tarn-hosting-eastmere";
    const std::string other_key = home / ".not-ssh/tarn-hosting-eastmere";
    EXPECT_EQ(ssh::find_key(home.path.string()), std::nullopt);

    fs::create_directories(home / ".not-ssh");
    std::ofstream(other_key).put('k');
    EXPECT_EQ(ssh::find_key(home.path.string()), other_key);

    fs::create_directories(home / ".ssh");
    fs::create_symlink(home / "nowhere", ssh_key);  // dangling: counts as missing
    EXPECT_EQ(ssh::find_key(home.path.string()), other_key);

    fs::remove(ssh_key);
    fs::create_directory(ssh_key);  // anything that exists counts
    EXPECT_EQ(ssh::find_key(home.path.string()), ssh_key);
    // A home directory given with a trailing separator gets no second one.
    EXPECT_EQ(ssh::find_key(home.path.string() + "/"), ssh_key);
}

}  // namespace
