// The typed access token, from the bytes on standard input to the stored
// credentials: the line as the login prompt reads it (up to the first line
// feed, bounded), the UTF-8 check, the trim, the split at the colon and the
// refusal of a username that reads as an option.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.hpp"
#include "config.hpp"
#include "text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view line = input.substr(0, std::min(input.size(), config::max_token_line));
    if (const auto feed = line.find('\n'); feed != std::string_view::npos) {
        line = line.substr(0, feed + 1);
    }
    // A line that fills the bound without ending is refused before parsing.
    if (line.size() == config::max_token_line && line.back() != '\n') return 0;
    if (!text::is_valid_utf8(line)) return 0;

    const auto creds = config::parse_token(line);
    const std::string_view token = text::trim_white_space(line);
    const auto colons = std::count(token.begin(), token.end(), ':');
    if (!creds) {
        FUZZ_CHECK(colons != 1 || token.front() == '-');
        return 0;
    }
    FUZZ_CHECK(colons == 1);
    FUZZ_CHECK(creds->username + ":" + creds->password == token);
    FUZZ_CHECK(creds->username.empty() || creds->username.front() != '-');
    // Each value must stay on its own line of the file.
    FUZZ_CHECK(creds->username.find('\n') == std::string::npos);
    FUZZ_CHECK(creds->password.find('\n') == std::string::npos);

    // Stored and read back, the values return trimmed.
    const auto stored = config::parse_creds(config::serialize(*creds));
    FUZZ_CHECK(stored.has_value());
    FUZZ_CHECK(stored->username == text::trim_white_space(creds->username));
    FUZZ_CHECK(stored->password == text::trim_white_space(creds->password));
    return 0;
}
