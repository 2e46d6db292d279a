#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text.hpp"

namespace {

struct utf8_case {
    const char* name;
    std::string bytes;
    bool valid;
};

TEST(Utf8, AcceptsWellFormedAndRejectsEverythingElse) {
    const utf8_case cases[] = {
        {"empty", "", true},
        {"ascii with NUL", std::string("a\0b", 3), true},
        {"two-byte", "\xc3\xa9", true},
        {"three-byte", "\xe2\x82\xac", true},
        {"four-byte", "\xf0\x9f\x98\x80", true},
        {"highest code point", "\xf4\x8f\xbf\xbf", true},
        {"long ascii run then multibyte", std::string(37, 'x') + "\xc3\xa9" + std::string(9, 'y'),
         true},
        {"lone continuation", "\x80", false},
        {"overlong two-byte", "\xc0\xaf", false},
        {"overlong three-byte", "\xe0\x80\xaf", false},
        {"overlong four-byte", "\xf0\x80\x80\xaf", false},
        {"surrogate", "\xed\xa0\x80", false},
        {"above U+10FFFF", "\xf4\x90\x80\x80", false},
        {"invalid lead byte", "\xff", false},
        {"truncated at end", "abc\xe2\x82", false},
        {"bad byte after ascii run", std::string(16, 'a') + "\xfe", false},
        {"continuation missing",
         "\xc3"
         "a",
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::is_valid_utf8(c.bytes), c.valid) << c.name;
    }
}

TEST(Utf8, PrefixStopsBeforeTheFirstByteThatIsNotPartOfAWholeCharacter) {
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 0},
        {"abc", 3},
        {"ab\xc3\xa9", 4},
        {"ab\xc3", 2},      // cut off after its lead byte
        {"ab\xe2\x82", 2},  // cut off inside
        {"\xf0\x9f\x98", 0},
        {std::string(20, 'a') + "\xf0\x9f\x98", 20},  // after the eight-byte skip
        {"ab\xffxy", 2},                              // invalid in the middle
        {"ab\xc3z", 2},
        {"\xe2\x82\xac\xed\xa0\x80", 3},  // surrogate after a whole character
    };
    for (const auto& [bytes, length] : cases) {
        EXPECT_EQ(text::valid_utf8_prefix(bytes), length) << text::escape_bytes(bytes);
    }
}

// Whole characters of exactly `size` bytes: ASCII only, or a mix of every
// length so that the bytes before a fault are multi-byte too.
std::string filler(std::size_t size, bool multibyte) {
    static const std::string mix[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "a"};
    std::string text;
    for (std::size_t i = 0; multibyte && text.size() + 4 <= size; ++i) text += mix[i % 4];
    text.resize(size, 'a');
    return text;
}

TEST(Utf8, LongTextsStopAtTheFirstFaultWhereverItIs) {
    // Texts this long are checked many bytes at a time; every sequence is
    // tried at every position around the block edges.
    const std::string whole[] = {
        "\xc2\x80",     "\xdf\xbf",         "\xe0\xa0\x80",     "\xed\x9f\xbf",     "\xee\x80\x80",
        "\xef\xbf\xbf", "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf", "\xf3\xbf\xbf\xbf",
    };
    // Each fault with the number of its leading bytes that are still whole
    // characters.
    const std::pair<std::string, std::size_t> faults[] = {
        {"\x80", 0},
        {"\xbf\xbf", 0},
        {"\xc0\xaf", 0},
        {"\xc1\xbf", 0},
        {"\xe0\x80\xaf", 0},
        {"\xe0\x9f\xbf", 0},
        {"\xed\xa0\x80", 0},
        {"\xed\xbf\xbf", 0},
        {"\xf0\x80\x80\xaf", 0},
        {"\xf0\x8f\xbf\xbf", 0},
        {"\xf4\x90\x80\x80", 0},
        {"\xf5\x80\x80\x80", 0},
        {"\xf8\x88\x80\x80\x80", 0},
        {"\xfe", 0},
        {"\xff", 0},
        {"\xc3", 0},  // lead bytes without their continuations
        {"\xe2\x82", 0},
        {"\xf0\x9f\x98", 0},
        {"\xe2\x82\xac\x80", 3},  // a continuation too many
        {"\xf0\x9f\x98\x80\x80\x80", 4},
    };
    for (const bool multibyte : {false, true}) {
        for (std::size_t at = 0; at <= 100; ++at) {
            const auto around = [&](const std::string& middle) {
                std::string bytes = filler(at, multibyte);
                bytes += middle;
                bytes += filler(70, multibyte);
                return bytes;
            };
            for (const auto& character : whole) {
                const std::string bytes = around(character);
                EXPECT_EQ(text::valid_utf8_prefix(bytes), bytes.size())
                    << text::escape_bytes(bytes);
            }
            for (const auto& [fault, kept] : faults) {
                const std::string bytes = around(fault);
                EXPECT_EQ(text::valid_utf8_prefix(bytes), at + kept) << text::escape_bytes(bytes);
            }
            const std::string cut = filler(at, multibyte) + "\xf0\x9f\x98";
            EXPECT_EQ(text::valid_utf8_prefix(cut), at) << text::escape_bytes(cut);
        }
    }
}

TEST(Utf8, LongAndShortTextsAgreeAfterEveryLeadByte) {
    // Short texts are checked a byte at a time, long ones many bytes at a
    // time: both must find the same first fault. Every byte is followed by
    // a lone continuation byte, by whole characters, or by exactly the
    // continuation bytes it needs (the first from each range that matters),
    // and the text around is valid, so that nothing else can hide a fault
    // that was missed.
    for (int lead = 0; lead <= 0xFF; ++lead) {
        const std::string first(1, static_cast<char>(lead));
        std::vector<std::string> sequences;
        for (const char* character :
             {"\x80", "a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
            sequences.push_back(first + character);
        }
        const std::size_t needs = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        for (const int second : {0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF}) {
            if (needs == 0) break;
            sequences.push_back(first + static_cast<char>(second) + std::string(needs - 1, '\x80'));
        }
        for (const auto& sequence : sequences) {
            const std::string alone = sequence + "zz";
            const std::size_t kept = text::valid_utf8_prefix(alone);
            for (const bool multibyte : {false, true}) {
                for (const std::size_t at :
                     {0u, 1u, 15u, 29u, 30u, 31u, 32u, 33u, 47u, 61u, 63u, 64u}) {
                    const std::string bytes =
                        filler(at, multibyte) + sequence + filler(70, multibyte);
                    const std::size_t expected = kept == alone.size() ? bytes.size() : at + kept;
                    EXPECT_EQ(text::valid_utf8_prefix(bytes), expected)
                        << text::escape_bytes(bytes);
                }
            }
        }
    }
}

TEST(TrimWhiteSpace, RemovesUnicodeWhiteSpaceAtBothEndsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"   ", ""},
        {" \t\r\n Bob: \r\n", "Bob:"},
        {"\xc2\xa0"
         "Bob:pw"
         "\xc2\xa0",
         "Bob:pw"},  // no-break space
        {"\xe3\x80\x80"
         "a b"
         "\xe2\x80\xa8",
         "a b"},  // ideographic space, line separator
        {"\xe2\x80\x8b"
         "a"
         "\xe2\x80\x8b",
         "\xe2\x80\x8b"
         "a"
         "\xe2\x80\x8b"},  // zero-width space is not white space
        {"\x0b\x0c"
         "x"
         "\xc2\x85",
         "x"},  // vertical tab, form feed, next line
        {"\xc3\xa9", "\xc3\xa9"},
        {"a \t b", "a \t b"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(text::trim_white_space(input), expected) << text::escape_bytes(input);
    }
}

TEST(EscapeBytes, ShowsUnprintableBytesReadably) {
    EXPECT_EQ(text::escape_bytes("a\xff\n\"\\"), R"("a\xff\n\"\\")");
    EXPECT_EQ(text::escape_bytes(std::string("\0\t", 2)), R"("\x00\t")");
}

}  // namespace
