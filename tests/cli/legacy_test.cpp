// The legacy user id: worked examples and the properties the listing needs.
#include <gtest/gtest.h>

#include <string>

#include "cli/legacy.h"

TEST(LegacyUid, WorkedExamplesAndFolding) {
    EXPECT_EQ(LegacyUid("abc"), 780u);
    EXPECT_EQ(LegacyUid("ABC"), 780u);
    EXPECT_EQ(LegacyUid("guest"), 633u);
    EXPECT_EQ(LegacyUid("\xe9"), 922u);
    EXPECT_EQ(LegacyUid("\xe9\xe9"), 947u);
    EXPECT_EQ(LegacyUid(""), 501u);
    // Only a to z fold: accented capitals and the bytes beside the letters differ.
    EXPECT_NE(LegacyUid("\xc9"), LegacyUid("\xe9"));
    EXPECT_NE(LegacyUid("[a"), LegacyUid("{a"));
}

TEST(LegacyUid, ShiftsRepeatAfter25AndIdsStayIn501To999) {
    // Positions 0 and 25 share shift 0, positions 0 and 1 do not.
    const std::string middle(24, 'x');
    EXPECT_EQ(LegacyUid(("B" + middle + "Q").c_str()), LegacyUid(("Q" + middle + "B").c_str()));
    EXPECT_NE(LegacyUid(("B" + middle + "Q").c_str()), LegacyUid(("xB" + middle).c_str()));
    std::string name;
    for (int i = 0; i < 600; ++i) {
        name += static_cast<char>(1 + (i * 37) % 255);
        DWORD uid = LegacyUid(name.c_str());
        ASSERT_TRUE(uid >= 501 && uid <= 999) << uid;
    }
}
