#include "commands/login.hpp"

#include <string_view>

#include "config.hpp"
#include "help.hpp"
#include "os.hpp"
#include "process.hpp"

namespace commands::login {

std::vector<std::vector<std::string>> winget_installs() {
    const std::vector<std::string> install{"install", "--accept-package-agreements",
                                           "--accept-source-agreements", "-h"};
    std::vector<std::vector<std::string>> lists;
    auto add = [&](std::initializer_list<std::string_view> rest) {
        auto& list = lists.emplace_back(install);
        list.insert(list.end(), rest.begin(), rest.end());
    };
    add({"rclone"});
    add({"-e", "--id", "WinFsp.WinFsp"});
    add({"-e", "--id", "SSHFS-Win.SSHFS-Win"});
    add({"-e", "--id", "PuTTY.PuTTY"});
    return lists;
}

int run() {
    if (const auto error = config::create_config()) {
        os::print_err("ERROR: " + error->message + "\n");
        return 1;
    }
    if (os::is_windows()) {
        os::print_out("Making sure all dependencies are installed...\n");
        // An installation that fails (or finds the package already there)
        // does not stop the others.
        for (const auto& args : winget_installs()) process::run_cmd("winget", args);
        os::print_out("\n");
        os::print_out(std::string(53, '-') + "\n");
        os::print_out(
            "ACTION REQUIRED: tarn-hosting is now configured! Before you can start running "
            "further commands, you will need to restart your command prompt window to ensure "
            "all dependencies have been loaded properly.\n");
        help::show_help();
    }
    return 0;
}

}  // namespace commands::login
