#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config.hpp"

// The region host and the remote shell on it.
namespace ssh {

inline constexpr std::string_view region_host = "eastmere.tarn-hosting.net";
inline constexpr std::string_view port = "20022";
inline constexpr std::string_view host_key_fingerprint =
    "SHA256:aNB715wPh9eouIF5DSO688HJ42ZjZvP4uCBH+9zy2GM";

inline constexpr std::string_view missing_key_message =
    "Expected to find SSH key at either ~/.ssh/tarn-hosting-eastmere or "
    "~/.not-ssh/tarn-hosting-eastmere\n";

// The private key under `home`: ".ssh/tarn-hosting-eastmere" when anything
// exists there, else ".not-ssh/tarn-hosting-eastmere" when anything exists
// there, else nothing.
std::optional<std::string> find_key(std::string_view home);

// The key path under `home` for the commands that use the key. Nothing when
// there is no key; the missing-key message has then been printed.
std::optional<std::string> lookup_key(const std::string& home);

// Ends the run with a fatal error when `path` is not text, before it is
// handed to a program as an argument.
void require_text(std::string_view path);

// The home directory, or the fatal error "Could not determine home directory".
std::string require_home();

// username@region-host
std::string remote_target(std::string_view username);

// `ssh` arguments: the fixed options, then `cmd`.
std::vector<std::string> ssh_args(std::string_view key_path, std::string_view username,
                                  const std::vector<std::string>& cmd);

// `plink` arguments (Windows): the fixed options with the password, then `cmd`.
std::vector<std::string> plink_args(const config::credentials& creds,
                                    const std::vector<std::string>& cmd);

// Opens a shell on the region host (empty `cmd`) or runs `cmd` there as one
// command line. Returns the exit status for the client: the remote tool's
// status, or 1 when there is no key.
int ssh_command(const std::vector<std::string>& cmd);

}  // namespace ssh
