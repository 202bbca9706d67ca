// The passwd rewrite under real faults and real company: a full disk or a
// kill at any byte of the new file, runs at once under every spelling of the
// file's name, and a kill between runs that name it differently.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace {

// The 64-bit exe at every byte, the 32-bit one at every 7th and both ends.
#ifdef _WIN64
const size_t kSweepStep = 1;
#else
const size_t kSweepStep = 7;
#endif

// A small rewrite with a fault at every byte of its new file: FULL_AFTER (a
// full disk) or KILL_AFTER (a crash at that moment).
void SweepFault(const std::string& fault) {
    Harness machine;
    const std::string passwd = Expand("$(pw)", machine);
    const std::string entry = Expand("$(e:$(user))", machine);
    const std::string old = "alice:1\r\n" + machine.Token("user") + ":0\r\n# note\r\nbob:2";
    const std::string fresh = "alice:1\r\nbob:2" + TextMode(entry);
    for (size_t limit = 0; limit <= fresh.size();
         limit = limit + kSweepStep < fresh.size() ? limit + kSweepStep : limit + 1) {
        SCOPED_TRACE(fault + " " + std::to_string(limit));
        machine.Arrange("file:" + passwd + "=" + old);
        machine.Arrange("file:" + passwd + ".bak=older");
        machine.Arrange("fault:" + fault + "=" + std::to_string(limit));
        const Outcome run = machine.Run({"-u", machine.Token("user"), "-f", passwd});
        const bool whole = limit >= fresh.size();
        const bool killed = fault == "KILL_AFTER" && !whole;
        if (!killed) {
            EXPECT_EQ(run.status, 0u);
            EXPECT_EQ(run.out, whole ? "" : TextMode(entry));
            EXPECT_EQ(run.err, whole ? ""
                                     : TextMode("Passwd file " + passwd +
                                                " could not be rewritten (error 112); the "
                                                "entry was not written to it.\n"));
        }
        EXPECT_EQ(machine.FileState(passwd) + "|" + machine.FileState(passwd + ".bak"),
                  whole ? fresh + "|" + old : old + "|older");
        // The next run takes over whatever the faulty one left.
        machine.Arrange("nofault");
        if (!whole) {
            EXPECT_EQ(machine.Run({"-u", machine.Token("user"), "-f", passwd}).out, "");
            EXPECT_EQ(machine.FileState(passwd), fresh);
        }
        ExpectNoLeftovers(machine, passwd);
    }
}

TEST(Faults, FullDiskAtEveryByte) {
    SweepFault("FULL_AFTER");
}

TEST(Faults, KillAtEveryByte) {
    SweepFault("KILL_AFTER");
}

// Every entry once, in any order, after the old lines.
void ExpectAllLanded(const std::string& result, const std::string& old,
                     const std::set<std::string>& entries) {
    ASSERT_EQ(result.compare(0, old.size(), old), 0) << "an earlier line changed";
    std::multiset<std::string> added;
    for (size_t at = old.size(); at < result.size();) {
        const size_t next = result.find("\r\n", at + 2);
        added.insert(result.substr(at, next - at));
        at = next == std::string::npos ? result.size() : next;
    }
    EXPECT_EQ(added, std::multiset<std::string>(entries.begin(), entries.end()));
}

TEST(Spellings, RunsAtOnceUnderEverySpellingAllLandOnce) {
    Harness machine;
    const std::string folder = machine.Token("dir") + "\\etc";
    const std::string passwd = folder + "\\passwd-accounts";
    std::string old;
    for (int i = 0; i < 2000; ++i) {
        old += "user" + std::to_string(i) + ":x:" + std::to_string(i) + ":513::/home:/bin/sh\r\n";
    }
    old += "last:x";
    machine.Arrange("file:" + passwd + "=" + old);
    char unixPrefix[MAX_PATH] = "";
    GetEnvironmentVariableA("WINEPREFIX", unixPrefix, sizeof unixPrefix);
    std::string zDrive = "Z:" + std::string(unixPrefix) + "\\drive_c" + passwd.substr(2);
    std::replace(zDrive.begin(), zDrive.end(), '/', '\\');
    char shortName[MAX_PATH] = "";
    ASSERT_NE(GetShortPathNameA(passwd.c_str(), shortName, sizeof shortName), 0u);
    std::string upper = passwd, slashes = passwd;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::vector<std::string> spellings = {passwd,       upper,
                                                slashes,      folder + "\\..\\etc\\passwd-accounts",
                                                zDrive,       "\\\\?\\" + passwd,
                                                passwd + ".", passwd + " ",
                                                shortName};
    std::set<std::string> entries;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::vector<std::string>> runs;
        for (int i = 0; i < 16; ++i) {
            const std::string login = "r" + std::to_string(round) + "login" + std::to_string(i);
            entries.insert(Expand("$(E:" + login + ")", machine));
            runs.push_back({"-u", machine.Token("user"), "-s", login, "-f",
                            spellings[(round * 16 + i) % spellings.size()]});
        }
        for (const Outcome& run : machine.RunAtOnce(runs)) {
            EXPECT_EQ(run.status, 0u);
            EXPECT_EQ(run.err + run.out, "");
        }
        ExpectAllLanded(machine.FileState(passwd), old, entries);
    }
    EXPECT_EQ(machine.FileState(passwd + "?name"), "passwd-accounts");
    ExpectNoLeftovers(machine, passwd);
}

// A run on "passwd." and one on "passwd", a killed run, then "passwd." again:
// one lock, one backup, nothing lost.
TEST(Spellings, TrailingDotAndAKillLoseNothing) {
    Harness machine;
    const std::string passwd = Expand("$(pw)", machine);
    machine.Arrange("file:" + passwd + "=" + "old:1");
    const std::string user = machine.Token("user");
    EXPECT_EQ(machine.Run({"-u", user, "-s", "alice", "-f", passwd + "."}).status, 0u);
    EXPECT_EQ(machine.Run({"-u", user, "-s", "bob", "-f", passwd}).status, 0u);
    machine.Arrange("fault:KILL_AFTER=5");
    machine.Run({"-u", user, "-s", "dave", "-f", passwd + " "});
    machine.Arrange("nofault");
    EXPECT_EQ(machine.Run({"-u", user, "-s", "carol", "-f", passwd + "."}).out, "");
    EXPECT_EQ(machine.FileState(passwd), "old:1" + Expand("$(E:alice)$(E:bob)$(E:carol)", machine));
    ExpectNoLeftovers(machine, passwd);
}

}  // namespace
