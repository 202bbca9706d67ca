// The command front end and the legacy listing end to end: words in, bytes
// and status out.
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
const std::string kShort = std::string("Try `") + kProgram + " -h' for more information.\r\n";
const std::string kLong = std::string("Try `") + kProgram + " --help' for more information.\r\n";
const std::string kNoUser = "Specify which user to add with -u option\r\n";
const std::string kAdmin = "admin:use_crypt:500:544:Administrator:/home/admin:/bin/bash\r\n";
const std::string kListing = kAdmin + "abc:use_crypt:780:544:abc:/home/abc:/bin/bash\r\n";

struct FrontEndCase {
    const char* name;
    std::string profile;  // empty: the built-in example machine
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
    EXPECT_FALSE(dir.Exists("passwd"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Options, FrontEnd, ::testing::Values(
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
    FrontEndCase{"EmptyUser", kNt, {"-u", ""}, "", kNoUser, 1},
    FrontEndCase{"NoUser", kNt, {"-d", "SALES", "-f", "passwd"}, "", kNoUser, 1},
    FrontEndCase{"ValueMayBeginWithDash", kNt, {"-u", "-d"}, "", "The username could not be found.\r\n", 1},
    FrontEndCase{"ValueTooLongS", kNt, {"-s", std::string(256, 's'), "-u", "bob"}, "", "The value of -s is longer than 255 characters.\r\n", 1},
    FrontEndCase{"ValueTooLongD", kLegacy, {"-d", std::string(256, 'd')}, "", "The value of -d is longer than 255 characters.\r\n", 1},
    FrontEndCase{"ValueTooLongU", kNt, {"-u", std::string(260, 'u')}, "", "The value of -u is longer than 259 characters.\r\n", 1},
    FrontEndCase{"ValueTooLongP", kNt, {"-u", "bob", "-p", std::string(260, 'p')}, "", "The value of -p is longer than 259 characters.\r\n", 1},
    FrontEndCase{"ValueTooLongF", kNt, {"-f", std::string(300, 'f'), "-u", "bob"}, "", "The value of -f is longer than 259 characters.\r\n", 1},
    // Values at their longest pass the loop: the run ends only at the lookup.
    FrontEndCase{"LongestValuesPass", kNt, {"-s", std::string(255, 's'), "-d", std::string(255, 'd'), "-p", std::string(259, 'p'), "-f", std::string(259, 'f'), "-u", std::string(259, 'u')}, "", "Could not find the domain controller for the domain.\r\n", 1},
    FrontEndCase{"LegacyEmptyCommandLine", kLegacy, {}, kListing, "", 0},
    // UTF-8 in the profile, code page 1252 from the machine.
    FrontEndCase{"LegacyAccentedName", "family = '95'\nlogged_on_user = '\xc3\xa9'\n", {}, kAdmin + "\xe9:use_crypt:922:544:\xe9:/home/\xe9:/bin/bash\r\n", "", 0},
    FrontEndCase{"LegacyNameKeepsItsCase", "family = '95'\nlogged_on_user = 'Guest'\n", {"-p", ""}, kAdmin + "Guest:use_crypt:633:544:Guest:/home/Guest:/bin/bash\r\n", "", 0},
    FrontEndCase{"LegacyNoLoggedOnUser", "family = '95'\n", {}, kAdmin, "", 0},
    FrontEndCase{"LegacyEmptyUserName", "family = '95'\nlogged_on_user = ''\n", {}, kAdmin, "", 0},
    FrontEndCase{"LegacyPrefixWithSlash", kLegacy, {"-p", "/users/"}, "admin:use_crypt:500:544:Administrator:/users/admin:/bin/bash\r\nabc:use_crypt:780:544:abc:/users/abc:/bin/bash\r\n", "", 0},
    FrontEndCase{"LegacyPrefixWithoutSlash", kLegacy, {"-p", "/home"}, "admin:use_crypt:500:544:Administrator:/homeadmin:/bin/bash\r\nabc:use_crypt:780:544:abc:/homeabc:/bin/bash\r\n", "", 0},
    FrontEndCase{"LegacyIgnoresAllButP", kLegacy, {"-u", "bob", "-d", "corp", "-s", "x", "-f", "passwd"}, kListing, "", 0},
    FrontEndCase{"BuiltInExampleMachine", "", {"-u", "jdoe"}, "\r\njdoe:unused_by_nt/2000/xp:1003:513:Jane Doe,U-WS01\\jdoe,S-1-5-21-1004336348-1177238915-682003330-1003:/cygdrive/C/Users/jdoe:/bin/switch", "", 0}),
    [](const ::testing::TestParamInfo<FrontEndCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
