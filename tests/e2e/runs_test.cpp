// acctmap.exe end to end under Wine, row by row: what a run prints (through
// the C runtime's text mode), its status, and what it leaves on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "messages.h"

namespace {

using namespace std::string_literals;

// Tokens, expanded innermost first: $(user) $(dom) $(sid) $(rid) $(dir) and
// $(sys:N) are the machine's (see Harness::Token); $(N*c) is the character c
// N times, $(len:N) a path of N characters in the machine's folder, $(pw)
// the passwd file, $(fields) the default entry from its password to its
// home field, $(e:X) the user's entry under the login name X as the program
// writes it (a line feed first) and $(E:X) as it reaches the file (CR LF
// first).
struct Row {
    const char* name;
    unsigned where;
    std::string words;    // blank-separated
    std::string machine;  // set-up steps, separated by '|'
    std::string out;      // each "\n" as the runtime writes it: CR LF
    std::string err;
    int status;
    std::string files = "";  // "<path>=<bytes>", "<dir>" or "<none>", separated by '|'
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

const std::string kUsage = MSG_USAGE;
const std::string kEntry = "$(e:$(user))";
const std::string kAdd = "-u $(user) -f $(pw)";
const std::string kFile = "file:$(pw)=";
const std::string kNotWritten = "; the entry was not written to it.\n";
const std::string kOld = "alice:1\n";
const std::string kLegacyAdmin = "admin:use_crypt:500:544:Administrator:";

// Lines that must survive a rewrite whole: no line end, a bare line feed,
// lone CRs, Ctrl-Z and NUL, and lines longer than the filter's blocks, one
// with its ':' only after a whole block.
const std::string kKeptBefore =
    "bare:1\nlone\r:2\r\r\nz\x1a:\0c\r\n"s + "x:$(1100000*v)\r\n$(1100000*y):z\r\n";
const std::string kKeptAfter =
    "bare:1\r\nlone\r:2\r\r\nz\x1a:\0c\r\n"s + "x:$(1100000*v)\r\n$(1100000*y):z\r\n";
const std::string kDropped = "# users\r\n\r\n$(1100000*w)\r\n$(user):0\r\n";

// clang-format off
const std::vector<Row> kRows = {
    // The front end.
    {"NoWords", kBoth, "", "", "", kUsage, 1},
    {"StrayWord", kBoth, "-u bob extra", "", "", kUsage, 1},
    {"UpperCaseLetter", kBoth, "-U bob", "", "", "Try `C:\\tools\\acctmap.exe -h' for more information.\n", 1},
    {"ValueMissing", kBoth, "-d corp -u", "", "", "Try `C:\\tools\\acctmap.exe --help' for more information.\n", 1},
    {"HelpEndsTheLoop", kBoth, "-u bob -h stray", "", kUsage, "", 0},
    {"LongHelp", kBoth, "--help", "", kUsage, "", 0},
    {"WindowsHelp", kBoth, "/?", "", kUsage, "", 0},
    {"Version", kBoth, "-u bob --version", "", "acctmap " ACCTMAP_VERSION "\n", "", 0},
    {"NoUser", kBoth, "-d SALES -f x", "", "", "Specify which user to add with -u option\n", 1},
    {"ValueMayBeginWithDash", kBoth, "-u -d", "", "", "The username could not be found.\n", 1},
    {"ValueTooLong", kBoth, "-s $(256*s) -u bob", "", "", "The value of -s is longer than 255 characters.\n", 1},
    {"PathTooLong", kBoth, "-u $(260*u)", "", "", "The value of -u is longer than 259 characters.\n", 1},
    {"LongestValuesPass", kBoth, "-s $(255*s) -d $(255*d) -p $(259*p) -f $(259*f) -u $(259*u)", "", "", "Could not find the domain controller for the domain.\n", 1},
    // Refused before the home stage makes a directory, and echoed harmlessly.
    {"LoginNameShownSafely", kBoth, "-u $(user) -s a\nb\x1f\x1b\x7f", "profile=C:\\nowhere", "", "Invalid character in login name: a^Jb^_^[^?\n", 1, "$(dir)\\home\\tarnwick=<none>"},

    // The legacy listing: the 95 family's version, GetUserNameA's user (the
    // suite's Wine user is abc), the user id made from the name.
    {"Legacy", kWine32, "-u bob -d corp -p /users/", "win98", kLegacyAdmin + "/users/admin:/bin/bash\nabc:use_crypt:780:544:abc:/users/abc:/bin/bash\n", "", 0},
    {"LegacyDefaultPrefix", kWine32, "", "win98", kLegacyAdmin + "/home/admin:/bin/bash\nabc:use_crypt:780:544:abc:/home/abc:/bin/bash\n", "", 0},

    // The account: its record at level 3, its SID, its profile directory.
    {"User", kBoth, "-u $(user)", "", kEntry, "", 0, "$(dir)\\home\\tarnwick=<none>"},
    // A netapi32.dll beside the exe or in the current folder is never loaded.
    {"PlantedDll", kBoth, "-u $(user)", "planted", kEntry, "", 0},
    // An entry lost on its way out is a failure.
    {"OutputLost", kBoth, "-u $(user)", "outfails", "", "Standard output could not be written.\n", 1},
    {"DomainAccount", kBoth, "-u $(user) -d $(dom) -f $(pw)", "accounts=dc\t$(dom)\t\\\\dc1\nuser\t\\\\dc1\t$(user)\t$(rid)\t513\n|" + kFile + "$(dom)\\$(user):1\r\n$(user):3", "", "", 0, "$(pw)=$(user):3\r\n$(dom)\\$(user):unused_by_nt/2000/xp:$(rid):10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch"},
    {"AnsiFullName", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t$(rid)\t513\tJos\xc3\xa9 M\xc3\xbcller\n", "\n$(user):unused_by_nt/2000/xp:$(rid):513:Jos\xe9 M\xfcller,U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    // A full name cut to its field at the last whole character, a surrogate
    // pair being one (Wine writes it as "??").
    {"FullNameCutWhole", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t$(rid)\t513\t$(510*f)\xf0\x9f\x98\x80x\n", "\n$(user):unused_by_nt/2000/xp:$(rid):513:$(510*f),U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"LargestIdsAndBlankedBytes", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t4294967295\t4294967295\tDoe: Jane\x01\n", "\n$(user):unused_by_nt/2000/xp:4294967295:4294967295:Doe  Jane ,U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"SidLookupFails", kBoth, "-u ghost", "accounts=user\t.\tghost\t1005\t513\tGhost Writer\n", "\nghost:unused_by_nt/2000/xp:1005:513:Ghost Writer,U-ghost:/home/tarnwick:/bin/switch", "acctmap (301): [1332] $(sys:1332) (ghost)\n", 0},
    // No controller named: the domain's own name reaches one (Wine's SID
    // lookup then finds the local user, whatever the domain).
    {"ControllerUnnamed", kBoth, "-u $(user) -d LOST", "accounts=dc\tLOST\terror=1355\nuser\t.\t$(user)\t1\nuser\t\\\\LOST\t$(user)\t4242\t513\n", "\nLOST\\$(user):unused_by_nt/2000/xp:4242:10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"InvalidDomain", kBoth, "-u $(user) -d BAD/NAME", "accounts=dc\tBAD/NAME\terror=123\n", "", "Domainname: BAD/NAME is invalid\n", 1},
    {"NoController", kBoth, "-u $(user) -d NOWHERE", "", "", "Could not find the domain controller for the domain.\n", 1},
    {"AccessDenied", kBoth, "-u jdoe -d SALES", "accounts=dc\tSALES\t\\\\dc1\nuser\t\\\\dc1\tjdoe\terror=5\n", "", "The user does not have access to the requested information.\n", 1},
    {"OtherLookupFailure", kBoth, "-u broken", "accounts=user\t.\tbroken\terror=1722\n", "", "Could not find domain controller for domain :. \n", 1},
    // The account services bound at first use, and not to be had.
    {"NoAccountServices", kBoth, "-u $(user)", "nonetapi", "", "Could not find domain controller for domain :. \n", 1},

    // The home directory.
    {"ProfileExpanded", kBoth, "-u $(user)", "profile=%SystemDrive%\\users\\$(user)", kEntry, "", 0},
    {"FallbackMade", kBoth, "-u $(user)", "profile=$(dir)\\no such profile", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\home\\tarnwick=<dir>|$(dir)\\no such profile=<none>"},
    {"FallbackThere", kBoth, "-u $(user)", "profile=C:\\nowhere|dir:$(dir)\\home\\tarnwick", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0},
    {"FallbackNotMade", kBoth, "-u ghost", "accounts=user\t.\tghost\t1005\t513\n|mount=$(dir)\\missing\\home", "", "acctmap (301): [1332] $(sys:1332) (ghost)\nCan't create home directory $(dir)\\missing\\home\\tarnwick for user ghost\n", 1},
    {"UnderTheMount", kBoth, "-u $(user)", "mount=$(dir)/ZONE//|profile=$(dir)\\zone\\$(user)|dir:$(dir)\\Zone|dir:$(dir)\\Zone\\$(user)", "\n$(user)$(fields)/home/$(user):/bin/switch", "", 0},
    {"MountComponentsWhole", kBoth, "-u $(user)", "mount=C:\\use", kEntry, "", 0},
    {"HomePathUntested", kBoth, "-u $(user) -p D:\\home\\u", "", "\n$(user)$(fields)/cygdrive/D/home/u:/bin/switch", "", 0, "D:\\home\\u=<none>"},
    {"HomePathDrive", kBoth, "-u $(user) -p C:", "", "\n$(user)$(fields)/cygdrive/C:/bin/switch", "", 0},
    {"HomePathDriveRelative", kBoth, "-u $(user) -p D:Users\\jane", "", "", "The home path D:Users\\jane is relative to a drive's current folder; give it whole.\n", 1},
    {"HomePathDriveRelativeLower", kBoth, "-u $(user) -p c:home", "", "", "The home path c:home is relative to a drive's current folder; give it whole.\n", 1},
    {"HomePathDriveDot", kBoth, "-u $(user) -p C:.", "", "", "The home path C:. is relative to a drive's current folder; give it whole.\n", 1},
    {"HomePathBreaksTheLine", kBoth, "-u $(user) -p /home/a:b", "", "", "Invalid character in home directory: /home/a:b\n", 1},
    {"NoMountKey", kBoth, "-u $(user) -p D:\\x", "nomount", "", "Open Registry Error.\n$(sys:2)\n", 1},
    // A mount table in the 32-bit view that may not be read is an error,
    // even with another one in the 64-bit view.
    {"MountDenied", kBoth, "-u $(user)", "mount64=C:\\users|denied=C:\\users", "", "Open Registry Error.\n$(sys:5)\n", 1},
    // Both views hold a mount table: 32-bit Cygwin's counts.
    {"MountViewsInOrder", kBoth, "-u $(user)", "mount64-too=C:\\users", kEntry, "", 0},
    // A 64-bit Cygwin's mount table: the 64-bit exe falls back to its own
    // view; the 32-bit exe cannot see it.
    {"MountIn64BitView", kWine64, "-u $(user)", "mount64=C:\\users", "\n$(user)$(fields)/home/$(user):/bin/switch", "", 0},
    {"MountIn64BitViewFrom32", kWine32, "-u $(user)", "mount64=C:\\users", "", "Open Registry Error.\n$(sys:2)\n", 1},
    {"NoMountValue", kBoth, "-u $(user)", "mount", "", "read key value error\n", 1},
    {"NoProfilePath", kBoth, "-u $(user)", "noprofile", "", "read key value error\n", 1},
    {"MountUnterminated", kBoth, "-u $(user)", "unterminated-mount=$(dir)\\home|profile=C:\\nowhere", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\home\\tarnwick=<dir>"},
    {"ExpansionOf259", kBoth, "-u $(user)", "profile=C:\\$(256*p)", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0},
    {"ExpansionOf260", kBoth, "-u $(user)", "profile=C:\\$(257*p)", "", "Home directory path is too long: C:\\$(257*p)\n", 1},

    // The passwd file: which lines stay, and every way the file does not
    // take the entry (the entry then on standard output, status 0).
    {"NamesFolded", kBoth, "-u $(user) -s Bo[z\xe9 -f $(pw)", kFile + "bO[Z\xe9:1\r\nBO[Z\xe9:4\r\nbo{z\xe9:2\r\nBo[z\xc9:5\r\nBo[zz\xe9:3", "", "", 0, "$(pw)=bo{z\xe9:2\r\nBo[z\xc9:5\r\nBo[zz\xe9:3$(E:Bo[z\xe9)"},
    {"NameComparedTo256", kBoth, "-u $(user) -s $(255*a) -f $(pw)", kFile + "$(255*A):1\r\n$(256*a):2", "", "", 0, "$(pw)=$(256*a):2$(E:$(255*a))"},
    {"LinesKept", kBoth, kAdd, kFile + kDropped + kKeptBefore + "last:9\n", "", "", 0, "$(pw)=" + kKeptAfter + "last:9\r\n" + "$(E:$(user))|$(pw).bak=" + kDropped + kKeptBefore + "last:9\n"},
    {"EmptyFile", kBoth, kAdd, kFile, "", "", 0, "$(pw)=$(E:$(user))|$(pw).bak="},
    {"RebuiltFromBackup", kBoth, kAdd, "file:$(pw).bak=" + kOld + "$(user):x\n", "", "", 0, "$(pw)=alice:1\r\n$(E:$(user))|$(pw).bak=" + kOld + "$(user):x\n"},
    {"NoFileNoBackup", kBoth, kAdd, "", kEntry, "Passwd file $(pw) could not be rewritten (error 2)" + kNotWritten, 0, "$(pw)=<none>|$(pw).bak=<none>"},
    {"ReadOnly", kBoth, kAdd, kFile + kOld + "|attributes:$(pw)=R", kEntry, "Passwd file $(pw) is read-only" + kNotWritten, 0, "$(pw)=" + kOld + "|$(pw).bak=<none>"},
    // Refused before a byte of the new file is written.
    {"ReadOnlyBeforeWriting", kBoth, kAdd, kFile + kOld + "|attributes:$(pw)=R|fault:KILL_AFTER=1", kEntry, "Passwd file $(pw) is read-only" + kNotWritten, 0, "$(pw)=" + kOld},
    {"ReadOnlyBackup", kBoth, kAdd, kFile + kOld + "|file:$(pw).bak=older\n|attributes:$(pw).bak=R", "", "", 0, "$(pw)=alice:1\r\n$(E:$(user))|$(pw).bak=" + kOld},
    {"AttributesKept", kBoth, kAdd, kFile + kOld + "|attributes:$(pw)=HS", "", "", 0, "$(pw)?attributes=HS|$(pw)=alice:1\r\n$(E:$(user))"},
    // What a killed run left under the new file's name, read-only at that.
    {"LeftoverReadOnly", kBoth, kAdd, kFile + kOld + "|file:$(pw).nw~=half|attributes:$(pw).nw~=R", "", "", 0, "$(pw)=alice:1\r\n$(E:$(user))"},
    {"NoFolder", kBoth, "-u $(user) -f $(dir)\\nodir\\passwd", "", kEntry, "Passwd file $(dir)\\nodir\\passwd could not be rewritten (error 3)" + kNotWritten, 0, "$(dir)\\nodir=<none>"},
    // The step that failed explains the run, not a later one that failed too.
    {"DiskFull", kBoth, kAdd, kFile + kOld + "|fault:FULL_AFTER=10|fault:FLUSH=5", kEntry, "Passwd file $(pw) could not be rewritten (error 112)" + kNotWritten, 0, "$(pw)=" + kOld},
    // A flush that fails (EIO: ERROR_NOT_READY) leaves the old file in place.
    {"FlushFails", kBoth, kAdd, kFile + kOld + "|fault:FLUSH=5", kEntry, "Passwd file $(pw) could not be rewritten (error 21)" + kNotWritten, 0, "$(pw)=" + kOld},
    {"LockIsAFolder", kBoth, kAdd, kFile + kOld + "|dir:$(pw).lk~", kEntry, "Passwd file $(pw) could not be rewritten (error 5)" + kNotWritten, 0, "$(pw)=" + kOld},
    // A folder under the new file's name is never written through.
    {"NewFileIsAFolder", kBoth, kAdd, kFile + kOld + "|dir:$(pw).nw~", kEntry, "Passwd file $(pw) could not be rewritten (error 80)" + kNotWritten, 0, "$(pw)=" + kOld},
    // The longest passwd path whose backup name Windows takes, and one more.
    {"LongestPath", kBoth, "-u $(user) -f $(len:255)", "file:$(len:255)=" + kOld, "", "", 0, "$(len:255)=alice:1\r\n$(E:$(user))"},
    {"PathPastTheLimit", kBoth, "-u $(user) -f $(len:256)", "file:$(len:256)=" + kOld, kEntry, "Passwd file $(len:256) could not be rewritten (error 206)" + kNotWritten, 0, "$(len:256)=" + kOld},
    // Another run holds the lock for all of the 10 seconds a run waits;
    // busy is said before read-only.
    {"Busy", kBoth, kAdd, kFile + kOld + "|attributes:$(pw)=R|opened:$(pw).lk~", kEntry, "Passwd file $(pw) is busy" + kNotWritten, 0, "$(pw)=" + kOld},
    // An editor holds the passwd file open: it cannot be replaced.
    {"ReplaceRefused", kBoth, kAdd, kFile + kOld + "|held:$(pw)", kEntry, "Passwd file $(pw) could not be rewritten (error 32)" + kNotWritten, 0, "$(pw)=" + kOld},
};
// clang-format on

}  // namespace

// The rows' tokens, innermost first.
std::string Expand(std::string text, const Harness& machine) {
    for (size_t open; (open = text.rfind("$(")) != std::string::npos;) {
        const size_t close = text.find(')', open);
        const std::string token = text.substr(open + 2, close - open - 2);
        const size_t star = token.find('*');
        std::string value;
        if (token == "pw") {
            value = "$(dir)\\etc\\passwd";
        } else if (token == "fields") {
            value = ":unused_by_nt/2000/xp:$(rid):513:Wine User,U-$(dom)\\$(user),$(sid):";
        } else if (token[0] == 'e' && token[1] == ':') {
            value = "\n" + token.substr(2) + "$(fields)/cygdrive/C/users/$(user):/bin/switch";
        } else if (token[0] == 'E' && token[1] == ':') {
            value = "\r$(e:" + token.substr(2) + ")";
        } else if (token.compare(0, 4, "len:") == 0) {
            // Folders of 60 characters, then the file's name to the length.
            value = machine.Token("dir") + "\\etc";
            const size_t length = atoi(token.c_str() + 4);
            while (length - value.size() > 70) {
                value += "\\" + std::string(60, 'd');
            }
            value += "\\" + std::string(length - value.size() - 1, 'p');
        } else if (star != std::string::npos && isdigit(static_cast<unsigned char>(token[0]))) {
            value = std::string(atoi(token.c_str()), token[star + 1]);
        } else {
            value = machine.Token(token);
        }
        text.replace(open, close + 1 - open, value);
    }
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// What the C runtime's text mode makes of a text: every "\n" a CR LF.
std::string TextMode(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return bytes;
}

// Byte for byte; a failure shows where the two part, not a large file whole.
::testing::AssertionResult Same(const std::string& got, const std::string& want) {
    const size_t at =
        std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    return got == want ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure()
                             << "apart at " << at << " of " << got.size() << " and " << want.size()
                             << " bytes: " << ::testing::PrintToString(got.substr(at, 60))
                             << " instead of " << ::testing::PrintToString(want.substr(at, 60));
}

// No run leaves a file of its own behind.
void ExpectNoLeftovers(const Harness& machine, const std::string& passwd) {
    for (const char* own : {".lk~", ".nw~", ".bk~"}) {
        EXPECT_EQ(machine.FileState(passwd + own), "<none>") << own;
    }
}

namespace {

class Runs : public ::testing::TestWithParam<Row> {};

TEST_P(Runs, PrintAndLeaveWhatTheyShould) {
    const Row& row = GetParam();
    Harness machine;
    for (const std::string& step : Split(row.machine, '|')) {
        ASSERT_NO_FATAL_FAILURE(machine.Arrange(Expand(step, machine)));
    }
    std::vector<std::string> words;
    for (const std::string& word : Split(row.words, ' ')) {
        words.push_back(Expand(word, machine));
    }
    const Outcome run = machine.Run(words);
    EXPECT_TRUE(Same(run.out, TextMode(Expand(row.out, machine))));
    EXPECT_TRUE(Same(run.err, TextMode(Expand(row.err, machine))));
    EXPECT_EQ(run.status, static_cast<unsigned long>(row.status));
    for (const std::string& file : Split(row.files, '|')) {
        const size_t equals = file.find('=');
        EXPECT_TRUE(Same(machine.FileState(Expand(file.substr(0, equals), machine)),
                         Expand(file.substr(equals + 1), machine)))
            << file.substr(0, equals);
    }
    if (row.machine.find(".lk~") == std::string::npos &&
        row.machine.find(".nw~") == std::string::npos) {
        ExpectNoLeftovers(machine, Expand("$(pw)", machine));
    }
}

std::vector<Row> RowsOfThisExe() {
    std::vector<Row> rows;
    std::copy_if(kRows.begin(), kRows.end(), std::back_inserter(rows),
                 [](const Row& row) { return (row.where & kThisExe) != 0; });
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, Runs, ::testing::ValuesIn(RowsOfThisExe()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
