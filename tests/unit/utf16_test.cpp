#include <gtest/gtest.h>

#include <string>

#include "text.hpp"
#include "utf16.hpp"

namespace {

struct conversion_case {
    const char* name;
    std::u16string wide;
    std::string narrow;
    bool valid_utf8;
};

TEST(Utf16, ConvertsBothWaysAndMarksUnpairedSurrogatesAsInvalid) {
    const conversion_case cases[] = {
        {"empty", u"", "", true},
        {"ascii", u"plink -l Bob", "plink -l Bob", true},
        {"two-byte", u"\u00fc", "\xc3\xbc", true},
        {"three-byte", u"\u20ac", "\xe2\x82\xac", true},
        {"surrogate pair", u"\U0001F600", "\xf0\x9f\x98\x80", true},
        {"lone high surrogate", std::u16string{u'a', char16_t(0xD83D), u'b'},
         "a\xed\xa0\xbd"
         "b",
         false},
        {"lone low surrogate", std::u16string{char16_t(0xDE00)}, "\xed\xb8\x80", false},
        {"high surrogate at the end", std::u16string{u'x', char16_t(0xD800)}, "x\xed\xa0\x80",
         false},
        {"pair in the wrong order", std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
         "\xed\xb8\x80\xed\xa0\xbd", false},
    };
    for (const auto& c : cases) {
        const std::string narrow = utf16::to_utf8(c.wide);
        EXPECT_EQ(narrow, c.narrow) << c.name;
        EXPECT_EQ(text::is_valid_utf8(narrow), c.valid_utf8) << c.name;
        EXPECT_EQ(utf16::from_utf8(narrow), c.wide) << c.name;
    }
}

TEST(Utf16, BytesThatStartNoSequenceBecomeReplacementCharacters) {
    EXPECT_EQ(utf16::from_utf8("a\xff"
                               "b"),
              u"a\uFFFDb");
    EXPECT_EQ(utf16::from_utf8("\xc0\xaf"), u"\uFFFD\uFFFD");                      // overlong
    EXPECT_EQ(utf16::from_utf8("\xe2\x82"), u"\uFFFD\uFFFD");                      // cut short
    EXPECT_EQ(utf16::from_utf8("\xf4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
}

}  // namespace
