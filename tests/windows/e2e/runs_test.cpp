// acctmap.exe run by run on Wine: what each run prints (through the C
// runtime's text mode), its status, and what it leaves in Wine's file system.
#include "windows/e2e/wine_machine.h"

#include <algorithm>

namespace {

const char kUsage[] =
    "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home path> "
    "-f <passwd file>\n";
const char kLookupFails[] = "-u jdoe -d SALES";
const char kAddSshuser[] = "-u {user} -s sshuser -f {dir}\\etc\\passwd";
const std::string kAlice = "alice:x:1001:513::/home/alice:/bin/sh\n";
const std::string kAliceCrLf = "alice:x:1001:513::/home/alice:/bin/sh\r\n";
// The Wine user's entry under the login name sshuser, home in its profile.
const std::string kEntry = "sshuser{fields}/cygdrive/C/users/{user}:/bin/switch";
// An old passwd file: an entry of sshuser (in other case), a line without a
// colon, a Ctrl-Z inside a line and on a line of its own, no last line end.
const std::string kOld =
    kAlice + "SSHUSER:x:1:1:old:/:/bin/sh\r\n# no colon\nz:1\x1a:x\n\x1a\nb:x:2:5::/:/bin/sh";

struct Case {
    const char* name;
    const char* words;  // after word 0, blank-separated
    std::string out;    // as the program writes them, "\n" for CR LF
    std::string err;
    DWORD status;
    std::string machine = "";     // set-up steps (see Arrange) separated by "|"
    std::string files = "";       // "<path>=<FileState() after the run>" separated by "|"
    const char* calls = nullptr;  // the stand-in's log, if checked
    int bits = 0;                 // 32 or 64: only for the exe of that width
};

#ifdef _WIN64
const int kBits = 64;
#else
const int kBits = 32;
#endif

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class Runs : public WineTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Runs, PrintAndLeaveWhatTheyShould) {
    const Case& c = GetParam();
    if (c.bits != 0 && c.bits != kBits) {
        GTEST_SKIP() << "for the " << c.bits << "-bit exe";
    }
    for (const std::string& step : Split(c.machine, '|')) {
        ASSERT_NO_FATAL_FAILURE(Arrange(step));
    }
    const std::string out = TextMode(Expand(c.out));
    const auto ansi = [](char b) { return static_cast<unsigned char>(b) >= 0x80; };
    if (std::any_of(out.begin(), out.end(), ansi) && GetACP() != 1252) {
        GTEST_SKIP() << "the prefix's ANSI code page is " << GetACP() << ", not 1252";
    }
    std::vector<std::string> words;
    for (const std::string& word : Split(c.words, ' ')) {
        words.push_back(Expand(word));
    }
    ProcessResult run = Acctmap(words);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, TextMode(Expand(c.err)));
    EXPECT_EQ(run.status, c.status);
    for (const std::string& file : Split(c.files, '|')) {
        const size_t equals = file.find('=');
        EXPECT_EQ(FileState(Expand(file.substr(0, equals))), Expand(file.substr(equals + 1)))
            << file;
    }
    EXPECT_EQ(FileState(dir_ + "\\etc\\passwd.acctmap-new"), "<none>");
    const std::string calls = NetapiCalls();
    if (c.calls != nullptr) {
        EXPECT_EQ(calls, Expand(c.calls));
    }
    // Every record handed out was given back, and nothing else.
    EXPECT_EQ(Count(calls, " = 0 buffer "), Count(calls, "NetApiBufferFree buffer ")) << calls;
    EXPECT_EQ(Count(calls, "unknown"), 0) << calls;
}

INSTANTIATE_TEST_SUITE_P(
    Wine, Runs,
    ::testing::Values(
        // The front end: nothing of it reaches the account database.
        Case{"NoWords", "", "", kUsage, 1, "", "", ""},
        Case{"Help", "-u bob -h", kUsage, "", 0, "", "", ""},
        Case{"Hint", "-x -h", "", "Try `C:\\tools\\acctmap.exe -h' for more information.\n", 1, "",
             "", ""},
        // GetVersion answers for the Windows 95 family, GetUserNameA with the
        // Wine user; the account options do not count there.
        Case{"LegacyListing", "-u bob -d corp -p /users/",
             "admin:use_crypt:500:544:Administrator:/users/admin:/bin/bash\n"
             "{user}:use_crypt:{luid}:544:{user}:/users/{user}:/bin/bash\n",
             "", 0, "win98", "", ""},

        // NT mode for the Wine user: LookupAccountNameA's SID, the profile
        // directory of Wine's ProfileList key, the account record at level 3.
        Case{"WineUser", "-u {user}", "\n{user}{fields}/cygdrive/C/users/{user}:/bin/switch", "", 0,
             "", "", "NetUserGetInfo . {user} 3 = 0 buffer 1\nNetApiBufferFree buffer 1\n"},
        Case{"DomainAccount", "-u {user} -d {dom}",
             "\n{dom}\\{user}:unused_by_nt/2000/xp:{rid}:10513:U-{dom}\\{user},{sid}:"
             "/cygdrive/C/users/{user}:/bin/switch",
             "", 0, "accounts=dc\t{dom}\t\\\\dc1\nuser\t\\\\dc1\t{user}\t{rid}\t513\n"},
        // The account database speaks UTF-16, the entry the ANSI code page.
        Case{"AnsiFullName", "-u {user}",
             "\n{user}:unused_by_nt/2000/xp:{rid}:513:Jos\xe9 M\xfcller,U-{dom}\\{user},{sid}:"
             "/cygdrive/C/users/{user}:/bin/switch",
             "", 0, "accounts=user\t.\t{user}\t{rid}\t513\tJos\xc3\xa9 M\xc3\xbcller\n"},
        Case{"ProfilePathExpanded", "-u {user}",
             "\n{user}{fields}/cygdrive/C/users/{user}:/bin/switch", "", 0,
             "profile=%SystemDrive%\\users\\{user}"},
        Case{"ProfileUnderTheMount", "-u {user}", "\n{user}{fields}/home/{user}:/bin/switch", "", 0,
             "mount=C:\\Users"},
        Case{"FallbackDirectoryMade", "-u {user}", "\n{user}{fields}/home/tarnwick:/bin/switch", "",
             0, "profile={dir}\\no such profile",
             "{dir}\\home\\tarnwick=<dir>|{dir}\\no such profile=<none>"},
        // Known to the account database, not to Wine: Wine's text, no SID.
        Case{
            "SidLookupFails", "-u ghost",
            "\nghost:unused_by_nt/2000/xp:1005:513:Ghost Writer,U-ghost:/home/tarnwick:/bin/switch",
            "acctmap (301): [1332] {sys:1332} (ghost)\n", 0,
            "accounts=user\t.\tghost\t1005\t513\tGhost Writer\n"},

        // Each way the account lookup ends a run.
        Case{"InvalidDomain", "-u jdoe -d BAD*NAME", "", "Domainname: BAD*NAME is invalid\n", 1,
             "accounts=dc\tBAD*NAME\terror=123\n", "", "NetGetDCName BAD*NAME = 123\n"},
        Case{"NoController", kLookupFails, "",
             "Could not find the domain controller for the domain.\n", 1, "", "",
             "NetGetDCName SALES = 2453\n"},
        Case{"AccessDenied", kLookupFails, "",
             "The user does not have access to the requested information.\n", 1,
             "accounts=dc\tSALES\t\\\\dc1\nuser\t\\\\dc1\tjdoe\terror=5\n", "",
             "NetGetDCName SALES = 0 buffer 1\nNetUserGetInfo \\\\dc1 jdoe 3 = 5\n"
             "NetApiBufferFree buffer 1\n"},
        Case{"UnknownUser", "-u nobody", "", "The username could not be found.\n", 1, "", "",
             "NetUserGetInfo . nobody 3 = 2221\n"},
        // A service that cannot be bound fails as itself (127), no crash.
        Case{"NoAccountServices", "-u {user}", "",
             "Could not find domain controller for domain :. \n", 1, "nonetapi"},
        Case{"OtherLookupFailure", "-u jdoe", "",
             "Could not find domain controller for domain :. \n", 1,
             "accounts=user\t.\tjdoe\terror=53\n"},

        // Each way the registry reads end a run, on Wine's registry.
        Case{"NoMountKey", "-u {user}", "", "Open Registry Error.\n{sys:2}\n", 1, "nomount"},
        // A mount table in the 64-bit view only (a 64-bit Cygwin): the
        // 64-bit exe falls back to its own view; the 32-bit exe cannot see it.
        Case{"MountIn64BitViewOnly", "-u {user}", "\n{user}{fields}/home/{user}:/bin/switch", "", 0,
             "mount64=C:\\users", "", nullptr, 64},
        Case{"MountIn64BitViewOnly32", "-u {user}", "", "Open Registry Error.\n{sys:2}\n", 1,
             "mount64=C:\\users", "", nullptr, 32},
        Case{"NoMountValue", "-u {user}", "", "read key value error\n", 1, "mount"},
        Case{"NoProfilePath", "-u {user}", "", "read key value error\n", 1, "noprofile"},
        Case{"FallbackNotMade", "-u {user}", "",
             "Can't create home directory {dir}\\missing\\home\\tarnwick for user {user}\n", 1,
             "mount={dir}\\missing\\home|profile={dir}\\missing\\profile"},

        // The passwd rewrite, as bytes: read as bytes (a text-mode read would
        // end at the Ctrl-Z), written in text mode, the old file kept whole.
        Case{"PasswdRewritten", kAddSshuser, "", "", 0, "file:{dir}\\etc\\passwd=" + kOld,
             "{dir}\\etc\\passwd=" + kAliceCrLf + "z:1\x1a:x\r\nb:x:2:5::/:/bin/sh\r\n" + kEntry +
                 "|{dir}\\etc\\passwd.bak=" + kOld + "|{dir}\\etc\\passwd.lock=<none>"},
        // A missing passwd file is made again from its backup (moved in, as
        // there is nothing to replace).
        Case{"PasswdFromBackup", kAddSshuser, "", "", 0,
             "file:{dir}\\etc\\passwd.bak=" + kAlice + "sshuser:x:1:1::/:/bin/sh\n",
             "{dir}\\etc\\passwd=" + kAliceCrLf + "\r\n" + kEntry},
        // The read-only attribute as Wine keeps it: the file is left alone.
        Case{"PasswdReadOnly", kAddSshuser, "\n" + kEntry, "", 0,
             "file:{dir}\\etc\\passwd=" + kAlice + "|readonly:{dir}\\etc\\passwd",
             "{dir}\\etc\\passwd=" + kAlice},
        // A lock file that can never be had (Wine refuses to open a folder as
        // a file) does not make the run wait.
        Case{"LockIsAFolder", kAddSshuser, "\n" + kEntry, "", 0,
             "file:{dir}\\etc\\passwd=" + kAlice + "|dir:{dir}\\etc\\passwd.lock",
             "{dir}\\etc\\passwd=" + kAlice}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
