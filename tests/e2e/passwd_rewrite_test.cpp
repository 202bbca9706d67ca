// The passwd entry and the rewrite end to end on real files: which lines
// stay, the backup, the standard-output fallbacks and the refused fields.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "e2e/passwd_machine.h"
#include "support/run_acctmap.h"

namespace {

TEST(PasswdEntry, LayoutsOnStandardOutput) {
    TempDir dir;
    RunResult domain = RunJdoe(dir, {});
    EXPECT_EQ(domain.out, JdoeEntry());
    EXPECT_EQ(domain.err, "");
    EXPECT_EQ(domain.status, 0);

    // No identifier for the local jdoe: no domain and no identifier either.
    RunResult local =
        RunAcctmap(dir, kPasswdMachine, {"-u", "jdoe", "-s", "jane", "-p", "D:\\Users\\jane"});
    EXPECT_EQ(local.out,
              "\r\njane:unused_by_nt/2000/xp:1003:513:U-jdoe:/cygdrive/D/Users/jane:/bin/switch");
    EXPECT_EQ(local.status, 0);

    // Largest ids, an identifier without a domain, and comment bytes that
    // would break the line.
    RunResult odd = RunAcctmap(dir,
                               "[[accounts]]\nserver = ''\nname = 'od:d'\nuser_id = 4294967295\n"
                               "primary_group_id = 4294967295\nfull_name = \"Doe: Jane\\t\"\n"
                               "[lookup]\n'od:d' = { sid = 'S-1-5-21-7-8-9-1003', domain = '' }\n"
                               "[registry.'SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home']\n"
                               "native = 'C:\\cygwin\\home'\n",
                               {"-u", "od:d", "-s", "odd", "-p", "/home/odd"});
    EXPECT_EQ(odd.out,
              "\r\nodd:unused_by_nt/2000/xp:4294967295:4294967295:Doe  Jane ,U-od d,"
              "S-1-5-21-7-8-9-1003:/home/odd:/bin/switch");
    EXPECT_EQ(odd.status, 0);
}

struct RewriteCase {
    const char* name;
    std::string login;  // the -s value, if any
    std::string passwd;
    std::string expected;
};

// Test names and reports show the case's name, not its bytes.
void PrintTo(const RewriteCase& c, std::ostream* os) {
    *os << c.name;
}

class PasswdRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(PasswdRewrite, LeavesTheRightLinesAndBackup) {
    const RewriteCase& c = GetParam();
    TempDir dir;
    dir.Write("passwd", c.passwd);
    std::vector<std::string> words = {"-f", "passwd"};
    if (!c.login.empty()) {
        words.insert(words.end(), {"-s", c.login});
    }
    RunResult result = RunJdoe(dir, words);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(SameBytes(dir.Read("passwd"), c.expected));
    EXPECT_TRUE(SameBytes(dir.Read("passwd.bak"), c.passwd));
    EXPECT_FALSE(dir.Exists("passwd.acctmap-new"));
}

const std::string kLong(5000, 'x');
// Lines that end right at, or just beyond, a 1024-byte piece of the reader.
const std::string kEdge = "a:" + std::string(1022, 'y') + "\r\nb:" + std::string(1021, 'y');
const std::string k255(255, 'a');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, PasswdRewrite, ::testing::Values(
    RewriteCase{"CaseOfAsciiLetters", "bob", "bob:1\r\nBOB:2\r\nbobby:3\r\nBob:4",
                "bobby:3\r\n" + JdoeEntry("bob")},
    RewriteCase{"AccentedLettersByteForByte", "b\xe9o", "b\xc9o:1\r\nb\xe9o:2",
                "b\xc9o:1\r\n" + JdoeEntry("b\xe9o")},
    RewriteCase{"DomainNameWithoutS", "", "SALES\\jdoe:1\r\nsales\\JDOE:2\r\njdoe:3",
                "jdoe:3" + JdoeEntry()},
    RewriteCase{"SNameNotWindowsName", "jane", "jane:1\r\njdoe:2\r\nJANE:3",
                "jdoe:2\r\n" + JdoeEntry("jane")},
    RewriteCase{"WholeTextBeforeColonIsTheName", "", "SALES\\jdoe x:1\r\n:2\r\nSALES\\jdoe:2:3",
                "SALES\\jdoe x:1\r\n:2\r\n" + JdoeEntry()},
    RewriteCase{"AtMost256CharactersCompared", k255, std::string(255, 'A') + ":1\r\n" + k255 + "a:2",
                k255 + "a:2" + JdoeEntry(k255)},
    RewriteCase{"EmptyFile", "", "", JdoeEntry()},
    RewriteCase{"LinesWithoutColonVanish", "", "# users\r\n\r\nalice:1\r\nnot a line",
                "alice:1\r\n" + JdoeEntry()},
    RewriteCase{"LastLineEndingInLineFeed", "", "alice:1\n", "alice:1\r\n" + JdoeEntry()},
    RewriteCase{"BareLineFeedsComeOutAsCrLf", "", "a:1\nb:2\n\nc:3", "a:1\r\nb:2\r\nc:3" + JdoeEntry()},
    RewriteCase{"LoneCarriageReturnsAreData", "", "a\r:1\r\r\nb:2", "a\r:1\r\r\nb:2" + JdoeEntry()},
    RewriteCase{"CtrlZAndNulAreData", "", std::string("a\x1a:1\r\n\x1a\r\nb:\0c", 13),
                std::string("a\x1a:1\r\nb:\0c", 10) + JdoeEntry()},
    RewriteCase{"LongLinesWhole", "", "alice:" + kLong + "\r\nSALES\\jdoe:" + kLong + "\r\n" + kLong +
                ":z\r\n" + kLong + "\r\n" + kEdge,
                "alice:" + kLong + "\r\n" + kLong + ":z\r\n" + kEdge + JdoeEntry()}),
    [](const ::testing::TestParamInfo<RewriteCase>& info) { return info.param.name; });
// clang-format on

TEST(PasswdRewriteMissing, EntryOnStandardOutputOrRebuiltFromTheBackup) {
    TempDir dir;
    RunResult nothing = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_EQ(nothing.out, JdoeEntry());
    EXPECT_FALSE(dir.Exists("passwd"));
    EXPECT_FALSE(dir.Exists("passwd.bak"));

    dir.Write("passwd.bak", "alice:1\r\nSALES\\jdoe:0");
    RunResult rebuilt = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_EQ(rebuilt.out, "");
    EXPECT_EQ(dir.Read("passwd"), "alice:1\r\n" + JdoeEntry());
    EXPECT_EQ(dir.Read("passwd.bak"), "alice:1\r\nSALES\\jdoe:0");
    EXPECT_EQ(nothing.status + rebuilt.status, 0);
}

// Running again for the same login name changes nothing; a run for another
// name drops the empty line that a line feed at the end of the file left.
TEST(PasswdRewriteAgain, LeavesOneLineAndTheLastStateAsBackup) {
    TempDir dir;
    dir.Write("passwd", "alice:1\n");
    const std::string once = "alice:1\r\n" + JdoeEntry();
    RunResult first = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_EQ(dir.Read("passwd"), once);
    RunResult second = RunJdoe(dir, {"-f", "passwd"});
    EXPECT_EQ(dir.Read("passwd"), once);
    EXPECT_EQ(dir.Read("passwd.bak"), once);
    RunResult other = RunJdoe(dir, {"-f", "passwd", "-s", "jane"});
    EXPECT_EQ(dir.Read("passwd"), "alice:1" + JdoeEntry() + JdoeEntry("jane"));
    for (const RunResult& run : {first, second, other}) {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
    }
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> words;
    std::string err;
};

// Test names and reports show the case's name, not its bytes.
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class PasswdRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(PasswdRefused, TouchesNoFile) {
    const RefusedCase& c = GetParam();
    TempDir dir;
    dir.Write("passwd", "alice:1");
    std::vector<std::string> words = {"-f", "passwd"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    RunResult result = RunJdoe(dir, words);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(dir.Read("passwd"), "alice:1");
    EXPECT_FALSE(dir.Exists("passwd.bak"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fields, PasswdRefused, ::testing::Values(
    RefusedCase{"ColonInLoginName", {"-s", "a:b"}, "Invalid character in login name: a:b\r\n"},
    RefusedCase{"LineFeedInLoginName", {"-s", "root\n"},
                "Invalid character in login name: root\r\n\r\n"},
    RefusedCase{"ControlByteInLoginName", {"-s", "a\x1f"},
                "Invalid character in login name: a\x1f\r\n"},
    RefusedCase{"ColonInHome", {"-p", "/home/a:b"},
                "Invalid character in home directory: /home/a:b\r\n"},
    RefusedCase{"CarriageReturnInHome", {"-p", "C:\\x\ry"},
                "Invalid character in home directory: /cygdrive/C/x\ry\r\n"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });
// clang-format on

TEST(PasswdRefusedLogin, LongerThan255Characters) {
    const std::string domain(251, 'd');
    const std::string profile =
        "[domains]\n'" + domain + "' = { controller = '\\\\dc9' }\n" +
        "[[accounts]]\nserver = '\\\\dc9'\nname = 'jdo'\nuser_id = 7\nprimary_group_id = 513\n"
        "[[accounts]]\nserver = '\\\\dc9'\nname = 'jdoe'\nuser_id = 8\nprimary_group_id = 513\n"
        "[registry.'SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home']\n"
        "native = 'C:\\cygwin\\home'\n";
    TempDir dir;
    dir.Write("passwd", "alice:1");
    // 251 + 1 + 3 = 255 characters: taken.
    RunResult fits =
        RunAcctmap(dir, profile, {"-u", "jdo", "-d", domain, "-p", "/h", "-f", "passwd"});
    const std::string written =
        "alice:1\r\n" + domain + "\\jdo:unused_by_nt/2000/xp:7:10513:U-jdo:/h:/bin/switch";
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(dir.Read("passwd"), written);
    // 256 characters: refused, after the failed identifier lookup's report.
    RunResult tooLong =
        RunAcctmap(dir, profile, {"-u", "jdoe", "-d", domain, "-p", "/h", "-f", "passwd"});
    const std::string message =
        "Login name is longer than 255 characters: " + domain + "\\jdoe\r\n";
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_EQ(tooLong.out, "");
    ASSERT_GE(tooLong.err.size(), message.size());
    EXPECT_EQ(tooLong.err.substr(tooLong.err.size() - message.size()), message);
    EXPECT_EQ(dir.Read("passwd"), written);
}

}  // namespace
