// The legacy user id beyond the listing's worked examples: what folds, the
// shift cycle and the range.
#include <gtest/gtest.h>

#include <string>

#include "cli/legacy.h"

TEST(LegacyUid, FoldingShiftsAndRange) {
    EXPECT_EQ(LegacyUid("ABC"), 780u);
    EXPECT_EQ(LegacyUid("\xe9\xe9"), 947u);
    EXPECT_EQ(LegacyUid(""), 501u);
    // Only a to z fold: accented capitals and the bytes beside the letters differ.
    EXPECT_NE(LegacyUid("\xc9"), LegacyUid("\xe9"));
    EXPECT_NE(LegacyUid("[a"), LegacyUid("{a"));
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
