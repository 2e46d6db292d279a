// The White_Space trim against a plain reference: decode every character,
// drop White_Space characters from both ends, keep the rest.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "text.hpp"

namespace {

// The White_Space property of the Unicode Character Database (PropList.txt).
bool white_space(char32_t c) {
    static constexpr char32_t list[] = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                        0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                        0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                        0x2029, 0x202F, 0x205F, 0x3000};
    for (const char32_t w : list) {
        if (c == w) return true;
    }
    return false;
}

struct character {
    char32_t value;
    std::size_t offset;
    std::size_t length;
};

// Valid UTF-8 in, its characters out.
std::vector<character> decode(std::string_view s) {
    std::vector<character> chars;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            value = (value << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        chars.push_back({value, i, length});
        i += length;
    }
    return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view s(reinterpret_cast<const char*>(data), size);
    if (!text::is_valid_utf8(s)) return 0;

    const auto chars = decode(s);
    std::size_t first = 0;
    std::size_t last = chars.size();
    while (first < last && white_space(chars[first].value)) ++first;
    while (last > first && white_space(chars[last - 1].value)) --last;
    const std::size_t begin = first < chars.size() ? chars[first].offset : s.size();
    const std::size_t end = last > first ? chars[last - 1].offset + chars[last - 1].length : begin;

    const std::string_view trimmed = text::trim_white_space(s);
    FUZZ_CHECK(trimmed == s.substr(begin, end - begin));
    // A view into the input, not a copy.
    FUZZ_CHECK(trimmed.empty() || trimmed.data() == s.data() + begin);
    FUZZ_CHECK(text::trim_white_space(trimmed) == trimmed);
    return 0;
}
