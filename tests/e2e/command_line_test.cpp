// The command front end end to end: words in, bytes and status out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_acctmap.h"

namespace {

const char kNt[] = "family = \"nt\"\n";
const char kLegacy[] = "family = \"95\"\nlogged_on_user = \"abc\"\n";
const char kUsage[] =
    "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home path> "
    "-f <passwd file>\r\n";
const char kProgram[] = "C:\\tools\\acctmap.exe";

struct FrontEndCase {
    const char* name;
    const char* profile;
    std::vector<std::string> words;
    std::string out;
    std::string err;
    int status;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FrontEndCase& c, std::ostream* os) {
    *os << c.name;
}

class FrontEnd : public ::testing::TestWithParam<FrontEndCase> {};

TEST_P(FrontEnd, WritesExactlyWhatItShould) {
    const FrontEndCase& c = GetParam();
    TempDir dir;
    RunResult result = RunAcctmap(dir, c.profile, c.words, kProgram);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, c.status);
}

const std::string kShort = std::string("Try `") + kProgram + " -h' for more information.\r\n";
const std::string kLong = std::string("Try `") + kProgram + " --help' for more information.\r\n";
const std::string kMissingUser = "Specify which user to add with -u option\r\n";

INSTANTIATE_TEST_SUITE_P(
    Options, FrontEnd,
    ::testing::Values(
        FrontEndCase{"NtWithoutWords", kNt, {}, "", kUsage, 1},
        FrontEndCase{"StrayWordNt", kNt, {"bob"}, "", kUsage, 1},
        FrontEndCase{"StrayWordLegacy", kLegacy, {"bob"}, "", kUsage, 1},
        FrontEndCase{"EmptyWord", kNt, {""}, "", kUsage, 1},
        FrontEndCase{"StrayWordAfterOptions", kNt, {"-u", "bob", "extra"}, "", kUsage, 1},
        FrontEndCase{"UnknownLetter", kNt, {"-x"}, "", kShort, 1},
        FrontEndCase{"UpperCaseLetter", kNt, {"-U", "bob"}, "", kShort, 1},
        FrontEndCase{"LoneDash", kLegacy, {"-"}, "", kShort, 1},
        FrontEndCase{"OtherLongWord", kNt, {"--version"}, "", kShort, 1},
        FrontEndCase{"LongHelpWordExactlyOnly", kNt, {"--helpme"}, "", kShort, 1},
        FrontEndCase{"ErrorBeforeHelp", kNt, {"-x", "-h"}, "", kShort, 1},
        FrontEndCase{"ValueMissingNt", kNt, {"-u"}, "", kLong, 1},
        FrontEndCase{"ValueMissingLegacy", kLegacy, {"-d", "corp", "-u"}, "", kLong, 1},
        FrontEndCase{"LetterWithTail", kNt, {"-user"}, "", kLong, 1},
        FrontEndCase{"HelpNt", kNt, {"-h"}, kUsage, "", 0},
        FrontEndCase{"HelpWithTail", kNt, {"-help"}, kUsage, "", 0},
        FrontEndCase{"LongHelp", kNt, {"--help"}, kUsage, "", 0},
        FrontEndCase{"HelpLegacyPrintsNoEntries", kLegacy, {"-h"}, kUsage, "", 0},
        FrontEndCase{"HelpEndsTheLoop", kNt, {"-u", "bob", "-h", "stray"}, kUsage, "", 0},
        FrontEndCase{"EmptyUser", kNt, {"-u", ""}, "", kMissingUser, 1},
        FrontEndCase{"NoUser", kNt, {"-d", "SALES", "-f", "passwd"}, "", kMissingUser, 1},
        FrontEndCase{"ValueTooLongS",
                     kNt,
                     {"-s", std::string(256, 's'), "-u", "bob"},
                     "",
                     "The value of -s is longer than 255 characters.\r\n",
                     1},
        FrontEndCase{"ValueTooLongD",
                     kLegacy,
                     {"-d", std::string(256, 'd')},
                     "",
                     "The value of -d is longer than 255 characters.\r\n",
                     1},
        FrontEndCase{"ValueTooLongU",
                     kNt,
                     {"-u", std::string(260, 'u')},
                     "",
                     "The value of -u is longer than 259 characters.\r\n",
                     1},
        FrontEndCase{"ValueTooLongP",
                     kNt,
                     {"-u", "bob", "-p", std::string(260, 'p')},
                     "",
                     "The value of -p is longer than 259 characters.\r\n",
                     1},
        FrontEndCase{"ValueTooLongF",
                     kNt,
                     {"-f", std::string(300, 'f'), "-u", "bob"},
                     "",
                     "The value of -f is longer than 259 characters.\r\n",
                     1}),
    [](const ::testing::TestParamInfo<FrontEndCase>& info) { return info.param.name; });

// Values at their longest are taken; the run then fails only later, at the
// account lookup, which proves the value passed the option loop.
TEST(FrontEndLimits, LongestValuesPass) {
    TempDir dir;
    RunResult result = RunAcctmap(
        dir, kNt,
        {"-s", std::string(255, 's'), "-d", std::string(255, 'd'), "-p", std::string(259, 'p'),
         "-f", std::string(259, 'f'), "-u", std::string(259, 'u')});
    EXPECT_EQ(result.err.find("longer than"), std::string::npos) << result.err;
    EXPECT_EQ(result.status, 1);
}

TEST(FrontEndLegacy, EmptyCommandLineListsAndOptionsPlayNoPart) {
    TempDir dir;
    RunResult plain = RunAcctmap(dir, kLegacy, {});
    RunResult withOptions =
        RunAcctmap(dir, kLegacy, {"-u", "bob", "-d", "corp", "-s", "x", "-f", "passwd"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(plain.out.rfind("admin:use_crypt:500:544:Administrator:/home/admin:/bin/bash\r\n", 0),
              0u)
        << plain.out;
    EXPECT_EQ(withOptions.out, plain.out);
    EXPECT_EQ(withOptions.status, 0);
    EXPECT_FALSE(dir.Exists("passwd"));
}

// The last occurrence of an option counts, and a value may begin with '-'.
TEST(FrontEndValues, LastOccurrenceAndDashValues) {
    TempDir dir;
    const std::string profile = std::string(kNt) +
                                "[[accounts]]\nserver = ''\nname = 'bob'\nuser_id = 1001\n"
                                "primary_group_id = 513\n";
    RunResult replaced = RunAcctmap(dir, profile, {"-u", "ann", "-u", "bob"});
    EXPECT_EQ(replaced.err.find("could not be found"), std::string::npos) << replaced.err;
    RunResult dashValue = RunAcctmap(dir, profile, {"-u", "-d"});
    EXPECT_EQ(dashValue.err, "The username could not be found.\r\n");
    EXPECT_EQ(dashValue.status, 1);
}

}  // namespace

namespace {

// Without ACCTMAP_MACHINE the program runs on the bundled example machine.
TEST(FrontEndMachine, BuiltInExampleRunsOutOfTheBox) {
    TempDir dir;
    RunResult result = RunAcctmap(dir, "", {"-u", "jdoe"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("\r\njdoe:unused_by_nt/2000/xp:1003:513:Jane Doe,U-WS01\\jdoe,", 0),
              0u)
        << result.out;
}

}  // namespace
