#include "text.hpp"

#include <cstdint>
#include <cstring>

namespace text {

bool is_valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        // Large captured outputs are mostly ASCII: skip eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ULL) != 0) break;
            p += 8;
        }
        if (p == end) break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;   // overlong
            if (c == 0xED) high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;   // overlong
            if (c == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (end - p < length) return false;
        if (p[1] < low || p[1] > high) return false;
        for (int i = 2; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
        }
        p += length;
    }
    return true;
}

namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 ||
           c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the character starting at s[i] and stores its length.
char32_t decode_at(std::string_view s, std::size_t i, std::size_t& length) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        length = 1;
        return c;
    }
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    char32_t value = c & (0x7F >> n);
    for (std::size_t k = 1; k < n && i + k < s.size(); ++k) {
        value = (value << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    length = n;
    return value;
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string_view trim_white_space(std::string_view s) {
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t length = 0;
        if (!is_white_space(decode_at(s, begin, length))) break;
        begin += length;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && is_continuation(s[start])) --start;
        std::size_t length = 0;
        if (!is_white_space(decode_at(s, start, length))) break;
        end = start;
    }
    return s.substr(begin, end - begin);
}

std::string escape_bytes(std::string_view bytes) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += ch;
                } else {
                    out += "\\x";
                    out += hex[c >> 4];
                    out += hex[c & 0xF];
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace text
