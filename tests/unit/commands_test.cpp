#include <gtest/gtest.h>

#include "commands/deploy.hpp"
#include "commands/download.hpp"
#include "commands/login.hpp"
#include "commands/mount.hpp"
#include "commands/run.hpp"
#include "commands/shell.hpp"
#include "commands/update.hpp"
#include "commands/upload.hpp"

namespace {

using strings = std::vector<std::string>;

TEST(ShellArgs, NoCommandIsAnInteractiveShell) {
    EXPECT_EQ(commands::shell::remote_args(std::nullopt), strings{});
    EXPECT_EQ(commands::shell::remote_args("echo  a b"), strings{"echo  a b"});
}

TEST(RunArgs, FourElementsWithTheFullContainerName) {
    EXPECT_EQ(commands::run::remote_args("web", "ls -la"),
              (strings{"docker exec", "-it", "th-web-1", "ls -la"}));
    EXPECT_EQ(commands::run::container_name("th-web"), "th-th-web-1");
    EXPECT_EQ(commands::run::container_name(""), "th--1");
    EXPECT_EQ(commands::run::remote_args("Web", "")[3], "");
}

TEST(FixedRemoteCommands, DeployAndUpdate) {
    EXPECT_EQ(commands::deploy::deploy_script, "/tarn-hosting/tarn-hosting-v2/script/deploy");
    EXPECT_EQ(commands::update::update_command,
              "sudo apt-get update && sudo apt-get upgrade -y && sudo apt-get autoremove -y && "
              "sudo do-release-upgrade");
}

TEST(UploadLocalPath, NamesThatScpWouldMisreadGetADotSlash) {
    const struct {
        const char* file;
        bool windows;
        const char* expected;
    } cases[] = {
        {"a.txt", false, "a.txt"},
        {"docs/a.txt", false, "docs/a.txt"},
        {"my file.txt", false, "my file.txt"},
        {"-oProxyCommand=x", false, "./-oProxyCommand=x"},
        {"-", false, "./-"},
        {"host:file", false, "./host:file"},
        {"a:b/c", false, "./a:b/c"},
        {"a/b:c", false, "a/b:c"},
        {"/abs/x:y", false, "/abs/x:y"},
        {"C:\\Users\\bob\\a.txt", false, "./C:\\Users\\bob\\a.txt"},
        {"C:\\Users\\bob\\a.txt", true, "C:\\Users\\bob\\a.txt"},
        {"c:a.txt", true, "c:a.txt"},
        {"host:file", true, "./host:file"},
        {"-x", true, "./-x"},
        {"1:x", true, "./1:x"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(commands::upload::local_path(c.file, c.windows), c.expected)
            << c.file << " windows=" << c.windows;
    }
}

TEST(ScpArgs, UploadAndDownloadLists) {
    EXPECT_EQ(commands::upload::scp_args("/h/.ssh/k", "Bob", "docs/a b.txt", false),
              (strings{"-i", "/h/.ssh/k", "-P", "20022", "docs/a b.txt",
                       "Bob@eastmere.tarn-hosting.net:"}));
    EXPECT_EQ(commands::download::scp_args("/h/.ssh/k", "Bob", "logs/app log", "/h"),
              (strings{"-i", "/h/.ssh/k", "-P", "20022",
                       "Bob@eastmere.tarn-hosting.net:logs/app log", "/h"}));
}

TEST(WingetInstalls, FourPackagesInOrder) {
    const strings prefix{"install", "--accept-package-agreements", "--accept-source-agreements",
                         "-h"};
    auto with = [&](strings rest) {
        strings list = prefix;
        list.insert(list.end(), rest.begin(), rest.end());
        return list;
    };
    EXPECT_EQ(commands::login::winget_installs(),
              (std::vector<strings>{with({"rclone"}), with({"-e", "--id", "WinFsp.WinFsp"}),
                                    with({"-e", "--id", "SSHFS-Win.SSHFS-Win"}),
                                    with({"-e", "--id", "PuTTY.PuTTY"})}));
}

TEST(MountArgs, ObscureMountAndExplorerLists) {
    EXPECT_EQ(commands::mount::obscure_args("p w"), (strings{"obscure", "p w"}));
    EXPECT_EQ(commands::mount::mount_args("Bob Smith", "XyZ\n"),
              (strings{"mount", "--allow-non-empty", "--vfs-cache-mode", "full", "--volname",
                       "tarn-hosting-volumes", "--sftp-host", "eastmere.tarn-hosting.net",
                       "--sftp-port", "20022", "--sftp-user", "Bob Smith", "--sftp-pass", "XyZ\n",
                       ":sftp:/home/Bob Smith/volumes", "L:"}));
    EXPECT_EQ(commands::mount::mount_args("b", "").size(), 16u);
    EXPECT_EQ(commands::mount::explorer_args(), strings{"L:"});
}

}  // namespace
