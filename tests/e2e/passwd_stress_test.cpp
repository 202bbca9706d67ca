// The passwd rewrite under load, with real processes on real files: runs at
// once under every spelling of the file's name all land, and a full disk or
// a kill at any byte leaves the old file or the new one whole, with a whole
// backup.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace {

const std::string kPasswd = "C:\\work\\etc\\passwd";

// The user's entry under a login name, as it reaches the file.
std::string Entry(const std::string& login) {
    return "\r\n" + login +
           ":unused_by_nt/2000/xp:1003:513:Wine User,U-WS01\\kim,S-1-5-21-7-8-9-1003:"
           "/cygdrive/C/users/kim:/bin/switch";
}

TEST(PasswdStress, RunsAtOnceUnderAnySpellingAllLandOnce) {
    const char* const spellings[] = {"C:\\work\\etc\\passwd", "C:\\WORK\\ETC\\PASSWD",
                                     "c:\\Work\\Etc\\Passwd"};
    Harness machine;
    std::string old;
    for (int i = 0; i < 2000; ++i) {
        old += "user" + std::to_string(i) + ":x:" + std::to_string(i) + ":513::/home:/bin/sh\r\n";
    }
    machine.Arrange("file:" + kPasswd + "=" + old + "last:x");
    std::string entries;
    // The second round names the same logins: each is replaced, never doubled.
    for (int round = 0; round < 2; ++round) {
        std::vector<pid_t> runs;
        for (int i = 0; i < 12; ++i) {
            const std::string login = "login" + std::to_string(10 + i);
            entries += round == 0 ? Entry(login) : "";
            runs.push_back(StartAcctmap(machine.Token("folder"),
                                        {"-u", "kim", "-s", login, "-f", spellings[i % 3]}, login));
        }
        for (pid_t run : runs) {
            EXPECT_EQ(WaitFor(run), 0);
        }
        std::string result = machine.FileState(kPasswd);
        ASSERT_EQ(result.compare(0, old.size() + 6, old + "last:x"), 0)
            << "an earlier line changed";
        // Sorted by login, the lines added are the entries, each once.
        std::vector<std::string> added;
        for (size_t at = old.size() + 6; at < result.size(); at += added.back().size()) {
            added.push_back(result.substr(at, result.find("\r\n", at + 2) - at));
        }
        std::sort(added.begin(), added.end());
        std::string landed;
        for (const std::string& line : added) {
            landed += line;
        }
        EXPECT_EQ(landed, entries);
        EXPECT_EQ(
            machine.FileState(kPasswd + ".lock") + machine.FileState(kPasswd + ".acctmap-new"),
            "<none><none>");
    }
}

// A small rewrite with a fault at every byte it writes: `fault` is
// "write_limit" (a full disk) or "kill_after_bytes" (a kill at that moment).
void SweepFault(const std::string& fault) {
    const std::string old = "alice:1\r\nkim:0\r\n# note\r\nbob:2";
    const std::string fresh = "alice:1\r\nbob:2" + Entry("kim");
    for (size_t limit = 0; limit <= fresh.size(); ++limit) {
        SCOPED_TRACE(fault + " " + std::to_string(limit));
        Harness machine;
        machine.Arrange("file:" + kPasswd + "=" + old);
        machine.Arrange("file:" + kPasswd + ".bak=older");
        machine.Arrange("fault:" + fault + "=" + std::to_string(limit));
        const Outcome run = machine.Run({"-u", "kim", "-f", kPasswd});
        const bool whole = limit >= fresh.size();
        const bool killed = fault == "kill_after_bytes" && !whole;
        EXPECT_EQ(run.status, killed ? 137u : 0u);
        EXPECT_EQ(run.out, whole || killed ? "" : Entry("kim"));
        EXPECT_EQ(machine.FileState(kPasswd) + "|" + machine.FileState(kPasswd + ".bak"),
                  whole ? fresh + "|" + old : old + "|older");
        if (killed) {
            // The next run takes over whatever the killed one left.
            machine.Arrange("fault:kill_after_bytes=99999");
            EXPECT_EQ(machine.Run({"-u", "kim", "-f", kPasswd}).out, "");
            EXPECT_EQ(machine.FileState(kPasswd) + "|" + machine.FileState(kPasswd + ".bak"),
                      fresh + "|" + old);
        }
        EXPECT_EQ(machine.FileState(kPasswd + ".acctmap-new"), "<none>");
    }
}

TEST(PasswdStress, FullDiskAtEveryByte) {
    SweepFault("write_limit");
}

TEST(PasswdStress, KillAtEveryByte) {
    SweepFault("kill_after_bytes");
}

}  // namespace
