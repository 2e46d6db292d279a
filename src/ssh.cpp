#include "ssh.hpp"

#include "fatal.hpp"
#include "os.hpp"
#include "process.hpp"
#include "text.hpp"

namespace ssh {

std::optional<std::string> find_key(std::string_view home) {
    for (const std::string_view relative :
         {".ssh/tarn-hosting-eastmere", ".not-ssh/tarn-hosting-eastmere"}) {
        std::string path = os::join_path(home, relative);
        if (os::path_exists(path)) return path;
    }
    return std::nullopt;
}

std::string require_home() {
    auto home = os::home_dir();
    if (!home) fail("Could not determine home directory");
    return std::move(*home);
}

std::optional<std::string> lookup_key(const std::string& home) {
    auto key = find_key(home);
    if (!key) os::print_out(missing_key_message);
    return key;
}

void require_text(std::string_view path) {
    if (!text::is_valid_utf8(path)) fail("path is not valid UTF-8", text::escape_bytes(path));
}

std::string remote_target(std::string_view username) {
    std::string target(username);
    target += '@';
    target += region_host;
    return target;
}

std::vector<std::string> ssh_args(std::string_view key_path, std::string_view username,
                                  const std::vector<std::string>& cmd) {
    std::vector<std::string> args{
        "-q", "-t", "-i", std::string(key_path), "-p", std::string(port), remote_target(username)};
    args.insert(args.end(), cmd.begin(), cmd.end());
    return args;
}

std::vector<std::string> plink_args(const config::credentials& creds,
                                    const std::vector<std::string>& cmd) {
    std::vector<std::string> args{"-batch",
                                  "-P",
                                  std::string(port),
                                  "-hostkey",
                                  std::string(host_key_fingerprint),
                                  "-ssh",
                                  std::string(region_host),
                                  "-pw",
                                  creds.password,
                                  "-l",
                                  creds.username};
    args.insert(args.end(), cmd.begin(), cmd.end());
    return args;
}

int ssh_command(const std::vector<std::string>& cmd) {
    const config::credentials creds = config::get_creds();
    if (os::is_windows()) {
        return process::run_cmd("plink", plink_args(creds, cmd));
    }
    const auto key = lookup_key(require_home());
    if (!key) return 1;
    require_text(*key);
    return process::run_cmd("ssh", ssh_args(*key, creds.username, cmd));
}

}  // namespace ssh
