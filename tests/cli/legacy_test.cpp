// The legacy user id: the worked examples, what folds and what does not, and
// the shift cycle.
#include <gtest/gtest.h>

#include <string>

#include "cli/legacy.h"

TEST(LegacyUid, FoldsOnlyAToZ) {
    EXPECT_EQ(LegacyUid("abc"), 780u);
    EXPECT_EQ(LegacyUid("guest"), 633u);
    EXPECT_EQ(LegacyUid("\xe9"), 922u);
    EXPECT_EQ(LegacyUid("\xe9\xe9"), 947u);
    EXPECT_EQ(LegacyUid("az"), LegacyUid("AZ"));
    // The bytes beside the letters, and accented capitals, stay themselves.
    EXPECT_NE(LegacyUid("`{"), LegacyUid("@["));
    EXPECT_NE(LegacyUid("\xc9"), LegacyUid("\xe9"));
    // Positions 0 and 25 share shift 0; positions 0 and 1 do not.
    const std::string middle(24, 'x');
    EXPECT_EQ(LegacyUid(("B" + middle + "Q").c_str()), LegacyUid(("Q" + middle + "B").c_str()));
    EXPECT_NE(LegacyUid("BQ"), LegacyUid("QB"));
}
