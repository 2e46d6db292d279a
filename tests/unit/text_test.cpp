#include <gtest/gtest.h>
#include "text.hpp"
TEST(Text, Placeholder) { EXPECT_TRUE(text::is_valid_utf8("a")); }
