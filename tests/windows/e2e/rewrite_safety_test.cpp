// The passwd rewrite's safety on Wine's file system, seen from another
// process: the lock file beside the passwd file is held without sharing and
// gone after the run, runs at once all land, and a reader never sees a
// partly written passwd file.
#include "windows/e2e/passwd_fixture.h"

namespace {

// Holds the lock as a run does: no sharing, deleted when closed.
HANDLE HoldLock(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, NULL);
}

// How often `text` holds `part`.
int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class RewriteSafety : public PasswdFile {
  protected:
    void SetUp() override {
        PasswdFile::SetUp();
        lock_ = passwd_ + ".lock";
        WriteBytes(passwd_, kBefore);
    }
    static constexpr const char* kBefore = "alice:x:1001:513::/home/alice:/bin/sh\r\n";
    std::string lock_;
};

TEST_F(RewriteSafety, WaitsWhileAnotherRunHoldsTheLock) {
    HANDLE held = HoldLock(lock_);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StartedProcess started = StartAcctmap(Words());
    EXPECT_EQ(WaitForSingleObject(started.process, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ReadBytes(passwd_), kBefore);
    CloseHandle(held);
    ProcessResult run = Finish(&started);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(ReadBytes(passwd_), kBefore + Entry());
}

TEST_F(RewriteSafety, GivesUpOnALockHeldTooLong) {
    HANDLE held = HoldLock(lock_);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const ULONGLONG start = GetTickCount64();
    ProcessResult run = AddSshUser();
    const ULONGLONG waited = GetTickCount64() - start;
    CloseHandle(held);
    EXPECT_GE(waited, 9500u);
    EXPECT_EQ(run.err,
              TextMode("Passwd file " + passwd_ + " is busy; the entry was not written to it.\n"));
    EXPECT_EQ(run.out, Entry());
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(ReadBytes(passwd_), kBefore);
}

TEST_F(RewriteSafety, RunsAtOnceAllLand) {
    const int kRuns = 4;
    std::vector<StartedProcess> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(StartAcctmap(Words("user" + std::to_string(i))));
    }
    for (StartedProcess& started : runs) {
        ProcessResult run = Finish(&started);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.status, 0u);
    }
    const std::string after = ReadBytes(passwd_);
    EXPECT_EQ(after.rfind(kBefore, 0), 0u) << after;
    for (int i = 0; i < kRuns; ++i) {
        EXPECT_EQ(Count(after, Entry("user" + std::to_string(i))), 1) << after;
    }
    EXPECT_EQ(EtcFiles(), (std::vector<std::string>{"passwd", "passwd.bak"}));
}

// What a reader finds in the passwd file at one moment: the old content,
// the new one, something else (a part), or no file.
enum class Seen { kOld, kNew, kOther, kMissing };

// Looks at the size and the last bytes only, so that it can look often.
Seen Look(const std::string& path, const std::string& before, const std::string& after) {
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (reader == INVALID_HANDLE_VALUE) {
        return Seen::kMissing;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(reader, &size);
    const size_t kTail = 512;
    std::string tail(kTail, '\0');
    LARGE_INTEGER start;
    start.QuadPart = size.QuadPart > static_cast<LONGLONG>(kTail) ? size.QuadPart - kTail : 0;
    SetFilePointerEx(reader, start, NULL, FILE_BEGIN);
    DWORD read = 0;
    ReadFile(reader, &tail[0], kTail, &read, NULL);
    CloseHandle(reader);
    tail.resize(read);
    auto is = [&](const std::string& content) {
        return static_cast<size_t>(size.QuadPart) == content.size() &&
               content.compare(content.size() - tail.size(), tail.size(), tail) == 0;
    };
    return is(before) ? Seen::kOld : is(after) ? Seen::kNew : Seen::kOther;
}

// Watches a rewrite of a large passwd file from this process: the lock file
// must refuse every open while the run holds it, and every look at the passwd
// file must find the old or the new content whole.
TEST_F(RewriteSafety, RewriteSeenFromAnotherProcess) {
    std::string before;
    for (int i = 0; i < 150000; ++i) {
        const std::string n = std::to_string(100000 + i);
        before += "user" + n + ":x:" + n + ":513:User " + n + ":/home/user" + n + ":/bin/sh\r\n";
    }
    WriteBytes(passwd_, before);
    const std::string after = before + Entry();

    int lockHeld = 0;
    int lockOpened = 0;
    int seen[4] = {};
    StartedProcess started = StartAcctmap(Words());
    while (WaitForSingleObject(started.process, 0) == WAIT_TIMEOUT) {
        HANDLE probe = CreateFileA(lock_.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (probe != INVALID_HANDLE_VALUE) {
            ++lockOpened;
            CloseHandle(probe);
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            ++lockHeld;
        }
        ++seen[static_cast<int>(Look(passwd_, before, after))];
    }
    ProcessResult run = Finish(&started);
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(ReadBytes(passwd_) == after);
    EXPECT_TRUE(ReadBytes(passwd_ + ".bak") == before);

    EXPECT_GT(lockHeld, 0) << "the run was never seen holding its lock";
    EXPECT_EQ(lockOpened, 0) << "the lock file could be opened while the run held it";
    EXPECT_FALSE(PathExists(lock_));
    EXPECT_EQ(seen[static_cast<int>(Seen::kOther)], 0) << "a reader saw a partly written file";
    // Wine's ReplaceFileA moves the old file aside before it moves the new one
    // in, so a reader may find no file for a moment; it never finds a part.
    printf(
        "looks at the passwd file: %d old, %d new, %d partial, %d without a file; "
        "lock refused %d times\n",
        seen[0], seen[1], seen[2], seen[3], lockHeld);
    EXPECT_EQ(EtcFiles(), (std::vector<std::string>{"passwd", "passwd.bak"}));
}

}  // namespace
