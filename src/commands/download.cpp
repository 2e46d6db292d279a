#include "commands/download.hpp"

#include "config.hpp"
#include "process.hpp"
#include "ssh.hpp"

namespace commands::download {

std::vector<std::string> scp_args(std::string_view key_path, std::string_view username,
                                  std::string_view file, std::string_view home) {
    return {"-i",
            std::string(key_path),
            "-P",
            std::string(ssh::port),
            ssh::remote_target(username) + ":" + std::string(file),
            std::string(home)};
}

int run(std::string_view file) {
    const config::credentials creds = config::get_creds();
    const std::string home = ssh::require_home();
    const auto key = ssh::lookup_key(home);
    if (!key) return 1;
    ssh::require_text(home);
    ssh::require_text(*key);
    return process::run_cmd("scp", scp_args(*key, creds.username, file, home));
}

}  // namespace commands::download
