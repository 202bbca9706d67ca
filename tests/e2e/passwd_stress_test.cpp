// The promises of the passwd rewrite under load, with real processes on real
// files: a run killed at any moment leaves the old file or the new one and
// the next run cleans up after it; sixteen runs at once all land; a disk that
// fills up at any byte leaves the file as it was. Seeds are fixed, and each
// test prints what it saw.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "support/run_acctmap.h"

namespace {

// Present only in an AddressSanitizer build, which then runs fewer rounds so
// that the suite stays quick.
extern "C" void __asan_init() __attribute__((weak));
const int kSlowdown = &__asan_init != nullptr ? 3 : 1;

using Clock = std::chrono::steady_clock;

long long MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

// Starts acctmap for SALES\jdoe on the folder's machine without waiting.
pid_t StartJdoe(const TempDir& dir, const std::vector<std::string>& words, const std::string& tag) {
    std::vector<std::string> all = {"-u", "jdoe", "-d", "SALES", "-f", "passwd"};
    all.insert(all.end(), words.begin(), words.end());
    return StartAcctmap(dir, all, tag);
}

// Users `from` to `from + lines - 1`, CR LF line ends, and a last line
// without one.
std::string ManyUsers(int lines, int from = 0) {
    std::string text;
    for (int i = from; i < from + lines; ++i) {
        const std::string n = std::to_string(i);
        text += "user" + n + ":unused_by_nt/2000/xp:" + n + ":10513:User " + n + ",U-SALES\\user" +
                n + ":/home/user" + n + ":/bin/switch\r\n";
    }
    return text + "bob:2";
}

TEST(PasswdStress, KilledAtRandomMomentsLeavesTheOldFileOrTheNew) {
    TempDir dir;
    RunJdoe(dir, {});  // leaves the machine and jdoe's home in the folder
    // Large enough that the copy, the filter and the replacement each take
    // a while; jdoe's old line sits in the middle.
    const std::string head = ManyUsers(20000) + "\r\n", tail = ManyUsers(20000, 20000);
    const std::string old = head + "SALES\\jdoe:old\r\n" + tail;
    const std::string fresh = head + tail + JdoeEntry();
    // A run over the new file keeps its lines and puts the entry last again.
    const std::string again = head + tail + "\r\n" + JdoeEntry();

    dir.Write("passwd", old);
    Clock::time_point start = Clock::now();
    ASSERT_EQ(WaitFor(StartJdoe(dir, {}, "first")), 0);
    const long long runUs = MicrosecondsSince(start);
    ASSERT_TRUE(SameBytes(dir.Read("passwd"), fresh));

    std::mt19937 random(6);
    std::uniform_int_distribution<long long> moment(0, runUs * 6 / 5);
    const int kills = 60 / kSlowdown;
    int leftOld = 0, leftTemporary = 0, leftLock = 0;
    for (int i = 0; i < kills; ++i) {
        dir.Write("passwd", old);
        long long at = moment(random);
        pid_t child = StartJdoe(dir, {}, "killed");
        usleep(static_cast<useconds_t>(at));
        kill(child, SIGKILL);
        WaitFor(child);
        const std::string left = dir.Read("passwd");
        ASSERT_TRUE(left == old || left == fresh)
            << "killed after " << at << " us of a " << runUs << " us run";
        leftOld += left == old;
        leftTemporary += dir.Exists("passwd.acctmap-new");
        leftLock += dir.Exists("passwd.lock");

        // The next run takes over whatever the killed one left.
        RunResult next = RunJdoe(dir, {"-f", "passwd"});
        EXPECT_EQ(next.status, 0);
        EXPECT_EQ(next.out, "") << "after a kill at " << at << " us";
        EXPECT_TRUE(SameBytes(dir.Read("passwd"), left == old ? fresh : again));
        EXPECT_EQ(dir.Read("passwd.bak"), left);
        EXPECT_FALSE(dir.Exists("passwd.acctmap-new") || dir.Exists("passwd.lock"));
    }
    std::cout << "a run over " << old.size() << " bytes takes " << runUs << " us; of " << kills
              << " kills " << leftOld << " left the old file, " << kills - leftOld
              << " the new one, " << leftTemporary << " a temporary file, " << leftLock
              << " a lock file" << std::endl;
}

TEST(PasswdStress, SixteenRunsAtOnceAllLandOnce) {
    TempDir dir;
    RunJdoe(dir, {});
    const std::string old = ManyUsers(2000);
    dir.Write("passwd", old);
    std::vector<std::string> logins, entries;
    for (int i = 0; i < 16; ++i) {
        logins.push_back("login" + std::to_string(i));
        entries.push_back(JdoeEntry(logins.back()));
    }
    std::sort(entries.begin(), entries.end());
    // The second round names the same logins: each is replaced, never doubled.
    for (int round = 0; round < 2; ++round) {
        Clock::time_point start = Clock::now();
        std::vector<pid_t> children;
        for (const std::string& login : logins) {
            children.push_back(StartJdoe(dir, {"-s", login}, login));
        }
        for (pid_t child : children) {
            EXPECT_EQ(WaitFor(child), 0);
        }
        const long long allUs = MicrosecondsSince(start);
        for (const std::string& login : logins) {
            EXPECT_EQ(dir.Read(login + ".out") + dir.Read(login + ".err"), "") << login;
        }
        const std::string result = dir.Read("passwd");
        ASSERT_EQ(result.compare(0, old.size(), old), 0) << "an earlier line changed";
        // Each added line begins with its CR LF and has none at its end.
        std::vector<std::string> added;
        for (size_t at = old.size(); at < result.size();) {
            size_t end = std::min(result.find("\r\n", at + 2), result.size());
            added.push_back(result.substr(at, end - at));
            at = end;
        }
        std::sort(added.begin(), added.end());
        EXPECT_EQ(added, entries);
        EXPECT_FALSE(dir.Exists("passwd.acctmap-new") || dir.Exists("passwd.lock"));
        std::cout << "round " << round << ": 16 runs at once on " << old.size() << " bytes took "
                  << allUs << " us" << std::endl;
    }
}

// Runs with the disk full after each limit; the copy to the backup counts.
// Every limit short of what the whole rewrite writes leaves the file alone.
void FillTheDisk(const std::string& old, const std::string& fresh,
                 const std::vector<unsigned long long>& limits) {
    TempDir dir;
    for (unsigned long long limit : limits) {
        SCOPED_TRACE("write_limit " + std::to_string(limit));
        dir.Write("passwd", old);
        std::filesystem::remove(dir.path() + "/passwd.bak");
        RunResult result = RunJdoe(
            dir, {"-f", "passwd"},
            std::string(kPasswdMachine) + "[faults]\nwrite_limit = " + std::to_string(limit));
        const bool fits = limit >= old.size() + fresh.size();
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, fits ? "" : JdoeEntry());
        EXPECT_TRUE(SameBytes(dir.Read("passwd"), fits ? fresh : old));
        EXPECT_FALSE(dir.Exists("passwd.acctmap-new") || dir.Exists("passwd.lock"));
        // The copy either went through whole or left nothing.
        EXPECT_EQ(dir.Exists("passwd.bak") ? dir.Read("passwd.bak") : "none",
                  limit >= old.size() ? old : "none");
    }
    std::cout << limits.size() << " runs over " << old.size() + fresh.size() << " bytes of writes"
              << std::endl;
}

TEST(PasswdStress, FullDiskAtEveryByteOfASmallRewrite) {
    const std::string old = "alice:1\r\nSALES\\jdoe:0\r\n# note\r\n\r\nbob:2";
    const std::string fresh = "alice:1\r\nbob:2" + JdoeEntry();
    std::vector<unsigned long long> limits;
    for (size_t limit = 0; limit <= old.size() + fresh.size(); ++limit) {
        limits.push_back(limit);
    }
    FillTheDisk(old, fresh, limits);
}

// Larger than the runtime's stream buffer, so the disk also fills between
// the writes of the filter, and with a line longer than any read.
TEST(PasswdStress, FullDiskAtSampledBytesOfALargeRewrite) {
    const std::string head = ManyUsers(300) + "\r\ncarol:" + std::string(5000, 'c') + "\r\n";
    const std::string old = head + "SALES\\jdoe:0\r\n" + ManyUsers(300, 300);
    const std::string fresh = head + ManyUsers(300, 300) + JdoeEntry();
    const unsigned long long needed = old.size() + fresh.size();
    std::vector<unsigned long long> limits = {
        0, old.size() - 1, old.size(), old.size() + 1, needed - 1, needed};
    for (unsigned long long block = 4096; block < fresh.size(); block += 4096) {
        limits.insert(limits.end(), {old.size() + block - 1, old.size() + block});
    }
    std::mt19937_64 random(16);
    std::uniform_int_distribution<unsigned long long> anywhere(0, needed);
    for (int i = 0; i < 40 / kSlowdown; ++i) {
        limits.push_back(anywhere(random));
    }
    FillTheDisk(old, fresh, limits);
}

}  // namespace
