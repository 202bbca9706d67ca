// The front end as a Windows user meets it: usage text, hints and statuses,
// with every line end as the C runtime's text mode writes it.
#include "windows/e2e/wine_machine.h"

namespace {

const char kUsage[] =
    "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home path> "
    "-f <passwd file>\n";

struct FrontEndCase {
    const char* name;
    std::vector<std::string> words;
    std::string out;
    std::string err;
    DWORD status;
};

class CommandLine : public WineTest, public ::testing::WithParamInterface<FrontEndCase> {};

TEST_P(CommandLine, PrintsAndEnds) {
    const FrontEndCase& c = GetParam();
    ProcessResult run = Acctmap(c.words, "C:\\tools\\acctmap.exe");
    EXPECT_EQ(run.out, TextMode(c.out));
    EXPECT_EQ(run.err, TextMode(c.err));
    EXPECT_EQ(run.status, c.status);
    // None of these gets as far as the account database.
    EXPECT_TRUE(NetapiCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Wine, CommandLine,
    ::testing::Values(
        FrontEndCase{"NoWords", {}, "", kUsage, 1},
        FrontEndCase{"Help", {"-u", "bob", "-h"}, kUsage, "", 0},
        FrontEndCase{"LongHelp", {"--help"}, kUsage, "", 0},
        FrontEndCase{"UnknownLetter",
                     {"-x", "-h"},
                     "",
                     "Try `C:\\tools\\acctmap.exe -h' for more information.\n",
                     1},
        FrontEndCase{"ValueMissing",
                     {"-d", "SALES", "-u"},
                     "",
                     "Try `C:\\tools\\acctmap.exe --help' for more information.\n",
                     1},
        FrontEndCase{"StrayWord", {"-u", "bob", "extra"}, "", kUsage, 1},
        FrontEndCase{"NoUser", {"-u", ""}, "", "Specify which user to add with -u option\n", 1},
        FrontEndCase{"ValueTooLong",
                     {"-s", std::string(256, 's'), "-u", "bob"},
                     "",
                     "The value of -s is longer than 255 characters.\n",
                     1}),
    [](const ::testing::TestParamInfo<FrontEndCase>& info) { return info.param.name; });

}  // namespace
