// Text conversions of the account stage: SIDs and UTF-16 names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "account/account.h"

namespace {

// A SID in the system's binary form: revision, count, six authority bytes,
// then the sub-authorities. DWORD storage keeps them aligned.
std::vector<DWORD> MakeSid(BYTE authority4, BYTE authority5, std::vector<DWORD> subs) {
    std::vector<DWORD> storage = {0, 0};
    const BYTE head[8] = {1, static_cast<BYTE>(subs.size()), 0, 0, 0, 0, authority4, authority5};
    memcpy(storage.data(), head, sizeof head);
    storage.insert(storage.end(), subs.begin(), subs.end());
    return storage;
}

TEST(SidToText, RendersEveryCase) {
    std::string longest = "S-1-255";
    for (int i = 0; i < 15; ++i) {
        longest += "-4294967295";
    }
    const struct {
        std::vector<DWORD> sid;
        std::string text;
    } cases[] = {
        {MakeSid(0, 5, {32, 544}), "S-1-5-32-544"},
        {MakeSid(0, 5, {21, 111, 222, 333, 1107}), "S-1-5-21-111-222-333-1107"},
        {MakeSid(0, 5, {}), "S-1-5"},
        {MakeSid(1, 0, {7}), "S-1-0-7"},  // authority 256: its low byte only
        {MakeSid(0, 5, {2147483648u, 4294967295u}), "S-1-5-2147483648-4294967295"},
        {MakeSid(0, 255, std::vector<DWORD>(15, 4294967295u)), longest},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SidToText(const_cast<DWORD*>(c.sid.data())), c.text);
    }
    // One shared buffer: the next call overwrites the text.
    const char* first = SidToText(const_cast<DWORD*>(cases[0].sid.data()));
    EXPECT_EQ(SidToText(const_cast<DWORD*>(cases[2].sid.data())), first);
    EXPECT_STREQ(first, "S-1-5");
}

std::string Narrow(const std::u16string& text, int size) {
    std::vector<WCHAR> wide(text.begin(), text.end());
    wide.push_back(0);
    std::vector<char> out(size + 1, 'x');
    WideToNarrow(wide.data(), out.data(), size);
    EXPECT_EQ(out[size], 'x') << "wrote past the field";
    return out.data();
}

TEST(WideToNarrow, CutsAtTheLastWholeCharacter) {
    EXPECT_EQ(Narrow(u"abcd", 5), "abcd");
    EXPECT_EQ(Narrow(u"abcde", 5), "abcd");
    EXPECT_EQ(Narrow(u"abc", 1), "");
    EXPECT_EQ(Narrow(u"Ren\u00e9e", 5), "Ren\xe9");
    char out[8] = "stale";
    WideToNarrow(NULL, out, sizeof out);
    EXPECT_STREQ(out, "");
    // Code pages render a surrogate pair as one or two "?": either way it
    // is taken whole or not at all.
    const std::string whole = Narrow(u"ab\U0001F600", 16);
    ASSERT_GE(whole.size(), 3u);
    for (int size = 3; size <= static_cast<int>(whole.size()); ++size) {
        EXPECT_EQ(Narrow(u"ab\U0001F600", size), "ab") << "size " << size;
    }
    EXPECT_EQ(Narrow(u"ab\U0001F600", static_cast<int>(whole.size()) + 1), whole);
}

}  // namespace
