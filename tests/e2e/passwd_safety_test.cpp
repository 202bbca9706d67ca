// Nothing of an existing passwd file may be lost: a failed copy, a read-only
// file, a killed run's leftovers, a file that another run holds. Kills, runs
// at the same time and a full disk are in passwd_stress_test.cpp.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "e2e/passwd_machine.h"
#include "support/run_acctmap.h"

namespace {

const std::string kOld = "alice:1\r\nSALES\\jdoe:0\r\nbob:2";
const std::string kNew = "alice:1\r\nbob:2" + JdoeEntry();

// The file is as it was and the entry went to standard output.
void ExpectUntouched(const TempDir& dir, const RunResult& result) {
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, JdoeEntry());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(dir.Read("passwd"), kOld);
    EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
}

TEST(PasswdSafety, FailedCopyUsesNoOlderBackup) {
    TempDir dir;
    dir.Write("passwd", kOld);
    dir.Write("passwd.bak", "stale:1");
    ExpectUntouched(dir, RunJdoe(dir, {"-f", "passwd"},
                                 std::string(kPasswdMachine) + "[faults]\ncopy_file = 5\n"));
    EXPECT_EQ(dir.Read("passwd.bak"), "stale:1");
}

TEST(PasswdSafety, ReadOnlyFileStaysAsItWas) {
    TempDir dir;
    std::string passwd = dir.Write("passwd", kOld);
    ASSERT_EQ(chmod(passwd.c_str(), 0444), 0);
    ExpectUntouched(dir, RunJdoe(dir, {"-f", "passwd"}));
}

TEST(PasswdSafety, ReplacedFileKeepsItsModeAndLeftoversGo) {
    TempDir dir;
    std::string passwd = dir.Write("passwd", kOld);
    ASSERT_EQ(chmod(passwd.c_str(), 0640), 0);
    dir.Write("passwd.acctmap-new", "what a killed run left");
    EXPECT_EQ(RunJdoe(dir, {"-f", "passwd"}).out, "");
    EXPECT_EQ(dir.Read("passwd"), kNew);
    EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
    struct stat status = {};
    ASSERT_EQ(stat(passwd.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// A run that cannot get the lock within its 10 seconds leaves the file alone.
TEST(PasswdSafety, BusyFileGetsTheEntryOnStandardOutput) {
    TempDir dir;
    dir.Write("passwd", kOld);
    int holder = open((dir.path() + "/passwd.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    auto start = std::chrono::steady_clock::now();
    RunResult result = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9900));
    close(holder);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, JdoeEntry());
    EXPECT_EQ(result.err, "Passwd file passwd is busy; the entry was not written to it.\r\n");
    EXPECT_EQ(dir.Read("passwd"), kOld);
    EXPECT_FALSE(dir.Exists("passwd.bak"));
}

}  // namespace
