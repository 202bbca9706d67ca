// The promises of the passwd rewrite under load, with real processes on real
// files: a run killed at any moment leaves the old file or the new one and
// the next run cleans up after it; sixteen runs at once all land; a disk that
// fills up at any byte leaves the file as it was. Seeds are fixed, and each
// test prints what it saw.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "e2e/passwd_machine.h"
#include "support/run_acctmap.h"

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ACCTMAP_SLOW_BUILD 1
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#define ACCTMAP_SLOW_BUILD 1
#endif
#ifdef ACCTMAP_SLOW_BUILD
const int kSlowdown = 3;  // fewer rounds, so the suite stays quick
#else
const int kSlowdown = 1;
#endif

using Clock = std::chrono::steady_clock;

long long MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
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

// A passwd file of `lines` users, CR LF line ends, the last without one.
std::string ManyUsers(int lines, int from = 0) {
    std::string text;
    for (int i = from; i < from + lines; ++i) {
        text += "user" + std::to_string(i) + ":unused_by_nt/2000/xp:" + std::to_string(1000 + i) +
                ":10513:User " + std::to_string(i) + ",U-SALES\\user" + std::to_string(i) +
                ":/home/user" + std::to_string(i) + ":/bin/switch\r\n";
    }
    return text + "bob:2";
}

TEST(PasswdStress, KilledAtRandomMomentsLeavesTheOldFileOrTheNew) {
    TempDir dir;
    RunJdoe(dir, {});  // leaves the machine and jdoe's home in the folder
    // Large enough that the copy, the filter and the replacement each take
    // a while; jdoe's old line sits in the middle.
    const std::string old = ManyUsers(20000) + "\r\nSALES\\jdoe:old\r\n" + ManyUsers(20000, 20000);
    const std::string passwd = dir.path() + "/passwd";
    const std::string fresh = ManyUsers(20000) + "\r\n" + ManyUsers(20000, 20000) + JdoeEntry();
    // A run over the new file keeps its lines and puts the entry last again.
    const std::string again =
        ManyUsers(20000) + "\r\n" + ManyUsers(20000, 20000) + "\r\n" + JdoeEntry();

    dir.Write("passwd", old);
    Clock::time_point start = Clock::now();
    ASSERT_EQ(WaitFor(StartJdoe(dir, {"-f", passwd}, dir.path() + "/out")), 0);
    const long long runUs = MicrosecondsSince(start);
    ASSERT_TRUE(SameBytes(dir.Read("passwd"), fresh));

    std::mt19937 random(6);
    std::uniform_int_distribution<long long> moment(0, runUs * 6 / 5);
    const int kills = 60 / kSlowdown;
    int leftOld = 0;
    int leftNew = 0;
    int leftTemporary = 0;
    int leftLock = 0;
    for (int i = 0; i < kills; ++i) {
        dir.Write("passwd", old);
        long long at = moment(random);
        pid_t child = StartJdoe(dir, {"-f", passwd}, dir.path() + "/out");
        usleep(static_cast<useconds_t>(at));
        kill(child, SIGKILL);
        WaitFor(child);
        const std::string left = dir.Read("passwd");
        ASSERT_TRUE(left == old || left == fresh)
            << "killed after " << at << " us of a " << runUs << " us run";
        leftOld += left == old;
        leftNew += left == fresh;
        leftTemporary += dir.Exists("passwd.acctmap-new");
        leftLock += dir.Exists("passwd.lock");

        // The next run takes over whatever the killed one left.
        RunResult next = RunJdoe(dir, {"-f", passwd});
        EXPECT_EQ(next.status, 0);
        EXPECT_EQ(next.out, "") << "after a kill at " << at << " us";
        EXPECT_TRUE(SameBytes(dir.Read("passwd"), left == old ? fresh : again));
        EXPECT_EQ(dir.Read("passwd.bak"), left);
        EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
        EXPECT_FALSE(dir.Exists("passwd.lock"));
    }
    std::cout << "a run over " << old.size() << " bytes takes " << runUs << " us; of " << kills
              << " kills " << leftOld << " left the old file, " << leftNew << " the new one, "
              << leftTemporary << " a temporary file, " << leftLock << " a lock file" << std::endl;
}

TEST(PasswdStress, SixteenRunsAtOnceAllLandOnce) {
    TempDir dir;
    RunJdoe(dir, {});
    const std::string old = ManyUsers(2000);
    const std::string passwd = dir.Write("passwd", old);
    std::vector<std::string> logins;
    std::vector<std::string> entries;
    for (int i = 0; i < 16; ++i) {
        logins.push_back("login" + std::to_string(i));
        entries.push_back(JdoeEntry(logins.back()).substr(2));
    }
    std::sort(entries.begin(), entries.end());
    // The second round names the same logins: each is replaced, never doubled.
    for (int round = 0; round < 2; ++round) {
        Clock::time_point start = Clock::now();
        std::vector<pid_t> children;
        for (const std::string& login : logins) {
            children.push_back(
                StartJdoe(dir, {"-s", login, "-f", passwd}, dir.path() + "/out-" + login));
        }
        for (pid_t child : children) {
            EXPECT_EQ(WaitFor(child), 0);
        }
        long long allUs = MicrosecondsSince(start);
        for (const std::string& login : logins) {
            EXPECT_EQ(dir.Read("out-" + login), "") << login << " was not written";
        }
        const std::string result = dir.Read("passwd");
        ASSERT_EQ(result.compare(0, old.size(), old), 0) << "an earlier line changed";
        std::vector<std::string> added;
        std::string rest = result.substr(old.size());
        for (size_t at = 0; at < rest.size();) {
            ASSERT_EQ(rest.compare(at, 2, "\r\n"), 0) << rest.substr(at, 80);
            size_t end = rest.find("\r\n", at + 2);
            end = end == std::string::npos ? rest.size() : end;
            added.push_back(rest.substr(at + 2, end - at - 2));
            at = end;
        }
        std::sort(added.begin(), added.end());
        EXPECT_EQ(added, entries);
        EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
        EXPECT_FALSE(dir.Exists("passwd.lock"));
        std::cout << "round " << round << ": 16 runs at once on " << old.size() << " bytes took "
                  << allUs << " us" << std::endl;
    }
}

// Runs with the disk full after `limit` bytes; the copy to the backup counts.
// Every limit short of what the whole rewrite writes leaves the file alone.
void FillTheDiskAt(const TempDir& dir, const std::string& old, const std::string& fresh,
                   unsigned long long limit) {
    SCOPED_TRACE("write_limit " + std::to_string(limit));
    dir.Write("passwd", old);
    std::filesystem::remove(dir.path() + "/passwd.bak");
    RunResult result =
        RunJdoe(dir, {"-f", "passwd"},
                std::string(kPasswdMachine) + "[faults]\nwrite_limit = " + std::to_string(limit));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
    EXPECT_FALSE(dir.Exists("passwd.lock"));
    if (limit >= old.size() + fresh.size()) {
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(SameBytes(dir.Read("passwd"), fresh));
        return;
    }
    EXPECT_EQ(result.out, JdoeEntry());
    EXPECT_TRUE(SameBytes(dir.Read("passwd"), old));
    // The copy either went through whole or left nothing.
    if (limit >= old.size()) {
        EXPECT_EQ(dir.Read("passwd.bak"), old);
    } else {
        EXPECT_FALSE(dir.Exists("passwd.bak"));
    }
}

TEST(PasswdStress, FullDiskAtEveryByteOfASmallRewrite) {
    TempDir dir;
    const std::string old = "alice:1\r\nSALES\\jdoe:0\r\n# note\r\n\r\nbob:2";
    const std::string fresh = "alice:1\r\nbob:2" + JdoeEntry();
    const size_t needed = old.size() + fresh.size();
    for (size_t limit = 0; limit <= needed; ++limit) {
        FillTheDiskAt(dir, old, fresh, limit);
    }
    std::cout << needed + 1 << " runs, write_limit 0 to " << needed << std::endl;
}

// Larger than the runtime's stream buffer, so the disk also fills between
// the writes of the filter, and with a line longer than any read.
TEST(PasswdStress, FullDiskAtSampledBytesOfALargeRewrite) {
    TempDir dir;
    const std::string longLine = "carol:" + std::string(5000, 'c') + "\r\n";
    const std::string old =
        ManyUsers(300) + "\r\n" + longLine + "SALES\\jdoe:0\r\n" + ManyUsers(300, 300);
    const std::string fresh =
        ManyUsers(300) + "\r\n" + longLine + ManyUsers(300, 300) + JdoeEntry();
    const unsigned long long needed = old.size() + fresh.size();
    std::vector<unsigned long long> limits = {
        0, old.size() - 1, old.size(), old.size() + 1, needed - 1, needed};
    for (unsigned long long block = 4096; block < fresh.size(); block += 4096) {
        limits.push_back(old.size() + block - 1);
        limits.push_back(old.size() + block);
    }
    std::mt19937_64 random(16);
    std::uniform_int_distribution<unsigned long long> anywhere(0, needed);
    for (int i = 0; i < 40 / kSlowdown; ++i) {
        limits.push_back(anywhere(random));
    }
    for (unsigned long long limit : limits) {
        FillTheDiskAt(dir, old, fresh, limit);
    }
    std::cout << limits.size() << " runs over " << needed << " bytes of writes" << std::endl;
}

}  // namespace
