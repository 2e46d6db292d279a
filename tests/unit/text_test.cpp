#include <gtest/gtest.h>

#include <string>

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
        {"long ascii run then multibyte", std::string(37, 'x') + "\xc3\xa9" + std::string(9, 'y'), true},
        {"lone continuation", "\x80", false},
        {"overlong two-byte", "\xc0\xaf", false},
        {"overlong three-byte", "\xe0\x80\xaf", false},
        {"overlong four-byte", "\xf0\x80\x80\xaf", false},
        {"surrogate", "\xed\xa0\x80", false},
        {"above U+10FFFF", "\xf4\x90\x80\x80", false},
        {"invalid lead byte", "\xff", false},
        {"truncated at end", "abc\xe2\x82", false},
        {"bad byte after ascii run", std::string(16, 'a') + "\xfe", false},
        {"continuation missing", "\xc3" "a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::is_valid_utf8(c.bytes), c.valid) << c.name;
    }
}

TEST(TrimWhiteSpace, RemovesUnicodeWhiteSpaceAtBothEndsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"   ", ""},
        {" \t\r\n Bob: \r\n", "Bob:"},
        {"\xc2\xa0" "Bob:pw" "\xc2\xa0", "Bob:pw"},              // no-break space
        {"\xe3\x80\x80" "a b" "\xe2\x80\xa8", "a b"},            // ideographic space, line separator
        {"\xe2\x80\x8b" "a" "\xe2\x80\x8b", "\xe2\x80\x8b" "a" "\xe2\x80\x8b"},  // zero-width space is not white space
        {"\x0b\x0c" "x" "\xc2\x85", "x"},                        // vertical tab, form feed, next line
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
