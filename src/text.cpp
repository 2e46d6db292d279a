#include "text.hpp"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARN_TEXT_AVX2 1
#endif

namespace text {
namespace {

#if TARN_TEXT_AVX2

// Strict UTF-8 checked 32 bytes at a time, with AVX2 where the processor has
// it. Every pair of neighbouring bytes is classified by three table lookups
// (the high and low half of the first byte, the high half of the second);
// a bit that survives in all three marks a fault. The one pairing that is a
// fault only in some places, a continuation byte after a continuation byte,
// must be exactly where a three- or four-byte character needs its third or
// fourth byte. Returns how many leading bytes are whole valid characters as
// far as whole blocks go; the rest is left to the byte-wise check.
constexpr std::uint8_t too_short = 1 << 0;     // lead byte, then no continuation
constexpr std::uint8_t too_long = 1 << 1;      // ASCII, then a continuation
constexpr std::uint8_t overlong_3 = 1 << 2;    // E0 80..9F
constexpr std::uint8_t too_large = 1 << 3;     // F4 90..BF, F5..FF 90..BF
constexpr std::uint8_t surrogate = 1 << 4;     // ED A0..BF
constexpr std::uint8_t overlong_2 = 1 << 5;    // C0..C1 80..BF
constexpr std::uint8_t too_large_80 = 1 << 6;  // F5..FF 80..8F
constexpr std::uint8_t overlong_4 = 1 << 6;    // F0 80..8F
constexpr std::uint8_t two_conts = 1 << 7;     // continuation, then a continuation
constexpr std::uint8_t carry = too_short | too_long | two_conts;

__attribute__((target("avx2"))) __m256i table(const std::uint8_t (&entries)[16]) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)));
}

// The block `input` moved on by `n` bytes, the last `n` bytes of `previous`
// coming in at the start.
template <int n>
__attribute__((target("avx2"))) __m256i preceding(__m256i input, __m256i previous) {
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - n);
}

__attribute__((target("avx2"))) std::size_t avx2_prefix(const unsigned char* data,
                                                        std::size_t size) {
    // clang-format off
    static constexpr std::uint8_t first_high[16] = {
        too_long, too_long, too_long, too_long, too_long, too_long, too_long, too_long,  // 0_______
        two_conts, two_conts, two_conts, two_conts,                                      // 10______
        too_short | overlong_2,                                                          // 1100____
        too_short,                                                                       // 1101____
        too_short | overlong_3 | surrogate,                                              // 1110____
        too_short | too_large | too_large_80 | overlong_4,                               // 1111____
    };
    static constexpr std::uint8_t first_low[16] = {
        carry | overlong_3 | overlong_2 | overlong_4,                                    // ____0000
        carry | overlong_2,                                                              // ____0001
        carry, carry,                                                                    // ____001_
        carry | too_large,                                                               // ____0100
        carry | too_large | too_large_80, carry | too_large | too_large_80,              // ____0101
        carry | too_large | too_large_80, carry | too_large | too_large_80,              //  to
        carry | too_large | too_large_80, carry | too_large | too_large_80,              //
        carry | too_large | too_large_80, carry | too_large | too_large_80,              // ____1100
        carry | too_large | too_large_80 | surrogate,                                    // ____1101
        carry | too_large | too_large_80, carry | too_large | too_large_80,              // ____111_
    };
    static constexpr std::uint8_t second_high[16] = {
        too_short, too_short, too_short, too_short,                                      // 00__
        too_short, too_short, too_short, too_short,                                      // 01__
        too_long | overlong_2 | two_conts | overlong_3 | too_large_80 | overlong_4,      // 1000
        too_long | overlong_2 | two_conts | overlong_3 | too_large,                      // 1001
        too_long | overlong_2 | two_conts | surrogate | too_large,                       // 1010
        too_long | overlong_2 | two_conts | surrogate | too_large,                       // 1011
        too_short, too_short, too_short, too_short,                                      // 11__
    };
    // clang-format on
    const __m256i first_high_table = table(first_high);
    const __m256i first_low_table = table(first_low);
    const __m256i second_high_table = table(second_high);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i high_bit = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i third_byte = _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80));
    const __m256i fourth_byte = _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80));
    // Above these, the last three bytes of a block start a character that
    // goes on into the next block.
    const __m256i last_whole =
        _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xEF),
                         static_cast<char>(0xDF), static_cast<char>(0xBF));

    __m256i previous = _mm256_setzero_si256();
    __m256i unfinished = _mm256_setzero_si256();
    std::size_t done = 0;
    for (; size - done >= 32; done += 32) {
        const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + done));
        if (_mm256_movemask_epi8(input) == 0) {
            if (!_mm256_testz_si256(unfinished, unfinished)) break;
        } else {
            const __m256i prev1 = preceding<1>(input, previous);
            const __m256i faults = _mm256_and_si256(
                _mm256_and_si256(
                    _mm256_shuffle_epi8(first_high_table,
                                        _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble)),
                    _mm256_shuffle_epi8(first_low_table, _mm256_and_si256(prev1, nibble))),
                _mm256_shuffle_epi8(second_high_table,
                                    _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble)));
            const __m256i needs_continuation = _mm256_and_si256(
                _mm256_or_si256(_mm256_subs_epu8(preceding<2>(input, previous), third_byte),
                                _mm256_subs_epu8(preceding<3>(input, previous), fourth_byte)),
                high_bit);
            const __m256i errors = _mm256_xor_si256(faults, needs_continuation);
            if (!_mm256_testz_si256(errors, errors)) break;
            unfinished = _mm256_subs_epu8(input, last_whole);
        }
        previous = input;
    }
    // The last character checked may go on past `done`: leave it, from its
    // lead byte, to the byte-wise check.
    std::size_t start = done;
    for (int back = 0; back < 3 && start > 0 && (data[start - 1] & 0xC0) == 0x80; ++back) --start;
    if (start > 0 && data[start - 1] >= 0xC0) --start;
    return start;
}

bool has_avx2() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
}

#endif

}  // namespace

std::size_t valid_utf8_prefix(std::string_view bytes) {
    const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* p = begin;
    const auto* const end = p + bytes.size();
#if TARN_TEXT_AVX2
    if (bytes.size() >= 64 && has_avx2()) p += avx2_prefix(begin, bytes.size());
#endif
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
            break;
        }
        if (end - p < length) break;
        if (p[1] < low || p[1] > high) break;
        bool whole = true;
        for (int i = 2; i < length; ++i) whole = whole && (p[i] & 0xC0) == 0x80;
        if (!whole) break;
        p += length;
    }
    return static_cast<std::size_t>(p - begin);
}

bool is_valid_utf8(std::string_view bytes) { return valid_utf8_prefix(bytes) == bytes.size(); }

namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
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
