#pragma once

#include <optional>
#include <string>
#include <string_view>

// The account: ~/.tarn-hosting/tarn-hosting.conf, two lines, the username and
// the password.
namespace config {

struct credentials {
    std::string username;
    std::string password;
};

// An error that `create_config` hands back to its caller to report.
struct config_error {
    std::string message;
};

// A token line longer than this is not a token.
inline constexpr std::size_t max_token_line = std::size_t{64} * 1024;

// Splits a typed access token ("username:password", surrounding white space
// allowed) into credentials. Nothing when it has not exactly one colon, or
// when the username would begin with "-" and so read as an option.
std::optional<credentials> parse_token(std::string_view line);

// Reads credentials from the start of a credentials file: of its first two
// lines, those that are valid UTF-8 must be two, each trimmed. Set
// `read_failed` when reading stopped on an error after `bytes`.
std::optional<credentials> parse_creds(std::string_view bytes, bool read_failed = false);

// The file's contents for `creds`: two lines, each ending in a line feed.
std::string serialize(const credentials& creds);

// Prompts for an access token on standard output, reads it from standard
// input and stores it. Returns the error to report, if any.
std::optional<config_error> create_config();

// Reads the stored credentials. A missing or unusable file is reported on
// standard output and ends the run.
credentials get_creds();

}  // namespace config
