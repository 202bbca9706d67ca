// The passwd rewrite's safety on Wine's file system, watched from another
// process while two runs rewrite a large passwd file at once.
#include "windows/e2e/wine_machine.h"

#include <algorithm>
#include <cstdio>

namespace {

TEST_F(WineTest, TwoRunsAtOnceBothLandAndNoReaderSeesAPart) {
    const std::string passwd = dir_ + "\\etc\\passwd";
    const std::string lock = passwd + ".lock";
    std::string before;
    for (int i = 0; i < 150000; ++i) {
        const std::string n = std::to_string(100000 + i);
        before += "user" + n + ":x:" + n + ":513:User " + n + ":/home/user" + n + ":/bin/sh\r\n";
    }
    // No last line end: each entry then adds just its own line.
    before.resize(before.size() - 2);
    WriteBytes(passwd, before);
    const std::string first = Expand("\r\nfirst{fields}/cygdrive/C/users/{user}:/bin/switch");
    const std::string second = Expand("\r\nsecond{fields}/cygdrive/C/users/{user}:/bin/switch");
    // Every size a reader may find: the old file, either run's, both runs'.
    const std::vector<size_t> whole = {before.size(), before.size() + first.size(),
                                       before.size() + second.size(),
                                       before.size() + first.size() + second.size()};

    StartedProcess runs[] = {
        StartAcctmap({"-u", TheWineUser().name, "-s", "first", "-f", passwd}),
        StartAcctmap({"-u", TheWineUser().name, "-s", "second", "-f", passwd})};
    int lockHeld = 0;
    int lockOpened = 0;
    int missing = 0;
    int partial = 0;
    while (WaitForSingleObject(runs[0].process, 0) == WAIT_TIMEOUT ||
           WaitForSingleObject(runs[1].process, 0) == WAIT_TIMEOUT) {
        // The lock is held without sharing: no other open may succeed.
        HANDLE probe = CreateFileA(lock.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                   OPEN_EXISTING, 0, NULL);
        if (probe != INVALID_HANDLE_VALUE) {
            ++lockOpened;
            CloseHandle(probe);
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            ++lockHeld;
        }
        WIN32_FILE_ATTRIBUTE_DATA seen;
        if (!GetFileAttributesExA(passwd.c_str(), GetFileExInfoStandard, &seen)) {
            ++missing;
        } else if (std::find(whole.begin(), whole.end(), seen.nFileSizeLow) == whole.end()) {
            ++partial;
        }
    }
    for (StartedProcess& started : runs) {
        ProcessResult run = Finish(&started);
        EXPECT_EQ(run.out + run.err, "");
        EXPECT_EQ(run.status, 0u);
    }
    const std::string after = FileState(passwd);
    const std::string backup = FileState(passwd + ".bak");
    EXPECT_TRUE((after == before + first + second && backup == before + first) ||
                (after == before + second + first && backup == before + second));
    EXPECT_GT(lockHeld, 0) << "the runs were never seen holding their lock";
    EXPECT_EQ(lockOpened, 0) << "the lock file could be opened while a run held it";
    EXPECT_EQ(FileState(lock), "<none>");
    EXPECT_EQ(FileState(passwd + ".acctmap-new"), "<none>");
    EXPECT_EQ(partial, 0) << "a reader saw a partly written passwd file";
    // Wine's ReplaceFileA moves the old file aside before it moves the new one
    // in, so a reader may find no file for a moment; never a part of one.
    printf("passwd file missing at %d looks, lock refused %d times\n", missing, lockHeld);
}

}  // namespace
