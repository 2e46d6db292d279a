// The credentials reader on arbitrary file contents. The first input byte
// chooses whether reading is taken to have stopped on an error after the
// rest of the bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "config.hpp"
#include "text.hpp"

namespace {

// The file read line by line with the standard library: of the first two
// lines, the UTF-8 ones, each without its line ending.
std::vector<std::string> good_lines_of_first_two(const std::string& bytes) {
    std::istringstream in(bytes);
    std::vector<std::string> good;
    std::string line;
    for (int item = 0; item < 2 && std::getline(in, line); ++item) {
        const bool ended = !in.eof();
        if (ended && !line.empty() && line.back() == '\r') line.pop_back();
        if (text::is_valid_utf8(line)) good.push_back(line);
    }
    return good;
}

bool same(const std::optional<config::credentials>& a,
          const std::optional<config::credentials>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->username == b->username && a->password == b->password);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool read_failed = (data[0] & 1) != 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const auto creds = config::parse_creds(bytes, read_failed);
    if (creds) {
        for (const std::string* value : {&creds->username, &creds->password}) {
            FUZZ_CHECK(text::is_valid_utf8(*value));
            FUZZ_CHECK(value->find('\n') == std::string::npos);
            FUZZ_CHECK(text::trim_white_space(*value) == *value);
        }
        FUZZ_CHECK(creds->username.empty() || creds->username.front() != '-');
    }

    if (read_failed) {
        // A line cut off by the error is not a line: the same as a file that
        // ends after the last complete line.
        const auto last_feed = bytes.rfind('\n');
        const std::string complete =
            last_feed == std::string::npos ? std::string() : bytes.substr(0, last_feed + 1);
        FUZZ_CHECK(same(creds, config::parse_creds(complete)));
        return 0;
    }

    const auto good = good_lines_of_first_two(bytes);
    if (good.size() < 2) {
        FUZZ_CHECK(!creds);
    } else {
        const std::string username(text::trim_white_space(good[0]));
        const std::string password(text::trim_white_space(good[1]));
        if (!username.empty() && username.front() == '-') {
            FUZZ_CHECK(!creds);
        } else {
            FUZZ_CHECK(creds && creds->username == username && creds->password == password);
        }
    }

    // Nothing after the second line feed matters.
    std::size_t second = bytes.find('\n');
    if (second != std::string::npos) second = bytes.find('\n', second + 1);
    if (second != std::string::npos) {
        FUZZ_CHECK(same(creds, config::parse_creds(bytes.substr(0, second + 1) + "tail\n\xff")));
    }
    return 0;
}
