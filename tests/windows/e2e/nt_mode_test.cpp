// NT mode for the Wine user: its real SID from LookupAccountNameA, its
// profile directory from the ProfileList key Wine keeps for it, and the
// home directory chosen on Wine's file system.
#include "windows/e2e/wine_machine.h"

namespace {

class NtMode : public WineTest {
  protected:
    void SetUp() override {
        WineTest::SetUp();
        Accounts(WineUserRecord());
    }
    const std::string& User() const {
        return TheWineUser().name;
    }
    // Where Wine keeps the user's profile, as Cygwin reaches it.
    std::string ProfileHome() const {
        return "/cygdrive/C/users/" + User();
    }
};

TEST_F(NtMode, WritesTheEntryOfTheWineUser) {
    UseHomeMount();
    ProcessResult run = Acctmap({"-u", User()});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, WineUserEntry(User(), 513, "Wine User", ProfileHome()));
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(NetapiCalls(),
              (std::vector<std::string>{"NetUserGetInfo . " + User() + " 3 = 0 buffer 1",
                                        "NetApiBufferFree buffer 1"}));
}

TEST_F(NtMode, AsksTheDomainControllerForADomainAccount) {
    UseHomeMount();
    const std::string domain = TheWineUser().domain;
    Accounts("dc\t" + domain + "\t\\\\dc1\n" + WineUserRecord("\\\\dc1", ""));
    ProcessResult run = Acctmap({"-u", User(), "-d", domain});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, WineUserEntry(domain + "\\" + User(), 10513, "", ProfileHome()));
    EXPECT_EQ(run.status, 0u);
    EXPECT_TRUE(AllNetapiBuffersFreed());
}

// The account database speaks UTF-16; the entry is in the ANSI code page.
TEST_F(NtMode, ConvertsTheFullNameToTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the prefix's ANSI code page is " << GetACP() << ", not 1252";
    }
    UseHomeMount();
    Accounts(WineUserRecord(".", "Jos\xc3\xa9 M\xc3\xbcller"));  // UTF-8 in the account file
    ProcessResult run = Acctmap({"-u", User()});
    EXPECT_EQ(run.out, WineUserEntry(User(), 513, "Jos\xe9 M\xfcller", ProfileHome()));
}

// The profile path is expanded from acctmap's own environment.
TEST_F(NtMode, ExpandsTheProfilePath) {
    UseHomeMount();
    SetProfileImagePath("%SystemDrive%\\users\\" + User());
    ProcessResult run = Acctmap({"-u", User()});
    EXPECT_EQ(run.out, WineUserEntry(User(), 513, "Wine User", ProfileHome()));
}

// Cygwin's /home mounted on C:\users: the profile directory lies under it.
TEST_F(NtMode, ProfileUnderTheMountDirectoryIsUnderHome) {
    SetMountDirectory("C:\\Users");
    ProcessResult run = Acctmap({"-u", User()});
    EXPECT_EQ(run.out, WineUserEntry(User(), 513, "Wine User", "/home/" + User()));
}

TEST_F(NtMode, CreatesTheFallbackDirectoryWhenTheProfileIsMissing) {
    UseHomeMount();
    SetProfileImagePath(Path("no such profile"));
    const std::string fallback = Path("home\\tarnwick");
    for (int run = 0; run < 2; ++run) {
        // The second run finds the directory that the first one made.
        ProcessResult result = Acctmap({"-u", User()});
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, WineUserEntry(User(), 513, "Wine User", "/home/tarnwick"));
        EXPECT_EQ(result.status, 0u);
        DWORD attributes = GetFileAttributesA(fallback.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << fallback;
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    EXPECT_FALSE(PathExists(Path("no such profile")));
}

TEST_F(NtMode, TakesTheHomePathAsGiven) {
    UseHomeMount();
    ProcessResult run = Acctmap({"-u", User(), "-p", Path("home\\elsewhere")});
    std::string posix = Path("home\\elsewhere");
    for (char& c : posix) {
        c = c == '\\' ? '/' : c;
    }
    EXPECT_EQ(run.out, WineUserEntry(User(), 513, "Wine User", "/cygdrive/" + posix.erase(1, 1)));
    EXPECT_FALSE(PathExists(Path("home\\elsewhere")));
}

}  // namespace
