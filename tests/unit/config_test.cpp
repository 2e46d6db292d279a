#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "config.hpp"

namespace {

using config::credentials;

void expect_creds(const std::optional<credentials>& got, const char* user, const char* pass,
                  const std::string& label) {
    ASSERT_TRUE(got.has_value()) << label;
    EXPECT_EQ(got->username, user) << label;
    EXPECT_EQ(got->password, pass) << label;
}

TEST(ParseToken, SplitsAtTheOneColonAfterTrimming) {
    const struct {
        std::string line;
        const char* user;
        const char* pass;
    } cases[] = {
        {"Bob:\n", "Bob", ""},
        {"Bob:secret\n", "Bob", "secret"},
        {"  Bob:secret  \r\n", "Bob", "secret"},
        {"\xc2\xa0"
         "Bob:pw"
         "\xc2\xa0",
         "Bob", "pw"},
        {"Bob :pw\n", "Bob ", "pw"},  // pieces are not trimmed
        {"Bob: pw", "Bob", " pw"},
        {":pw", "", "pw"},
        {":", "", ""},
        {"B-ob:x", "B-ob", "x"},
    };
    for (const auto& c : cases) expect_creds(config::parse_token(c.line), c.user, c.pass, c.line);
}

TEST(ParseToken, RejectsWrongShapesAndOptionLikeUsernames) {
    for (const std::string line :
         {"", "\n", "   \n", "Bob", "Bob\n", "a:b:c", "::", "-oProxyCommand=x:pw", " -v:pw"}) {
        EXPECT_FALSE(config::parse_token(line).has_value()) << line;
    }
}

TEST(ParseCreds, ReadsTheFirstTwoGoodLinesTrimmed) {
    const struct {
        std::string bytes;
        std::string user;
        std::string pass;
    } cases[] = {
        {"Bob\n\n", "Bob", ""},
        {"Bob\nsecret\n", "Bob", "secret"},
        {"Bob\nsecret", "Bob", "secret"},  // last line without a line feed
        {"Bob\r\nsecret\r\n", "Bob", "secret"},
        {" Bob \n pw \nthird line\n", "Bob", "pw"},
        {"   \npw\n", "", "pw"},  // white-space-only first line is a line
        {std::string("B\0b\npw\n", 7), std::string("B\0b", 3), "pw"},
    };
    for (const auto& c : cases) {
        const auto got = config::parse_creds(c.bytes);
        ASSERT_TRUE(got.has_value()) << c.bytes;
        EXPECT_EQ(got->username, c.user);
        EXPECT_EQ(got->password, c.pass);
    }
}

TEST(ParseCreds, RejectsFilesWithoutTwoGoodLines) {
    for (const std::string bytes :
         {"", "Bob", "Bob\n", "\xff\nBob\npw\n", "Bob\n\xff\npw\n", "-v\npw\n"}) {
        EXPECT_FALSE(config::parse_creds(bytes).has_value()) << bytes;
    }
}

TEST(ParseCreds, AReadErrorCutsOffTheUnfinishedLine) {
    EXPECT_TRUE(config::parse_creds("Bob\npw\n", true).has_value());
    EXPECT_FALSE(config::parse_creds("Bob\npw", true).has_value());
    EXPECT_FALSE(config::parse_creds("", true).has_value());
}

TEST(Serialize, WritesTwoLinesEachEndingInALineFeed) {
    EXPECT_EQ(config::serialize({"Bob", ""}), "Bob\n\n");
    EXPECT_EQ(config::serialize({"Bob", "pw"}), "Bob\npw\n");
    const auto round_trip = config::parse_creds(config::serialize({"a b", "c d"}));
    ASSERT_TRUE(round_trip.has_value());
    EXPECT_EQ(round_trip->username, "a b");
    EXPECT_EQ(round_trip->password, "c d");
}

}  // namespace
