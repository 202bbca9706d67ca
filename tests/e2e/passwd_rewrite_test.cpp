// NT-mode runs end to end on real files: the entry's layout, which lines of
// the passwd file stay, its backup, and every way a run leaves the passwd
// file as it was. Kills, runs at the same time and a full disk are in
// passwd_stress_test.cpp.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/run_acctmap.h"

namespace {

const std::string kOld = "alice:1\r\nSALES\\jdoe:0\r\nbob:2";
const std::string kNoSid =
    "acctmap (301): [1332] No mapping between account names and security IDs was done.\r\r\n ";
const std::string kLong(5000, 'x');
// Lines that end right at, or just beyond, a 1024-byte piece of the reader.
const std::string kEdge = "a:" + std::string(1022, 'y') + "\r\nb:" + std::string(1021, 'y');
const std::string k255(255, 'a');

struct RunCase {
    const char* name;
    std::vector<std::string> words;  // after -u jdoe -d SALES; the last of an option counts
    std::string before;              // the passwd file
    std::string after;
    std::string out = "";
    std::string err = "";
    int status = 0;
    std::string extra = "";  // appended to the machine
    unsigned mode = 0640;    // of the passwd file, kept by a rewrite
    bool busy = false;       // another process holds the lock all along
};

TEST(PasswdRun, RewritesOrLeavesThePasswdFile) {
    const std::string domain(251, 'd');  // with "\jdoe", one character too many
    const std::vector<std::string> f = {"-f", "passwd"};
    // clang-format off
    const std::vector<RunCase> cases = {
        {"case of ASCII letters", {"-f", "passwd", "-s", "bob"}, "bob:1\r\nBOB:2\r\nbobby:3\r\nBob:4", "bobby:3\r\n" + JdoeEntry("bob")},
        {"accented letters byte for byte", {"-f", "passwd", "-s", "b\xe9o"}, "b\xc9o:1\r\nb\xe9o:2", "b\xc9o:1\r\n" + JdoeEntry("b\xe9o")},
        {"domain name without -s", f, "SALES\\jdoe:1\r\nsales\\JDOE:2\r\njdoe:3", "jdoe:3" + JdoeEntry()},
        {"-s name, not the Windows name", {"-f", "passwd", "-s", "jane"}, "jane:1\r\njdoe:2\r\nJANE:3", "jdoe:2\r\n" + JdoeEntry("jane")},
        {"the whole text before the colon is the name", f, "SALES\\jdoe x:1\r\n:2\r\nSALES\\jdoe:2:3", "SALES\\jdoe x:1\r\n:2\r\n" + JdoeEntry()},
        {"at most 256 characters compared", {"-f", "passwd", "-s", k255}, std::string(255, 'A') + ":1\r\n" + k255 + "a:2", k255 + "a:2" + JdoeEntry(k255)},
        {"empty file", f, "", JdoeEntry()},
        {"lines without a colon vanish", f, "# users\r\n\r\nalice:1\r\nnot a line", "alice:1\r\n" + JdoeEntry()},
        {"last line ending in a line feed", f, "alice:1\n", "alice:1\r\n" + JdoeEntry()},
        {"bare line feeds come out as CR LF", f, "a:1\nb:2\n\nc:3", "a:1\r\nb:2\r\nc:3" + JdoeEntry()},
        {"lone carriage returns are data", f, "a\r:1\r\r\nb:2", "a\r:1\r\r\nb:2" + JdoeEntry()},
        {"Ctrl-Z and NUL are data", f, std::string("a\x1a:1\r\n\x1a\r\nb:\0c", 13), std::string("a\x1a:1\r\nb:\0c", 10) + JdoeEntry()},
        {"long lines whole", f, "alice:" + kLong + "\r\nSALES\\jdoe:" + kLong + "\r\n" + kLong + ":z\r\n" + kLong + "\r\n" + kEdge, "alice:" + kLong + "\r\n" + kLong + ":z\r\n" + kEdge + JdoeEntry()},
        // The entry on standard output, or the run refused.
        {"domain account", {}, kOld, kOld, JdoeEntry()},
        {"local account without identifier", {"-d", "", "-s", "jane", "-p", "D:\\Users\\jane"}, kOld, kOld, "\r\njane:unused_by_nt/2000/xp:1003:513:U-jdoe:/cygdrive/D/Users/jane:/bin/switch", kNoSid + "(jdoe)\r\n"},
        {"largest ids, identifier without domain, blanked comment bytes", {"-u", "od:d", "-d", "", "-s", "odd", "-p", "/home/odd"}, kOld, kOld, "\r\nodd:unused_by_nt/2000/xp:4294967295:4294967295:Doe  Jane ,U-od d,S-1-5-21-7-8-9-1003:/home/odd:/bin/switch"},
        {"no controller", {"-f", "passwd", "-d", "NOWHERE"}, kOld, kOld, "", "Could not find the domain controller for the domain.\r\n", 1},
        {"home stage fails", f, kOld, kOld, "", "Open Registry Error.\r\nAccess is denied.\r\r\n\r\n", 1, "[registry_denied]\n'SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home' = 5\n"},
        {"colon in login name", {"-f", "passwd", "-s", "a:b"}, kOld, kOld, "", "Invalid character in login name: a:b\r\n", 1},
        {"line feed in login name", {"-f", "passwd", "-s", "root\n"}, kOld, kOld, "", "Invalid character in login name: root\r\n\r\n", 1},
        {"control byte in login name", {"-f", "passwd", "-s", "a\x1f"}, kOld, kOld, "", "Invalid character in login name: a\x1f\r\n", 1},
        {"colon in home", {"-f", "passwd", "-p", "/home/a:b"}, kOld, kOld, "", "Invalid character in home directory: /home/a:b\r\n", 1},
        {"carriage return in home", {"-f", "passwd", "-p", "C:\\x\ry"}, kOld, kOld, "", "Invalid character in home directory: /cygdrive/C/x\ry\r\n", 1},
        {"login name of 256 characters", {"-d", domain, "-p", "/h", "-f", "passwd"}, kOld, kOld, "", kNoSid + "(jdoe)\r\nLogin name is longer than 255 characters: " + domain + "\\jdoe\r\n", 1, "'" + domain + "' = { controller = '\\\\dc1' }\n"},
        {"failed copy: the older backup is not used", f, kOld, kOld, JdoeEntry(), "", 0, "[faults]\ncopy_file = 5\n"},
        {"read-only passwd file", f, kOld, kOld, JdoeEntry(), "", 0, "", 0444},
        {"busy passwd file", f, kOld, kOld, JdoeEntry(), "Passwd file passwd is busy; the entry was not written to it.\r\n", 0, "", 0640, true},
        {"no lock in a missing folder", {"-f", "nodir/passwd"}, kOld, kOld, JdoeEntry()},
    };
    // clang-format on
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string passwd = dir.Write("passwd", c.before);
        ASSERT_EQ(chmod(passwd.c_str(), c.mode), 0);
        dir.Write("passwd.bak", "stale:1");
        if (c.after != c.before) {
            dir.Write("passwd.acctmap-new", "what a killed run left");
        }
        int holder = c.busy ? open((passwd + ".lock").c_str(), O_RDWR | O_CREAT, 0644) : -1;
        ASSERT_TRUE(!c.busy || flock(holder, LOCK_EX) == 0);
        auto start = std::chrono::steady_clock::now();
        RunResult result = RunJdoe(dir, c.words, kPasswdMachine + c.extra);
        if (c.busy) {
            // It waited its 10 seconds for the lock.
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(9900));
            close(holder);
            unlink((passwd + ".lock").c_str());
        }
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(SameBytes(dir.Read("passwd"), c.after));
        // The backup is the file as it was whenever the copy was made; a
        // read-only file is found out only after that.
        const bool copied = c.after != c.before || c.mode == 0444;
        EXPECT_TRUE(SameBytes(dir.Read("passwd.bak"), copied ? c.before : "stale:1"));
        struct stat status = {};
        ASSERT_EQ(stat(passwd.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, c.mode);
        // A rewrite takes over what a killed run left, and no run leaves
        // a file of its own.
        for (const char* left : {"passwd.acctmap-new", "passwd.lock", "nodir"}) {
            EXPECT_FALSE(dir.Exists(left)) << left;
        }
    }
}

// Runs in a row: a missing file is rebuilt from its backup, a second run for
// the same name changes nothing, a run for another name drops the empty line
// that a line feed at the end of the file left.
TEST(PasswdRun, RunsInARow) {
    TempDir dir;
    RunResult nothing = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_EQ(nothing.out, JdoeEntry());
    EXPECT_FALSE(dir.Exists("passwd") || dir.Exists("passwd.bak"));

    dir.Write("passwd.bak", "alice:1\n");
    const std::string once = "alice:1\r\n" + JdoeEntry();
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunJdoe(dir, {"-f", "passwd"}).out, "");
        EXPECT_EQ(dir.Read("passwd"), once);
        EXPECT_EQ(dir.Read("passwd.bak"), run == 0 ? "alice:1\n" : once);
    }
    RunResult other = RunJdoe(dir, {"-f", "passwd", "-s", "jane"});
    EXPECT_EQ(other.out + other.err, "");
    EXPECT_EQ(other.status + nothing.status, 0);
    EXPECT_EQ(dir.Read("passwd"), "alice:1" + JdoeEntry() + JdoeEntry("jane"));
}

}  // namespace
