// The end-to-end harness on Wine. It runs inside the Wine prefix of the test
// run and drives the real acctmap.exe the way an administrator's machine
// would: Wine's registry written with Wine's reg.exe, Wine's file system,
// Wine's user and SID. Only the account database is ours: a test-only
// netapi32.dll, placed beside a copy of acctmap.exe in each test's folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What one run of a program left: its two output streams as bytes (CR LF
// and all) and its exit status.
struct ProcessResult {
    std::string out;
    std::string err;
    DWORD status = 0xFFFFFFFF;
};

// A program started and not yet waited for.
struct StartedProcess {
    HANDLE process = NULL;
    std::string outPath;
    std::string errPath;
};

// The Wine user that acctmap runs as: its name (GetUserNameA), the domain
// that LookupAccountNameA names for it, its SID as text (ConvertSidToStringSidA)
// and its relative identifier.
struct WineUser {
    std::string name;
    std::string domain;
    std::string sid;
    DWORD rid = 0;
};
const WineUser& TheWineUser();

// HKLM key of the Cygwin mount table entry for /home.
extern const char kMountKey[];
// HKLM key of the profile-list entry of a SID.
std::string ProfileListKey(const std::string& sid);

// "\n" -> "\r\n": what the C runtime's text mode makes of a text.
std::string TextMode(const std::string& text);
// FormatMessageA's text for a system error code (the empty text when Wine
// has none), exactly as the program gets it.
std::string SystemText(DWORD code);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);

// Each test gets a folder of its own (its path holds a blank, as Windows
// paths often do) with acctmap.exe and the stand-in netapi32.dll in bin\.
// Registry changes made through the helpers are undone after the test.
class WineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

  public:
    // Public so that table-driven cases can arrange a machine.

    // A path inside the test's folder.
    std::string Path(const std::string& relative) const;

    // The stand-in's account file (format in netapi32/netapi32.cpp).
    void Accounts(const std::string& lines);
    // The stand-in's log of the calls acctmap made.
    std::vector<std::string> NetapiCalls() const;
    // True when every buffer the stand-in handed out was given back.
    bool AllNetapiBuffersFreed() const;

    // Runs acctmap.exe with these words after word 0.
    ProcessResult Acctmap(const std::vector<std::string>& words,
                          const std::string& argv0 = "acctmap");
    StartedProcess StartAcctmap(const std::vector<std::string>& words,
                                const std::string& argv0 = "acctmap");
    ProcessResult Finish(StartedProcess* started, DWORD timeoutMs = 60000);

    // Wine's reg.exe with these arguments; the test fails unless it succeeds.
    void Reg(const std::vector<std::string>& arguments);
    // The mount table entry for /home, with its "native" value (or none).
    void SetMountDirectory(const std::string& native);
    void SetMountKeyWithoutValue();
    // The Wine user's ProfileImagePath (REG_EXPAND_SZ), or no such value.
    void SetProfileImagePath(const std::string& path);
    void RemoveProfileImagePath();
    // HKCU\Software\Wine "Version": "win98" makes Wine a Windows 95 family
    // system for every program of the prefix.
    void SetWineVersion(const std::string& version);

    // A folder "home" in the test's folder as the mount directory of /home.
    void UseHomeMount();
    // The stand-in's record of the Wine user on a server ("." = the local
    // machine): its real relative identifier, primary group 513.
    static std::string WineUserRecord(const std::string& server = ".",
                                      const std::string& fullName = "Wine User");

    // The entry acctmap writes for the Wine user (local account, its real SID)
    // with this login name, user id and home directory, as bytes.
    std::string WineUserEntry(const std::string& login, DWORD groupId, const std::string& fullName,
                              const std::string& home) const;

  private:
    std::string AcctmapEnvironment() const;
    void UndoAfterTest(const std::vector<std::string>& regArguments);
    void RestoreProfileAfterTest();
    int runs_ = 0;
    std::string dir_;
    std::vector<std::vector<std::string>> undo_;
    bool mountKeySet_ = false;
    bool profileChanged_ = false;
};
