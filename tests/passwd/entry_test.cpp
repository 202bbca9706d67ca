// The NT-mode entry, byte for byte, written to a plain stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "passwd/passwd.h"

namespace {

// A SID in the system's own form: revision, count, authority, sub-authorities.
void PutSid(BYTE* sid, BYTE authority, const std::vector<uint32_t>& subs) {
    memset(sid, 0, 8);
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(subs.size());
    sid[7] = authority;
    for (size_t i = 0; i < subs.size(); ++i) {
        memcpy(sid + 8 + 4 * i, &subs[i], 4);
    }
}

std::string EntryText(const char* login, const AccountInfo& account, const char* posixPath) {
    HomeLocation home = {};
    strcpy(home.posixPath, posixPath);
    FILE* stream = tmpfile();
    EXPECT_NE(stream, nullptr);
    WritePasswdEntry(stream, login, &account, &home);
    std::string text(static_cast<size_t>(ftell(stream)), '\0');
    rewind(stream);
    EXPECT_EQ(fread(&text[0], 1, text.size(), stream), text.size());
    fclose(stream);
    return text;
}

struct EntryCase {
    const char* name;
    const char* login;
    DWORD userId;
    DWORD groupId;
    const char* fullName;
    const char* domain;
    const char* userName;
    bool sidFound;
    const char* posixPath;
    const char* expected;
};

// Names the case in failure reports instead of dumping its bytes.
void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entry, IsLaidOutExactly) {
    const EntryCase& c = GetParam();
    AccountInfo account = {};
    account.userId = c.userId;
    account.groupId = c.groupId;
    strcpy(account.fullName, c.fullName);
    strcpy(account.referencedDomain, c.domain);
    strcpy(account.userName, c.userName);
    account.sidFound = c.sidFound;
    PutSid(account.sid, 5, {21, 111, 222, 333, 1107});
    EXPECT_EQ(EntryText(c.login, account, c.posixPath), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Entry,
    ::testing::Values(
        EntryCase{"DomainAccount", "SALES\\jdoe", 1107, 10513, "Jane Doe", "SALES", "jdoe", true,
                  "/home/jdoe",
                  "\nSALES\\jdoe:unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,"
                  "S-1-5-21-111-222-333-1107:/home/jdoe:/bin/switch"},
        // Without an identifier the domain is left out even when the field holds one.
        EntryCase{"LocalWithoutSid", "jane", 1003, 513, "", "WS01", "jdoe", false,
                  "/cygdrive/D/Users/jane",
                  "\njane:unused_by_nt/2000/xp:1003:513:U-jdoe:/cygdrive/D/Users/jane:/bin/switch"},
        EntryCase{"SidWithoutDomain", "jdoe", 1107, 513, "", "", "jdoe", true, "/home/jdoe",
                  "\njdoe:unused_by_nt/2000/xp:1107:513:U-jdoe,S-1-5-21-111-222-333-1107:"
                  "/home/jdoe:/bin/switch"},
        EntryCase{"LargestIds", "x", 4294967295u, 2147483648u, "", "", "x", false, "/h",
                  "\nx:unused_by_nt/2000/xp:4294967295:2147483648:U-x:/h:/bin/switch"},
        EntryCase{"CommentBytesThatBreakLinesAreBlanked", "jdoe", 7, 8, "Doe: Jane\r\n", "SA:LES",
                  "jd\toe\x1f", true, "/home/jdoe",
                  "\njdoe:unused_by_nt/2000/xp:7:8:Doe  Jane  ,U-SA LES\\jd oe ,"
                  "S-1-5-21-111-222-333-1107:/home/jdoe:/bin/switch"}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

}  // namespace
