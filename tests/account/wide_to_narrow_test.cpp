#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "account/account.h"

namespace {

std::string Narrow(const std::u16string& text, int size) {
    std::vector<WCHAR> wide(text.begin(), text.end());
    wide.push_back(0);
    std::vector<char> out(size + 1, 'x');
    WideToNarrow(wide.data(), out.data(), size);
    EXPECT_EQ(out[size], 'x') << "wrote past the field";
    return out.data();
}

TEST(WideToNarrow, CutsAtTheLastWholeCharacter) {
    EXPECT_EQ(Narrow(u"Jane Doe", 16), "Jane Doe");
    EXPECT_EQ(Narrow(u"abcd", 5), "abcd");
    EXPECT_EQ(Narrow(u"abcde", 5), "abcd");
    EXPECT_EQ(Narrow(u"abc", 1), "");
    EXPECT_EQ(Narrow(u"Ren\u00e9e", 5), "Ren\xe9");
    EXPECT_EQ(Narrow(std::u16string(300, u'n'), 260), std::string(259, 'n'));
    char out[8] = "stale";
    WideToNarrow(NULL, out, sizeof out);
    EXPECT_STREQ(out, "");
}

TEST(WideToNarrow, NeverSplitsASurrogatePair) {
    // Code pages render a pair as one or two "?": either way it is taken
    // whole or not at all.
    const std::string whole = Narrow(u"ab\U0001F600", 16);
    ASSERT_GE(whole.size(), 3u);
    for (int size = 3; size <= static_cast<int>(whole.size()); ++size) {
        EXPECT_EQ(Narrow(u"ab\U0001F600", size), "ab") << "size " << size;
    }
    EXPECT_EQ(Narrow(u"ab\U0001F600", static_cast<int>(whole.size()) + 1), whole);
}

}  // namespace
