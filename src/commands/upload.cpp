#include "commands/upload.hpp"

#include "config.hpp"
#include "os.hpp"
#include "process.hpp"
#include "ssh.hpp"

namespace commands::upload {

std::string local_path(std::string_view file, bool windows) {
    const bool drive = windows && file.size() >= 2 && file[1] == ':' &&
                       ((file[0] >= 'A' && file[0] <= 'Z') || (file[0] >= 'a' && file[0] <= 'z'));
    const auto colon = file.find(':');
    const bool reads_as_remote = colon != std::string_view::npos && colon < file.find('/');
    const bool reads_as_option = !file.empty() && file.front() == '-';
    if (!drive && (reads_as_option || reads_as_remote)) return "./" + std::string(file);
    return std::string(file);
}

std::vector<std::string> scp_args(std::string_view key_path, std::string_view username,
                                  std::string_view file, bool windows) {
    return {"-i",
            std::string(key_path),
            "-P",
            std::string(ssh::port),
            local_path(file, windows),
            ssh::remote_target(username) + ":"};
}

int run(std::string_view file) {
    const config::credentials creds = config::get_creds();
    const auto key = ssh::lookup_key(ssh::require_home());
    if (!key) return 1;
    ssh::require_text(*key);
    return process::run_cmd("scp", scp_args(*key, creds.username, file, os::is_windows()));
}

}  // namespace commands::upload
