#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "account/account.h"

namespace {

// A SID in the system's binary form: revision, count, six authority bytes,
// then the sub-authorities. DWORD storage keeps them aligned.
std::vector<DWORD> MakeSid(BYTE authority4, BYTE authority5, std::vector<DWORD> subs) {
    std::vector<DWORD> storage(2 + subs.size());
    BYTE* bytes = reinterpret_cast<BYTE*>(storage.data());
    const BYTE head[8] = {1, static_cast<BYTE>(subs.size()), 0, 0, 0, 0, authority4, authority5};
    memcpy(bytes, head, sizeof head);
    for (size_t i = 0; i < subs.size(); ++i) {
        storage[2 + i] = subs[i];
    }
    return storage;
}

TEST(SidToText, RendersEveryCase) {
    const std::string max = "-4294967295";
    const struct {
        std::vector<DWORD> sid;
        std::string text;
    } cases[] = {
        {MakeSid(0, 5, {32, 544}), "S-1-5-32-544"},
        {MakeSid(0, 5, {21, 111, 222, 333, 1107}), "S-1-5-21-111-222-333-1107"},
        {MakeSid(0, 5, {}), "S-1-5"},
        {MakeSid(1, 0, {7}), "S-1-0-7"},  // authority 256: its low byte only
        {MakeSid(0, 5, {2147483648u, 4294967295u}), "S-1-5-2147483648-4294967295"},
        {MakeSid(0, 255, std::vector<DWORD>(15, 4294967295u)),
         "S-1-255" + max + max + max + max + max + max + max + max + max + max + max + max + max +
             max + max},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SidToText(const_cast<DWORD*>(c.sid.data())), c.text);
    }
    // One shared buffer: the next call overwrites the text.
    const char* first = SidToText(const_cast<DWORD*>(cases[0].sid.data()));
    EXPECT_EQ(SidToText(const_cast<DWORD*>(cases[2].sid.data())), first);
    EXPECT_STREQ(first, "S-1-5");
}

}  // namespace
