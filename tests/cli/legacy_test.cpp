// The legacy user id: its worked examples and the properties callers rely on.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cli/legacy.h"

namespace {

TEST(LegacyUid, WorkedExamples) {
    const std::pair<const char*, DWORD> cases[] = {
        {"abc", 780},  {"ABC", 780},      {"Abc", 780}, {"guest", 633},
        {"\xe9", 922}, {"\xe9\xe9", 947}, {"", 501},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LegacyUid(c.first), c.second) << c.first;
    }
}

TEST(LegacyUid, FoldsOnlyAsciiLetters) {
    // An upper- and a lower-case accented letter enter the sum as different
    // negative values.
    EXPECT_NE(LegacyUid("\xc9"), LegacyUid("\xe9"));
    EXPECT_EQ(LegacyUid("jdoe"), LegacyUid("JDOE"));
    EXPECT_NE(LegacyUid("[a"), LegacyUid("{a"));
}

TEST(LegacyUid, ShiftsRepeatEveryTwentyFivePositions) {
    // Positions 0 and 25 share shift 0, positions 0 and 1 do not.
    std::string name = "B" + std::string(24, 'x') + "Q";
    std::string swappedFar = "Q" + std::string(24, 'x') + "B";
    std::string swappedNear = "xB" + std::string(23, 'x') + "Q";
    EXPECT_EQ(LegacyUid(name.c_str()), LegacyUid(swappedFar.c_str()));
    EXPECT_NE(LegacyUid(name.c_str()), LegacyUid(swappedNear.c_str()));
}

TEST(LegacyUid, StaysBetween501And999) {
    std::string name;
    for (int i = 0; i < 600; ++i) {
        name += static_cast<char>(1 + (i * 37) % 255);
        DWORD uid = LegacyUid(name.c_str());
        EXPECT_GE(uid, 501u);
        EXPECT_LE(uid, 999u);
    }
}

}  // namespace
