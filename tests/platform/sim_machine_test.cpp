// The simulated machine where its behaviour is easy to get wrong and the
// program's tests would not notice: profile errors, letter case in names,
// the 1252 code page, SIDs in binary form, the registry's buffer rules, drive
// mapping, text-mode reads and the read-only rule.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

namespace {

const char kMachine[] = R"(
drives = { C = 'c-drive' }
environment = { SystemDrive = 'C:' }
domains = { SALES = { controller = '\\DC1' } }
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-4294967295-1107', domain = 'SALES' }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'C:\cygwin\home'
)";

class Sim : public SimMachineTest {
  protected:
    void SetUp() override {
        dir_.Write("c-drive/.keep", "");
        Load(kMachine);
    }
};

TEST(SimProfile, ProblemsNameTheLine) {
    struct Case {
        std::string toml;
        std::string error;
    } cases[] = {
        {"family = \"nt\"\nfamly = \"95\"\n", ":2: unknown key 'famly'"},
        {"family = \"98\"\n", ":1: family must be \"nt\" or \"95\""},
        {"\n\n[faults]\nwrite_limt = 1\n", ":4: unknown key 'write_limt' in [faults]"},
        {"[[accounts]]\nname = 'a'\nuser_id = '7'\n", ":3: user_id must be an integer"},
        {"[[accounts]]\nname = 'a'\nfullname = 'A'\n", ":3: unknown key 'fullname' in an account"},
        {"[lookup]\nx = { sid = 'S-1-5-x' }\n", ":2: 'S-1-5-x' is not a security identifier"},
        {"[environment]\nPath = 'a'\nPATH = 'b'\n",
         ":3: name 'PATH' repeats 'Path' (names ignore letter case)"},
        {"[environment]\nPATH = 'a'\nPath = 'b'\n",
         ":3: name 'Path' repeats 'PATH' (names ignore letter case)"},
        {"[drives]\nCD = 'x'\n", ":2: drive 'CD' is not one letter"},
        {"[registry.SOFTWARE.Key]\nv = 'x'\n", "must be a string"},
        {"[domains]\nX = {}\n", ":2: domain X needs either a controller"},
        {"a = 1\nb = \"open\n", ":2: "},  // a TOML syntax error
    };
    for (const Case& c : cases) {
        char error[512] = "";
        EXPECT_FALSE(SimLoadProfileText(c.toml.c_str(), nullptr, error, sizeof error));
        EXPECT_NE(std::string(error).find(c.error), std::string::npos) << error;
        EXPECT_EQ(std::string(error).rfind("(profile text):", 0), 0u) << error;
    }
    SimForgetMachine();

    TempDir dir;
    RunResult result = RunAcctmap(dir, "family = \"nt\"\n[drives]\nC = 3\n", {"-u", "x"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, dir.path() + "/machine.toml:3: drive C must be a string\r\n");
    EXPECT_EQ(result.out, "");
}

TEST_F(Sim, NamesIgnoreLetterCase) {
    LPBYTE buffer = nullptr;
    EXPECT_EQ(NetGetDCName(nullptr, u"sales", &buffer), 0u);
    EXPECT_EQ(std::u16string((WCHAR*)buffer), u"\\\\DC1");  // the profile's spelling
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
    RegCloseKey(key);
    EXPECT_TRUE(RtPathExists("c:\\CYGWIN\\..\\.keep"));
}

TEST_F(Sim, AnsiCodePageRoundTrips) {
    // Every byte survives the trip, the five undefined ones included.
    char all[256];
    for (int i = 0; i < 256; ++i) {
        all[i] = (char)(i + 1);
    }
    WCHAR wide[256];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, all, -1, wide, 256), 256);
    const int bytes[] = {0x80, 0x81, 0x9D, 0x9F, 0xE9};
    const WCHAR units[] = {0x20AC, 0x0081, 0x009D, 0x0178, 0x00E9};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(wide[bytes[i] - 1], units[i]) << bytes[i];
    }
    char back[256];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 256, nullptr, nullptr), 256);
    EXPECT_EQ(memcmp(all, back, 256), 0);

    // What 1252 lacks becomes '?', a surrogate pair one '?'.
    const WCHAR foreign[] = {u'a', 0x0100, 0xD83D, 0xDE00, u'\u20AC', 0};
    BOOL usedDefault = FALSE;
    char narrow[8] = "";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, foreign, -1, narrow, 8, nullptr, &usedDefault), 5);
    EXPECT_STREQ(narrow, "a??\x80");
    EXPECT_TRUE(usedDefault);
}

TEST_F(Sim, LookupGivesTheBinarySid) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    char domain[16];
    DWORD sidSize = sizeof sid, domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeInvalid;
    ASSERT_TRUE(
        LookupAccountNameA(nullptr, "sales\\JDOE", sid, &sidSize, domain, &domainSize, &use));
    EXPECT_EQ(sidSize, 28u);
    EXPECT_STREQ(domain, "SALES");
    EXPECT_EQ(use, SidTypeUser);
    const BYTE expected[28] = {1, 5, 0,   0, 0, 0, 0,    5,    21,   0,    0,    0, 111, 0,
                               0, 0, 222, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x53, 4, 0,   0};
    EXPECT_EQ(memcmp(sid, expected, 28), 0);
}

TEST_F(Sim, RegistryValueMustFitWithItsTerminator) {
    HKEY key = nullptr;
    const char* mount = "SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, mount, 0, 0x20006 /* KEY_WRITE */, &key), 5);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, mount, 0, KEY_READ, &key), 0);
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

TEST_F(Sim, EnvironmentExpansion) {
    struct Case {
        const char* source;
        const char* expanded;
    } cases[] = {
        {"%systemdrive%\\Users", "C:\\Users"},
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
}

TEST_F(Sim, DriveLettersMapToFolders) {
    dir_.Write("c-drive/Cygwin/Home/.keep", "");
    const std::string c = dir_.path() + "/c-drive";
    const struct {
        const char* windows;
        std::string host;
    } cases[] = {
        {"C:\\cygwin\\home\\x", c + "/Cygwin/Home/x"},  // existing case is found
        {"c:\\a\\\\b\\.\\..\\c", c + "/a/c"},           // folded as Windows does
        {"C:", c},
        {"relative\\path", "relative/path"},
        {"/abs/\xE9", "/abs/\xC3\xA9"},  // 1252 bytes become the host's UTF-8
    };
    char host[512];
    for (const auto& row : cases) {
        ASSERT_TRUE(SimMapPath(row.windows, host, sizeof host)) << row.windows;
        EXPECT_EQ(host, row.host) << row.windows;
    }
    EXPECT_FALSE(SimMapPath("D:\\x", host, sizeof host));
    EXPECT_FALSE(RtPathExists("D:\\x"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

// The program reads its files as bytes; the machine still has to read text
// mode as the Windows runtime does, or a test of that could not fail.
TEST_F(Sim, TextModeReads) {
    const struct {
        std::string disk;
        std::string text;
    } cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"lone\rcr\r", "lone\rcr\r"},
        {"stop\x1Ahere\r\n", "stop"},
        {"cr\r\x1A", "cr\r"},
        // A CR LF split across two reads of the disk.
        {std::string(4095, 'x') + "\r\n" + "y", std::string(4095, 'x') + "\ny"},
    };
    for (const auto& c : cases) {
        dir_.Write("c-drive/r", c.disk);
        for (const char* mode : {"r", "rb"}) {
            FILE* file = RtOpenFile("C:\\r", mode);
            ASSERT_NE(file, nullptr);
            std::string text;
            for (int ch; (ch = getc(file)) != EOF;) {
                text.push_back((char)ch);
            }
            fclose(file);
            EXPECT_EQ(text, mode[1] == 'b' ? c.disk : c.text);
        }
    }
}

TEST_F(Sim, ReadOnlyFilesRefuseWriting) {
    chmod(dir_.Write("c-drive/ro", "old").c_str(), 0444);
    dir_.Write("c-drive/new", "new");
    EXPECT_TRUE(RtIsReadOnly("C:\\ro"));
    EXPECT_FALSE(RtIsReadOnly("C:\\new"));
    EXPECT_EQ(RtOpenFile("C:\\ro", "w"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CopyFileA("C:\\new", "C:\\ro", FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RtReplaceFile("C:\\ro", "C:\\new", nullptr), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RtRemoveFile("C:\\ro"), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(dir_.Read("c-drive/ro"), "old");
    // A copy takes the source's attributes, read-only among them.
    EXPECT_TRUE(CopyFileA("C:\\ro", "C:\\copy", FALSE));
    EXPECT_TRUE(RtIsReadOnly("C:\\copy"));
}

}  // namespace
