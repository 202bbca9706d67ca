// The end-to-end harness on Wine. It drives the real acctmap.exe the way an
// administrator's machine would: Wine's registry written with Wine's reg.exe,
// Wine's file system, Wine's user and SID. Only the account database is ours:
// a test-only netapi32.dll beside a copy of acctmap.exe in each test's folder.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// What one run left: its output streams as bytes (CR LF and all), its status.
struct ProcessResult {
    std::string out;
    std::string err;
    DWORD status = 0xFFFFFFFF;
};

// A program started and not yet waited for.
struct StartedProcess {
    HANDLE process = NULL;
    std::string base;  // its output goes to base + ".out" / ".err"
};

// The Wine user acctmap runs as, as Wine's own security functions see it.
struct WineUser {
    std::string name;
    std::string domain;
    std::string sid;
    DWORD rid = 0;
};
const WineUser& TheWineUser();

// "\n" -> "\r\n": what the C runtime's text mode makes of a text.
std::string TextMode(const std::string& text);
// A file's bytes, "<dir>" for a directory, "<none>" when nothing is there.
std::string FileState(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
// How often `text` holds `part`.
int Count(const std::string& text, const std::string& part);
// The parts of `text` between separators; none for an empty text.
std::vector<std::string> Split(const std::string& text, char separator);

// Each test gets a folder of its own (its path holds a blank, as Windows paths
// often do) with bin\ (acctmap.exe and the stand-in), etc\ and home\, the
// last one Cygwin's /home. The stand-in serves the Wine user's local record
// until Arrange() says otherwise. Registry changes are undone after the test.
class WineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the tokens {user} {dom} {sid} {rid} (the Wine user), {luid}
    // (its legacy user id), {dir} (the test's folder), {sys:N} (Wine's text
    // for system error N) and {fields} (the Wine user's entry from the
    // password field to the home directory).
    std::string Expand(std::string text) const;
    // One step of a machine's set-up (tokens expanded):
    //   accounts=<the stand-in's account file>   win98
    //   nonetapi (no netapi32.dll to be had: the override allows only ours)
    //   mount=<native> (Cygwin's 32-bit view only) | mount64=<native> (the 64-bit
    //   view only) | mount (no value) | nomount
    //   profile=<ProfileImagePath> | noprofile   (the Wine user's)
    //   file:<path>=<bytes>   dir:<path>   readonly:<path>
    void Arrange(const std::string& step);

    StartedProcess StartAcctmap(const std::vector<std::string>& words);
    ProcessResult Finish(StartedProcess* started);
    ProcessResult Acctmap(const std::vector<std::string>& words) {
        StartedProcess started = StartAcctmap(words);
        return Finish(&started);
    }
    // The stand-in's log of the calls acctmap made ("" for none).
    std::string NetapiCalls() const;

    std::string dir_;

  private:
    StartedProcess Start(const char* application, const std::string& commandLine);
    // Wine's reg.exe; undoing may find nothing left to undo.
    void Reg(const std::vector<std::string>& arguments, bool mustSucceed = true);
    std::vector<std::vector<std::string>> undo_;
    bool profileChanged_ = false;
    int runs_ = 0;
};
