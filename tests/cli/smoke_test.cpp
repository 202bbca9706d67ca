#include <gtest/gtest.h>
#include "platform/bounded_text.h"
TEST(BoundedText, Smoke) { char b[4]; EXPECT_FALSE(CopyText(b, sizeof b, "abcd")); EXPECT_STREQ(b, "abc"); }
