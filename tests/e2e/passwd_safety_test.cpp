// Nothing of an existing passwd file may be lost: a failed copy, a full disk,
// a read-only file, runs killed half-way and runs at the same time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

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

// The disk takes `spare` bytes beyond the backup copy; the new file needs
// kNew.size() of them.
TEST(PasswdSafety, FullDiskLeavesTheOldFile) {
    for (long long spare : {-1LL, 0LL, 20LL, static_cast<long long>(kNew.size()) - 1,
                            static_cast<long long>(kNew.size())}) {
        SCOPED_TRACE(spare);
        TempDir dir;
        dir.Write("passwd", kOld);
        std::string limit = std::to_string(static_cast<long long>(kOld.size()) + spare);
        RunResult result =
            RunJdoe(dir, {"-f", "passwd"},
                    std::string(kPasswdMachine) + "[faults]\nwrite_limit = " + limit);
        if (spare == static_cast<long long>(kNew.size())) {
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(dir.Read("passwd"), kNew);
            continue;
        }
        ExpectUntouched(dir, result);
        if (spare >= 0) {
            EXPECT_EQ(dir.Read("passwd.bak"), kOld);
        }
    }
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

// Starts acctmap for SALES\jdoe without waiting; both streams go to `output`.
pid_t StartJdoe(const TempDir& dir, const std::vector<std::string>& words,
                const std::string& output) {
    std::vector<std::string> all = {ACCTMAP_BINARY, "-u", "jdoe", "-d", "SALES"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& word : all) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    std::string profile = dir.path() + "/machine.toml";
    pid_t child = fork();
    if (child == 0) {
        int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) {
            _exit(125);
        }
        setenv("ACCTMAP_MACHINE", profile.c_str(), 1);
        execv(ACCTMAP_BINARY, argv.data());
        _exit(126);
    }
    return child;
}

int WaitFor(pid_t child) {
    int raw = 0;
    waitpid(child, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

TEST(PasswdSafety, RunsAtTheSameTimeAllLand) {
    TempDir dir;
    RunJdoe(dir, {});  // leaves the machine and jdoe's home in the folder
    std::string passwd = dir.Write("passwd", "alice:1");
    std::string expected = "alice:1";
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i) {
        std::string login = "user" + std::to_string(i);
        children.push_back(
            StartJdoe(dir, {"-s", login, "-f", passwd}, dir.path() + "/out" + login));
        expected += JdoeEntry(login);
    }
    for (pid_t child : children) {
        EXPECT_EQ(WaitFor(child), 0);
    }
    std::string result = dir.Read("passwd");
    for (int i = 0; i < 6; ++i) {
        std::string login = "user" + std::to_string(i);
        EXPECT_EQ(dir.Read("out" + login), "");
        EXPECT_NE(result.find(JdoeEntry(login)), std::string::npos) << login << " lost";
    }
    EXPECT_EQ(result.size(), expected.size()) << result;
}

TEST(PasswdSafety, KilledAtAnyMomentLeavesTheOldFileOrTheNew) {
    TempDir dir;
    RunJdoe(dir, {});
    // Enough lines that the copy and the rewrite take a while.
    std::string old;
    for (int i = 0; i < 3000; ++i) {
        old += "user" + std::to_string(i) + ":x:" + std::to_string(i) + "\r\n";
    }
    const std::string fresh = old + "alice:1\r\nbob:2" + JdoeEntry();
    old += kOld;
    const std::string passwd = dir.path() + "/passwd";
    // Each run starts from the same files, what a killed run left beside the
    // passwd file included.
    auto reset = [&]() {
        dir.Write("passwd", old);
        std::filesystem::remove(passwd + ".bak");
    };
    reset();
    auto start = std::chrono::steady_clock::now();
    WaitFor(StartJdoe(dir, {"-f", passwd}, dir.path() + "/out"));
    long long runUs = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    ASSERT_EQ(dir.Read("passwd"), fresh);
    // Kill moments spread over a whole run, however fast this build runs.
    int newSeen = 0;
    for (int i = 0; i < 40; ++i) {
        reset();
        pid_t child = StartJdoe(dir, {"-f", passwd}, dir.path() + "/out");
        usleep(static_cast<useconds_t>(runUs * 6 / 5 * i / 40));
        kill(child, SIGKILL);
        WaitFor(child);
        std::string left = dir.Read("passwd");
        ASSERT_TRUE(left == old || left == fresh) << "kill " << i << " of a " << runUs << " us run";
        newSeen += left == fresh;
    }
    std::cout << "a run takes " << runUs << " us; " << newSeen << " of 40 killed runs finished"
              << std::endl;
    reset();
    EXPECT_EQ(RunJdoe(dir, {"-f", "passwd"}).out, "");
    EXPECT_EQ(dir.Read("passwd"), fresh);
    EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
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
