#include "config.hpp"

#include "fatal.hpp"
#include "os.hpp"
#include "text.hpp"

namespace config {
namespace {

constexpr std::string_view invalid_file_message =
    "Config file is invalid. Try running `tarn-hosting login` again.\n";

// A username that `ssh`, `scp` or `rclone` would read as an option.
bool looks_like_option(std::string_view username) {
    return !username.empty() && username.front() == '-';
}

}  // namespace

std::optional<credentials> parse_token(std::string_view line) {
    const std::string_view token = text::trim_white_space(line);
    const auto colon = token.find(':');
    if (colon == std::string_view::npos || token.find(':', colon + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    credentials creds{std::string(token.substr(0, colon)), std::string(token.substr(colon + 1))};
    if (looks_like_option(creds.username)) return std::nullopt;
    return creds;
}

std::optional<credentials> parse_creds(std::string_view bytes, bool read_failed) {
    std::string_view good[2];
    int kept = 0;
    for (int item = 0; item < 2 && !bytes.empty(); ++item) {
        const auto feed = bytes.find('\n');
        if (feed == std::string_view::npos && read_failed) break;  // cut off by the error
        std::string_view line = bytes.substr(0, feed);
        bytes.remove_prefix(feed == std::string_view::npos ? bytes.size() : feed + 1);
        if (feed != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (text::is_valid_utf8(line)) good[kept++] = line;
    }
    if (kept < 2) return std::nullopt;
    credentials creds{std::string(text::trim_white_space(good[0])),
                      std::string(text::trim_white_space(good[1]))};
    if (looks_like_option(creds.username)) return std::nullopt;
    return creds;
}

std::string serialize(const credentials& creds) {
    return creds.username + "\n" + creds.password + "\n";
}

std::optional<config_error> create_config() {
    os::print_out("\n");
    os::print_out("LOGIN REQUIRED\n");
    os::print_out("Please provide your tarn-hosting access token:\n");
    if (!os::is_windows()) {
        os::print_out(
            "Note: because you're on unix you need only provide the username portion of the "
            "token, followed by a colon. For example `Bob:`\n");
    }

    std::string line;
    if (const int error = os::read_stdin_line(line, max_token_line); error != 0) {
        return config_error{describe_os_error(error)};
    }
    if (line.size() == max_token_line && line.back() != '\n') {
        return config_error{"Invalid access token"};
    }
    if (!text::is_valid_utf8(line)) {
        return config_error{"stream did not contain valid UTF-8"};
    }
    const auto creds = parse_token(line);
    if (!creds) return config_error{"Invalid access token"};

    const auto home = os::home_dir();
    if (!home) fail("a required value is missing: no home directory");

    const std::string directory = os::join_path(*home, ".tarn-hosting");
    if (!os::path_exists(directory)) {
        if (const int error = os::create_directory(directory); error != 0) {
            return config_error{describe_os_error(error)};
        }
    }
    const std::string file = os::join_path(directory, "tarn-hosting.conf");
    if (const int error = os::replace_file(file, serialize(*creds)); error != 0) {
        return config_error{describe_os_error(error)};
    }
    return std::nullopt;
}

credentials get_creds() {
    const auto home = os::home_dir();
    if (!home) fail("Could not determine home directory");
    const auto head =
        os::read_file_head(os::join_path(*home, ".tarn-hosting/tarn-hosting.conf"), 2);
    std::optional<credentials> creds;
    if (head) creds = parse_creds(head->bytes, head->read_failed);
    if (!creds) {
        os::print_out(invalid_file_message);
        fail("explicit panic");
    }
    return *creds;
}

}  // namespace config
