// The simulated machine's Windows services where their behaviour is easy to
// get wrong: profile errors, letter case in names, the 1252 code page, SIDs in
// binary form, the registry's buffer rules and the message table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

namespace {

const char kMachine[] = R"(
logged_on_user = 'Jürgen'
[environment]
SystemDrive = 'C:'
[domains]
SALES = { controller = '\\DC1' }
LOST = { error = 1355 }
[[accounts]]
server = '\\DC1'
name = 'JDoe'
user_id = 1107
full_name = 'Jane Doe'
[[accounts]]
server = ''
name = 'mallory'
error = 5
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-4294967295-1107', domain = 'SALES' }
'big' = { sid = 'S-1-0x123456789ABC-7', domain = '' }
'ghost' = { error = 1722 }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'C:\cygwin\home'
[registry_denied]
'SOFTWARE\Locked' = 5
[messages]
1355 = "Own text.\r\n"
)";

class SimServices : public ::testing::Test {
  protected:
    void SetUp() override {
        char error[512];
        ASSERT_TRUE(SimLoadProfileText(kMachine, dir_.path().c_str(), error, sizeof error))
            << error;
    }
    void TearDown() override {
        SimForgetMachine();
    }
    TempDir dir_;
};

std::string ProfileError(const std::string& toml) {
    char error[512] = "";
    EXPECT_FALSE(SimLoadProfileText(toml.c_str(), nullptr, error, sizeof error));
    return error;
}

TEST(SimProfile, ProblemsNameTheLine) {
    struct Case {
        std::string toml;
        std::string error;
    } cases[] = {
        {"family = \"nt\"\nfamly = \"95\"\n", "(profile text):2: unknown key 'famly'"},
        {"family = \"98\"\n", "(profile text):1: family must be \"nt\" or \"95\""},
        {"\n\n[faults]\nwrite_limt = 1\n",
         "(profile text):4: unknown key 'write_limt' in [faults]"},
        {"[[accounts]]\nname = 'a'\nuser_id = '7'\n",
         "(profile text):3: user_id must be an integer"},
        {"[[accounts]]\nname = 'a'\nfullname = 'A'\n",
         "(profile text):3: unknown key 'fullname' in an account"},
        {"[lookup]\nx = { sid = 'S-1-5-x' }\n",
         "(profile text):2: 'S-1-5-x' is not a security identifier"},
        {"[environment]\nPath = 'a'\nPATH = 'b'\n",
         "(profile text):3: name 'PATH' repeats 'Path' (names ignore letter case)"},
        {"[environment]\nPATH = 'a'\nPath = 'b'\n",
         "(profile text):3: name 'Path' repeats 'PATH' (names ignore letter case)"},
        {"[drives]\nCD = 'x'\n", "(profile text):2: drive 'CD' is not one letter"},
        {"[registry.SOFTWARE.Key]\nv = 'x'\n", "must be a string"},
        {"[domains]\nX = {}\n", "(profile text):2: domain X needs either a controller"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(ProfileError(c.toml).find(c.error), std::string::npos)
            << c.toml << " gave " << ProfileError(c.toml);
    }
    // A TOML syntax error also names its line.
    EXPECT_EQ(ProfileError("a = 1\nb = \"open\n").rfind("(profile text):2: ", 0), 0u);
    SimForgetMachine();
}

TEST(SimProfile, BadProfileEndsTheRunWithFileAndLine) {
    TempDir dir;
    RunResult result = RunAcctmap(dir, "family = \"nt\"\n[drives]\nC = 3\n", {"-u", "x"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, dir.path() + "/machine.toml:3: drive C must be a string\r\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(SimServices, NamesIgnoreLetterCase) {
    LPBYTE buffer = nullptr;
    EXPECT_EQ(NetGetDCName(nullptr, u"sales", &buffer), 0u);
    EXPECT_EQ(std::u16string((WCHAR*)buffer), u"\\\\DC1");  // the profile's spelling
    NetApiBufferFree(buffer);
    EXPECT_EQ(NetUserGetInfo(u"\\\\dc1", u"jdoe", 3, &buffer), 0u);
    EXPECT_EQ(std::u16string(((USER_INFO_3*)buffer)->usri3_name), u"JDoe");
    NetApiBufferFree(buffer);
    EXPECT_EQ(NetUserGetInfo(u"DC1", u"JDOE", 3, &buffer), 0u);
    NetApiBufferFree(buffer);

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\CYGNUS SOLUTIONS\\Cygwin\\mounts v2\\/HOME", 0,
                      KEY_READ, &key),
        0);
    char value[64];
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "NATIVE", nullptr, nullptr, (LPBYTE)value, &size), 0);
    EXPECT_STREQ(value, "C:\\cygwin\\home");
    EXPECT_EQ(RegCloseKey(key), 0);

    char expanded[64];
    EXPECT_EQ(ExpandEnvironmentStringsA("%systemdrive%\\x", expanded, sizeof expanded), 5u);
    EXPECT_STREQ(expanded, "C:\\x");
    EXPECT_EQ(SimOutstandingBuffers(), 0);
}

TEST_F(SimServices, AccountResults) {
    struct Case {
        const char16_t* server;
        const char16_t* user;
        NET_API_STATUS status;
    } cases[] = {
        {nullptr, u"mallory", 5},       // the account's own error
        {nullptr, u"JDoe", 2221},       // known server, unknown user
        {u"\\\\nowhere", u"JDoe", 53},  // unknown server
    };
    for (const Case& c : cases) {
        LPBYTE buffer = nullptr;
        EXPECT_EQ(NetUserGetInfo(c.server, c.user, 3, &buffer), c.status);
        EXPECT_EQ(buffer, nullptr);
    }
    struct DomainCase {
        const char16_t* domain;
        NET_API_STATUS status;
    } domains[] = {{u"LOST", 1355}, {u"ELSEWHERE", 2453}, {u"SA*LES", 123}, {u"a\\b", 123}};
    for (const DomainCase& c : domains) {
        LPBYTE buffer = nullptr;
        EXPECT_EQ(NetGetDCName(nullptr, c.domain, &buffer), c.status);
    }
    EXPECT_EQ(SimOutstandingBuffers(), 0);
}

TEST_F(SimServices, BuffersAreCountedUntilGivenBack) {
    LPBYTE record = nullptr;
    ASSERT_EQ(NetUserGetInfo(u"\\\\DC1", u"jdoe", 3, &record), 0u);
    USER_INFO_3* info = (USER_INFO_3*)record;
    EXPECT_EQ(info->usri3_user_id, 1107u);
    EXPECT_EQ(info->usri3_primary_group_id, 513u);  // the default group
    EXPECT_EQ(std::u16string(info->usri3_full_name), u"Jane Doe");
    EXPECT_EQ(SimOutstandingBuffers(), 1);
    EXPECT_EQ(NetApiBufferFree(record), 0u);
    EXPECT_EQ(SimOutstandingBuffers(), 0);
    int bad = SimBadReleases();
    NetApiBufferFree(record);
    EXPECT_EQ(SimBadReleases(), bad + 1);
}

TEST_F(SimServices, AnsiCodePageRoundTrips) {
    // Every byte survives the trip, the five undefined ones included.
    char all[256];
    for (int i = 0; i < 255; ++i) {
        all[i] = (char)(i + 1);
    }
    all[255] = '\0';
    WCHAR wide[256];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, all, -1, wide, 256), 256);
    EXPECT_EQ(wide[0x80 - 1], 0x20AC);
    EXPECT_EQ(wide[0x81 - 1], 0x0081);
    EXPECT_EQ(wide[0x9D - 1], 0x009D);
    EXPECT_EQ(wide[0x9F - 1], 0x0178);
    EXPECT_EQ(wide[0xE9 - 1], 0x00E9);
    char back[256];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 256, nullptr, nullptr), 256);
    EXPECT_EQ(memcmp(all, back, 256), 0);

    // What 1252 lacks becomes '?', a surrogate pair one '?'.
    const WCHAR foreign[] = {u'a', 0x0100, 0xD83D, 0xDE00, u'\u20AC', 0};
    BOOL usedDefault = FALSE;
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, foreign, -1, narrow, 8, nullptr, &usedDefault), 5);
    EXPECT_STREQ(narrow, "a??\x80");
    EXPECT_TRUE(usedDefault);

    // Size 0 asks for the size; too small a buffer fails with 122.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 3), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
    narrow[3] = 'z';
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcd", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(narrow[3], 'z');

    // The profile's UTF-8 reaches the A services as 1252.
    char user[8];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    EXPECT_STREQ(user, "J\xFCrgen");
    EXPECT_EQ(size, 7u);
    size = 6;
    EXPECT_FALSE(GetUserNameA(user, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, 7u);
}

TEST_F(SimServices, LookupGivesTheBinarySid) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    char domain[16];
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeInvalid;
    EXPECT_FALSE(
        LookupAccountNameA(nullptr, "sales\\JDOE", nullptr, &sidSize, nullptr, &domainSize, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(sidSize, 28u);
    EXPECT_EQ(domainSize, 6u);
    ASSERT_TRUE(
        LookupAccountNameA(nullptr, "sales\\JDOE", sid, &sidSize, domain, &domainSize, &use));
    EXPECT_EQ(sidSize, 28u);
    EXPECT_EQ(domainSize, 5u);
    EXPECT_STREQ(domain, "SALES");
    EXPECT_EQ(use, SidTypeUser);
    const BYTE expected[28] = {1, 5, 0,   0, 0, 0, 0,    5,    21,   0,    0,    0, 111, 0,
                               0, 0, 222, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x53, 4, 0,   0};
    EXPECT_EQ(memcmp(sid, expected, 28), 0);
    EXPECT_EQ(*GetSidSubAuthorityCount(sid), 5);
    EXPECT_EQ(*GetSidSubAuthority(sid, 3), 4294967295u);
    EXPECT_EQ(*GetSidSubAuthority(sid, 4), 1107u);

    sidSize = sizeof sid;
    domainSize = sizeof domain;
    ASSERT_TRUE(LookupAccountNameA(nullptr, "big", sid, &sidSize, domain, &domainSize, &use));
    const BYTE authority[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};  // big-endian
    EXPECT_EQ(memcmp(GetSidIdentifierAuthority(sid)->Value, authority, 6), 0);

    struct Case {
        const char* name;
        DWORD error;
    } failures[] = {{"ghost", 1722}, {"nobody", 1332}};
    for (const Case& c : failures) {
        sidSize = sizeof sid;
        domainSize = sizeof domain;
        EXPECT_FALSE(LookupAccountNameA(nullptr, c.name, sid, &sidSize, domain, &domainSize, &use));
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
}

TEST_F(SimServices, RegistryResults) {
    HKEY key = nullptr;
    const char* mount = "SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\locked", 0, KEY_READ, &key), 5);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Absent", 0, KEY_READ, &key), 2);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, mount, 0, 0x20006 /* KEY_WRITE */, &key), 5);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, mount, 0, KEY_READ, &key), 0);
    EXPECT_EQ(SimOutstandingBuffers(), 1);

    struct Case {
        const char* value;
        DWORD size;
        LONG result;
        DWORD sizeAfter;
    } cases[] = {
        {"native", 15, 0, 15},    // "C:\cygwin\home" and its terminator: just fits
        {"native", 14, 234, 15},  // one byte short
        {"other", 63, 2, 63},
    };
    for (const Case& c : cases) {
        char data[64];
        memset(data, '#', sizeof data);
        DWORD size = c.size;
        EXPECT_EQ(RegQueryValueExA(key, c.value, nullptr, nullptr, (LPBYTE)data, &size), c.result);
        EXPECT_EQ(size, c.sizeAfter);
        EXPECT_EQ(data[c.size], '#') << "written past the buffer";
    }
    EXPECT_EQ(RegCloseKey(key), 0);
    EXPECT_EQ(SimOutstandingBuffers(), 0);
}

TEST_F(SimServices, EnvironmentExpansion) {
    struct Case {
        const char* source;
        const char* expanded;
    } cases[] = {
        {"%SystemDrive%\\Users", "C:\\Users"},
        {"%Unknown%\\x", "%Unknown%\\x"},
        // An unknown name's closing '%' opens the next reference.
        {"%Unknown%SystemDrive%", "%UnknownC:"},
        {"100%", "100%"},
    };
    for (const Case& c : cases) {
        char out[64];
        EXPECT_EQ(ExpandEnvironmentStringsA(c.source, out, sizeof out), strlen(c.expanded) + 1);
        EXPECT_STREQ(out, c.expanded);
    }
    char small[6];
    memset(small, '#', sizeof small);
    EXPECT_EQ(ExpandEnvironmentStringsA("%SystemDrive%\\Users", small, 4), 9u);
    EXPECT_EQ(small[4], '#');
}

TEST_F(SimServices, MessageTexts) {
    char text[128];
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, 2, 0x400, text, sizeof text, nullptr), 44u);
    EXPECT_STREQ(text, "The system cannot find the file specified.\r\n");
    EXPECT_GT(FormatMessageA(0x1200, nullptr, 1355, 0x400, text, sizeof text, nullptr), 0u);
    EXPECT_STREQ(text, "Own text.\r\n");
    // Network codes have no system text.
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, 2221, 0x400, text, sizeof text, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 317u);
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, 5, 0x400, text, 19, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(FormatMessageA(0x1200, nullptr, 5, 0x400, text, 20, nullptr), 19u);

    LPSTR allocated = nullptr;
    EXPECT_EQ(FormatMessageA(0x1100, nullptr, 1332, 0x400, (LPSTR)&allocated, 0, nullptr), 61u);
    EXPECT_STREQ(allocated, "No mapping between account names and security IDs was done.\r\n");
    EXPECT_EQ(SimOutstandingLocalBuffers(), 1);
    EXPECT_EQ(LocalFree(allocated), nullptr);
    EXPECT_EQ(SimOutstandingLocalBuffers(), 0);
}

TEST_F(SimServices, VersionFollowsTheFamily) {
    EXPECT_EQ(GetVersion(), 0x23F00206u);
    char error[256];
    ASSERT_TRUE(SimLoadProfileText("family = \"95\"\n", nullptr, error, sizeof error)) << error;
    EXPECT_EQ(GetVersion(), 0xC0000A04u);
    char user[8];
    DWORD size = sizeof user;
    EXPECT_FALSE(GetUserNameA(user, &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NONE_MAPPED);
}

}  // namespace
