// acctmap.exe end to end under Wine: what each run prints and leaves, row
// by row, and what faults, waits and other ANSI code pages leave (the
// machine they run on: harness.h).
#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "messages.h"

namespace {

using namespace std::string_literals;

const std::string kUsage = MSG_USAGE;
const std::string kEntry = "$(printed:$(user))";
const std::string kAddToPasswd = "-u $(user) -f $(pw)";
const std::string kPasswdHolds = "file:$(pw)=";
const std::string kNotWritten = "; the entry was not written to it.\n";
const std::string kAliceFile = "alice:1\n";
// A machine's accounts: the Wine user, one more, one disabled, and one
// whose name code page 1252 cannot hold.
const std::string kListed =
    "accounts=user\t.\t$(user)\t$(rid)\t513\tWine "
    "User\nuser\t.\tbob\t1001\t513\tBob\nuser\t.\tshut\t1002\t513\t\tdisabled\nuser\t.\t\xc5\x9c"
    "am\t1003\n";
const std::string kLegacyAdmin = "admin:use_crypt:500:544:Administrator:";

// Lines that must survive a rewrite whole: lone CRs, Ctrl-Z and NUL, and
// lines longer than the filter's blocks, one with its ':' only after a whole
// block (a bare line feed before them made CR LF).
const std::string kKept = "lone\r:2\r\r\nz\x1a:\0c\r\nx:$(1100000*v)\r\n$(1100000*y):z\r\n"s;
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
    // A login name made of the domain and the user, at its limit of 255 and
    // one more (Wine knows no SID for u: the shared home).
    {"LoginNameOf255", kBoth, "-u u -d $(253*d)", "accounts=dc\t$(253*d)\t\\\\dc1\nuser\t\\\\dc1\tu\t1005\t513\n", "\n$(253*d)\\u:unused_by_nt/2000/xp:1005:10513:U-u:/home/tarnwick:/bin/switch", "acctmap (301): [1332] $(sys:1332)\n (u)\n", 0},
    {"LoginNameOf256", kBoth, "-u u -d $(254*d)", "accounts=dc\t$(254*d)\t\\\\dc1\nuser\t\\\\dc1\tu\t1005\t513\n", "", "acctmap (301): [1332] $(sys:1332)\n (u)\nLogin name is longer than 255 characters: $(254*d)\\u\n", 1, "$(dir)\\home\\tarnwick=<none>"},
    // Refused before the home stage makes a directory, and echoed harmlessly.
    {"LoginNameShownSafely", kBoth, "-u $(user) -s a\nb\x1f\x1b\x7f", "profile=C:\\nowhere", "", "Invalid character in login name: a^Jb^_^[^?\n", 1, "$(dir)\\home\\tarnwick=<none>"},

    // The legacy listing: the 95 family's version, GetUserNameA's user (the
    // suite's abc), the user id made from the name; -u, -d, -b and -a ignored.
    {"Legacy", kWine32, "-u bob -d corp -b $(dir)\\none.txt -a -p /users/", "win98", kLegacyAdmin + "/users/admin:/bin/bash\nabc:use_crypt:780:544:abc:/users/abc:/bin/bash\n", "", 0},
    {"LegacyDefaultPrefix", kWine32, "", "win98", kLegacyAdmin + "/home/admin:/bin/bash\nabc:use_crypt:780:544:abc:/home/abc:/bin/bash\n", "", 0},

    // The account: its record at level 3, its SID, its profile directory.
    {"User", kBoth, "-u $(user)", "", kEntry, "", 0, "$(dir)\\home\\tarnwick=<none>"},
    // An entry lost on its way out is a failure.
    {"OutputLost", kBoth, "-u $(user)", "outfails", "", "Standard output could not be written.\n", 1},
    {"DomainAccount", kBoth, "-u $(user) -d $(dom) -f $(pw)", "accounts=dc\t$(dom)\t\\\\dc1\nuser\t\\\\dc1\t$(user)\t$(rid)\t513\n|" + kPasswdHolds + "$(dom)\\$(user):1\r\n$(user):3", "", "", 0, "$(pw)=$(user):3\r\n$(dom)\\$(user):unused_by_nt/2000/xp:$(rid):10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch"},
    {"AnsiFullName", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t$(rid)\t513\tJos\xc3\xa9 M\xc3\xbcller \xc5\x9c" "am\n", "\n$(user):unused_by_nt/2000/xp:$(rid):513:Jos\xe9 M\xfcller  am,U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    // A full name cut to its field at the last whole character, a surrogate
    // pair being one (Wine writes it as "??").
    {"FullNameCutWhole", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t$(rid)\t513\t$(510*f)\xf0\x9f\x98\x80x\n", "\n$(user):unused_by_nt/2000/xp:$(rid):513:$(510*f),U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"LargestIdsAndBlankedBytes", kBoth, "-u $(user)", "accounts=user\t.\t$(user)\t4294967295\t4294967295\tDoe: Jane\x01\n", "\n$(user):unused_by_nt/2000/xp:4294967295:4294967295:Doe  Jane ,U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"SidLookupFails", kBoth, "-u ghost", "accounts=user\t.\tghost\t1005\t513\tGhost Writer\n", "\nghost:unused_by_nt/2000/xp:1005:513:Ghost Writer,U-ghost:/home/tarnwick:/bin/switch", "acctmap (301): [1332] $(sys:1332)\n (ghost)\n", 0},
    // No controller found (no network path, 53): no server is asked in its
    // place, not even a computer named like the domain with a local jdoe.
    {"ControllerUnnamed", kBoth, "-u jdoe -d SALES", "accounts=dc\tSALES\terror=53\nuser\t\\\\SALES\tjdoe\t1500\t513\tNot The Domain\n", "", "Could not find the domain controller for the domain.\n", 1},
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
    {"FallbackNotMade", kBoth, "-u ghost", "accounts=user\t.\tghost\t1005\t513\n|mount=$(dir)\\missing\\home", "", "acctmap (301): [1332] $(sys:1332)\n (ghost)\nCan't create home directory $(dir)\\missing\\home\\tarnwick for user ghost\n", 1},
    {"UnderTheMount", kBoth, "-u $(user)", "mount=$(dir)/ZONE//|profile=$(dir)\\zone\\$(user)|dir:$(dir)\\Zone|dir:$(dir)\\Zone\\$(user)", "\n$(user)$(fields)/home/$(user):/bin/switch", "", 0},
    {"MountComponentsWhole", kBoth, "-u $(user)", "mount=C:\\use", kEntry, "", 0},
    {"HomePathUntested", kBoth, "-u $(user) -p D:\\home\\u", "", "\n$(user)$(fields)/cygdrive/D/home/u:/bin/switch", "", 0, "D:\\home\\u=<none>"},
    {"HomePathDriveRelative", kBoth, "-u $(user) -p D:Users\\j\x1b", "", "", "The home path D:Users\\j^[ is relative to a drive's current folder; give it whole.\n", 1},
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
    // A mount directory stored as REG_BINARY: its bytes, as ANSI text.
    {"MountBinary", kBoth, "-u $(user)", "binary-mount=$(dir)\\home|profile=C:\\nowhere", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\home\\tarnwick=<dir>"},
    {"NoMountValue", kBoth, "-u $(user)", "mountkey", "", "read key value error\n", 1},
    {"NoProfilePath", kBoth, "-u $(user)", "noprofile", "", "read key value error\n", 1},
    // A profile key that may not be opened is no profile: the fallback.
    {"ProfileKeyDenied", kBoth, "-u $(user)", "deniedprofile", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\home\\tarnwick=<dir>"},
    {"MountUnterminated", kBoth, "-u $(user)", "unterminated-mount=$(dir)\\home|profile=C:\\nowhere", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\home\\tarnwick=<dir>"},
    // A mount value without its NUL that fills the read buffer may have been
    // cut; one unit less is whole (and then too long for a home).
    {"MountFillsTheBuffer", kBoth, "-u $(user)", "unterminated-mount=C:\\$(1021*m)", "", "read key value error\n", 1},
    {"MountBelowTheBuffer", kBoth, "-u $(user)", "unterminated-mount=C:\\$(1020*m)|profile=C:\\nowhere", "", "Home directory path is too long: C:\\$(1020*m)\\tarnwick\n", 1},
    {"ExpansionOf259", kBoth, "-u $(user)", "profile=C:\\$(256*p)", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0},
    {"ExpansionOf260", kBoth, "-u $(user)", "profile=C:\\$(257*p)", "", "Home directory path is too long: C:\\$(257*p)\n", 1},

    // The passwd file: which lines stay, and every way the file does not
    // take the entry (the entry then on standard output, status 0).
    {"NamesFolded", kBoth, "-u $(user) -s Bo[z\xe9 -f $(pw)", kPasswdHolds + "bO[Z\xe9:1\r\nBO[Z\xe9:4\r\nbo{z\xe9:2\r\nBo[z\xc9:5\r\nBo[zz\xe9:3", "", "", 0, "$(pw)=bo{z\xe9:2\r\nBo[z\xc9:5\r\nBo[zz\xe9:3$(filed:Bo[z\xe9)"},
    {"NameComparedTo256", kBoth, "-u $(user) -s $(255*a) -f $(pw)", kPasswdHolds + "$(255*A):1\r\n$(256*a):2", "", "", 0, "$(pw)=$(256*a):2$(filed:$(255*a))"},
    {"LinesKept", kBoth, kAddToPasswd, kPasswdHolds + kDropped + "bare:1\n" + kKept + "last:9\n", "", "", 0, "$(pw)=bare:1\r\n" + kKept + "last:9\r\n$(filed:$(user))|$(pw).bak=" + kDropped + "bare:1\n" + kKept + "last:9\n"},
    // An old Mac editor's line ends: one line of many entries, none of which
    // a login name can name.
    {"LoneCrLineKept", kBoth, kAddToPasswd, kPasswdHolds + "$(user):1\ralice:2\r", "", "", 0, "$(pw)=$(user):1\ralice:2\r$(filed:$(user))"},
    {"EmptyFile", kBoth, kAddToPasswd, kPasswdHolds, "", "", 0, "$(pw)=$(filed:$(user))|$(pw).bak="},
    {"RebuiltFromBackup", kBoth, kAddToPasswd, "file:$(pw).bak=" + kAliceFile + "$(user):x\n", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile + "$(user):x\n"},
    {"RebuiltUnderItsStoredName", kBoth, "-u $(user) -f $(dir)\\ETC\\PASSWD.", "file:$(pw).bak=" + kAliceFile, "", "", 0, "$(pw)?name=passwd|$(pw)=alice:1\r\n$(filed:$(user))"},
    {"NoFileNoBackup", kBoth, kAddToPasswd, "", kEntry, "Passwd file $(pw) could not be rewritten (error 2)" + kNotWritten, 0, "$(pw)=<none>|$(pw).bak=<none>"},
    // Refused before a byte of the new file is written.
    {"ReadOnly", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|attributes:$(pw)=R|fault:KILL_AFTER=1", kEntry, "Passwd file $(pw) is read-only" + kNotWritten, 0, "$(pw)=" + kAliceFile + "|$(pw).bak=<none>"},
    {"ReadOnlyBackup", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|file:$(pw).bak=older\n|attributes:$(pw).bak=R", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    {"AttributesKept", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|attributes:$(pw)=HS", "", "", 0, "$(pw)?attributes=HS|$(pw)=alice:1\r\n$(filed:$(user))"},
    {"NoFolder", kBoth, "-u $(user) -f $(dir)\\nodir\\passwd", "", kEntry, "Passwd file $(dir)\\nodir\\passwd could not be rewritten (error 3)" + kNotWritten, 0, "$(dir)\\nodir=<none>"},
    // The step that failed explains the run, not a later one that failed too.
    {"DiskFull", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|fault:FULL_AFTER=10|fault:FLUSH=5", kEntry, "Passwd file $(pw) could not be rewritten (error 112)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    // A flush that fails (EIO: ERROR_NOT_READY) leaves the old file in place.
    {"FlushFails", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|fault:FLUSH=5", kEntry, "Passwd file $(pw) could not be rewritten (error 21)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    {"LockIsAFolder", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|dir:$(pw).lk~", kEntry, "Passwd file $(pw) could not be rewritten (error 5)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    // A folder under the new file's name is never written through.
    {"NewFileIsAFolder", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|dir:$(pw).nw~", kEntry, "Passwd file $(pw) could not be rewritten (error 80)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    // Any spelling names the file as its folder stores it: the lock, the new
    // file and the backup are named from that.
    {"StoredCase", kBoth, "-u $(user) -f $(dir)\\ETC\\PASSWD", kPasswdHolds + kAliceFile, "", "", 0, "$(pw)?name=passwd|$(pw).bak?name=passwd.bak|$(pw)=alice:1\r\n$(filed:$(user))"},
    {"ShortName", kBoth, "-u $(user) -f $(short:$(pw)-accounts)", "file:$(pw)-accounts=" + kAliceFile, "", "", 0, "$(pw)-accounts.bak?name=passwd-accounts.bak|$(pw)-accounts=alice:1\r\n$(filed:$(user))"},
    // Names and paths that the code page cannot hold ({U+XXXX}: the UTF-16
    // unit the launcher puts there) are refused or taken in a form that
    // names the same thing, never as a best-fit look-alike.
    {"NotAnsiUser", kBoth, "-u {U+015C}am", "accounts=user\t.\tSam\t1005\t513\n", "", "The command line holds a character that code page $(acp) cannot hold: ?am.\n", 1},
    {"NotAnsiHomePath", kBoth, "-u $(user) -p C:\\home\\{U+015C}am", "", "", "The command line holds a character that code page $(acp) cannot hold: C:\\home\\?am.\n", 1},
    {"NotAnsiLogin", kBoth, "-u $(user) -s {U+015C}am", "", "", "The command line holds a character that code page $(acp) cannot hold: ?am.\n", 1},
    {"NotAnsiPasswdPath", kBoth, "-u $(user) -f $(dir)\\passw{U+015C}", "", "", "The command line holds a character that code page $(acp) cannot hold: $(dir)\\passw?.\n", 1},
    {"NotAnsiDomain", kBoth, "-u $(user) -d S{U+015C}", "", "", "The command line holds a character that code page $(acp) cannot hold: S?.\n", 1},
    {"NotAnsiShortName", kBoth, "-u $(user) -f $(short:$(pw){U+03B1})", "file:$(pw){U+03B1}=" + kAliceFile + "|file:$(pw)a=" + kAliceFile, "", "", 0, "$(pw){U+03B1}=alice:1\r\n$(filed:$(user))|$(pw)a=" + kAliceFile},
    {"CurrentFolderNotAnsi", kBoth, "-u $(user) -f passwd", "file:$(dir)\\d{U+03B1}\\passwd=" + kAliceFile + "|cwd:$(dir)\\d{U+03B1}", "", "", 0, "$(dir)\\d{U+03B1}\\passwd=alice:1\r\n$(filed:$(user))|$(dir)\\d{U+03B1}\\passwd.bak=" + kAliceFile},
    {"NotAnsiProfile", kBoth, "-u $(user)", "profile=C:\\users\\{U+015C}am", "", "read key value error: ProfileImagePath holds a character that code page $(acp) cannot hold: C:\\users\\?am\n", 1, "$(dir)\\home\\tarnwick=<none>"},
    // A path that could match or name another file (a wildcard: >>>>> would
    // match the group file; a stream) is refused before any lookup.
    {"WildcardLast", kBoth, "-u $(user) -f $(dir)\\etc\\>>>>>", kPasswdHolds + kAliceFile + "|file:$(dir)\\etc\\group=g:1\n", kEntry, "Passwd file $(dir)\\etc\\>>>>> could not be rewritten (error 123)" + kNotWritten, 0, "$(dir)\\etc\\group=g:1\n|$(dir)\\etc\\group.bak=<none>"},
    {"Stream", kBoth, "-u $(user) -f $(pw):x", kPasswdHolds + kAliceFile, kEntry, "Passwd file $(pw):x could not be rewritten (error 123)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    // The new file takes over the old one's access list (as far as Wine
    // keeps one: it maps the list to the Unix mode), not the folder's.
    {"AccessListKept", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|acl:$(pw)=D:P(A;;FA;;;$(sid))", "", "", 0, "$(pw)?acl=D:(A;;FA;;;SY)(A;;FA;;;$(sid))|$(pw).bak?acl=D:(A;;FA;;;SY)(A;;FA;;;$(sid))"},
    // The longest passwd path whose backup name Windows takes, and one more.
    {"LongestPath", kBoth, "-u $(user) -f $(len:255)", "file:$(len:255)=" + kAliceFile, "", "", 0, "$(len:255)=alice:1\r\n$(filed:$(user))"},
    {"PathPastTheLimit", kBoth, "-u $(user) -f $(len:256)", "file:$(len:256)=" + kAliceFile, kEntry, "Passwd file $(len:256) could not be rewritten (error 206)" + kNotWritten, 0, "$(len:256)=" + kAliceFile},
    // A moment's holder of the file, or of the lock, is waited for: the run
    // goes on when it lets go.
    {"HolderWaitedFor", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|heldfor:$(pw)=2000", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))"},
    // A lock file refused for a reason of its own: that reason at once.
    {"LockDenied", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|file:$(pw).lk~=|faultat:.lk~:LOCK_DENIED=1", kEntry, "Passwd file $(pw) could not be rewritten (error 5)" + kNotWritten, 0, "$(pw)=" + kAliceFile},
    {"LockFreeInAGap", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|gap:$(pw).lk~=3000,3600", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))"},
    // A line appended once the old file was let go lands in the new file.
    {"AppendInTheWindow", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|faultat:.bk~:APPEND=late:1", "", "", 0, "$(pw)=alice:1\r\nlate:1\r\n$(filed:$(user))|$(pw).bak=alice:1\nlate:1\r\n"},

    // Many accounts in one run (-b): every line resolved before anything is
    // written, then one rewrite with one backup.
    {"BatchOfThree", kBoth, "-b $(dir)\\batch.txt -f $(pw)", "accounts=dc\t$(dom)\t\\\\dc1\nuser\t\\\\dc1\t$(user)\t$(rid)\t513\nuser\t.\t$(user)\t$(rid)\t513\tWine User\n|file:$(dir)\\batch.txt=-u $(user) -s alice\r\n-u $(user)\r\n-u $(user) -d $(dom)\r\n|" + kPasswdHolds + "alice:1\r\nbob:2\r\n$(user):3\r\nALICE:4", "", "", 0, "$(pw)=bob:2\r\n$(filed:alice)$(filed:$(user))\r\n$(dom)\\$(user):unused_by_nt/2000/xp:$(rid):10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch|$(pw).bak=alice:1\r\nbob:2\r\n$(user):3\r\nALICE:4"},
    // -d of the command line for each line that gives none (its controller
    // found once, another domain's anew); a line's own -d, even an empty
    // one, counts.
    {"BatchPreview", kBoth, "-b $(dir)\\batch.txt -d $(dom)", "accounts=dc\t$(dom)\t\\\\dc1\nuser\t\\\\dc1\t$(user)\t$(rid)\t513\nuser\t.\t$(user)\t$(rid)\t513\tWine User\ndc\tLOST\t\\\\dc2\nuser\t\\\\dc2\t$(user)\t4242\t513\n|file:$(dir)\\batch.txt=-u $(user) -d \"\" -s alice\n-u $(user)\n-u $(user) -s again\n-u $(user) -d LOST -s lost\n", "$(printed:alice)\n$(dom)\\$(user):unused_by_nt/2000/xp:$(rid):10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch\nagain:unused_by_nt/2000/xp:$(rid):10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch\nlost:unused_by_nt/2000/xp:4242:10513:U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch", "", 0},
    {"BatchFailingLines", kBoth, "-b $(dir)\\batch.txt -f $(pw)", kPasswdHolds + kAliceFile + "|file:$(dir)\\batch.txt=-u $(user) -s ok\r\n-u nobody\r\n-u $(user) -x 1\r\n-u $(user) -s a:b\r\n-u $(user) -s $(256*s)\r\n-u zz$(4090* )\r\n-u zz$(4091* )\r\n-u zz\0 x\r\n"s, "", "$(dir)\\batch.txt line 2: The username could not be found.\n$(dir)\\batch.txt line 3: Only -u, -d, -s and -p may stand on a line: -x\n$(dir)\\batch.txt line 4: Invalid character in login name: a:b\n$(dir)\\batch.txt line 5: The value of -s is longer than 255 characters.\n$(dir)\\batch.txt line 6: The username could not be found.\n$(dir)\\batch.txt line 7: The line is longer than 4095 characters.\n$(dir)\\batch.txt line 8: The line holds a NUL character.\n", 1, "$(pw)=" + kAliceFile + "|$(pw).bak=<none>"},
    {"BatchLoginTwice", kBoth, "-b $(dir)\\batch.txt -f $(pw)", kPasswdHolds + kAliceFile + "|file:$(dir)\\batch.txt=-u $(user) -s Jo\r\n# jo again\r\n-u $(user) -s jO\r\n", "", "$(dir)\\batch.txt line 3: The login name jO is also that of line 1.\n", 1, "$(pw)=" + kAliceFile},
    // As Notepad saves them: "Unicode" and UTF-8 with a byte-order mark.
    {"BatchUtf16", kBoth, "-b $(dir)\\batch.txt", "utf16:$(dir)\\batch.txt=-u $(user) -s \xc3\x89mile\r\n-u $(user) -s \xc3\x85sa", "$(printed:\xc9mile)$(printed:\xc5sa)", "", 0},
    // And as Notepad saves by default since Windows 10 1903: UTF-8 without a
    // mark. A comment is skipped unread; the limit counts characters (-s nine
    // times, the last counting: 2 320 characters, 4 636 bytes).
    {"BatchUtf8WithoutMark", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=# \xe2\x86\x92 \xe8\xa1\xa8\r\n-u $(user)$(9* -s $(255*\xc3\xa9)) -s \xc3\x85sa\r\n", "$(printed:\xc5sa)", "", 0},
    {"BatchNotUtf8", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=\xef\xbb\xbf-u $(user)\r\n# caf\xe9\r\n-u $(user) -s \xc3\r\n", "", "$(dir)\\batch.txt line 3: The line is not valid UTF-8.\n", 1},
    // A file of 8 MiB is read (then its one line is too long); a byte more is refused.
    {"BatchFileOf8MiB", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=$(8388608*u)", "", "$(dir)\\batch.txt line 1: The line is longer than 4095 characters.\n", 1},
    {"BatchFileTooLarge", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=$(8388609*#)", "", "Accounts file $(dir)\\batch.txt is larger than 8 MiB.\n", 1},
    // Never a look-alike: best fit would make this S.
    {"BatchUnmappable", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=\xef\xbb\xbf-u $(user)\r\n-u $(user) -s \xc5\x9c\r\n", "", "$(dir)\\batch.txt line 2: The line holds a character that code page 1252 cannot hold.\n", 1},
    {"BatchCommentsAndQuotes", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=# accounts\r\n\r\n \t\n  -u $(user) -p \"C:\\home dir\\x\"\n\x1a", "\n$(user)$(fields)/cygdrive/C/home dir/x:/bin/switch", "", 0},
    {"BatchUserBeside", kBoth, "-b $(dir)\\batch.txt -u $(user)", "file:$(dir)\\batch.txt=-u $(user)", "", "With -b, give -u on a line of the accounts file.\n", 1},
    {"BatchEmpty", kBoth, "-b $(dir)\\batch.txt -f $(pw)", kPasswdHolds + kAliceFile + "|file:$(dir)\\batch.txt=# none yet\r\n", "", "Accounts file $(dir)\\batch.txt names no account.\n", 1, "$(pw)=" + kAliceFile},
    {"BatchMissing", kBoth, "-b $(dir)\\none.txt", "", "", "Accounts file $(dir)\\none.txt could not be read (error 2).\n", 1},
    // The file cannot take them: the notice once, every entry on standard
    // output, the file as it was.
    {"BatchDiskFull", kBoth, "-b $(dir)\\batch.txt -f $(pw)", kPasswdHolds + kAliceFile + "|file:$(dir)\\batch.txt=-u $(user) -s a\r\n-u $(user) -s b\r\n|fault:FULL_AFTER=12", "$(printed:a)$(printed:b)", "Passwd file $(pw) could not be rewritten (error 112)" + kNotWritten, 0, "$(pw)=" + kAliceFile + "|$(pw).bak=<none>"},
    // The stages' own reports, each line of them, say which line they are about.
    {"BatchReportsPrefixed", kBoth, "-b $(dir)\\batch.txt", "accounts=user\t.\tghost\t1005\t513\n|nomount|file:$(dir)\\batch.txt=-u ghost", "", "$(dir)\\batch.txt line 1: acctmap (301): [1332] $(sys:1332)\n (ghost)\n$(dir)\\batch.txt line 1: Open Registry Error.\n$(dir)\\batch.txt line 1: $(sys:2)\n", 1},

    // Where Windows differs from a Unix file system: a FAT32 drive (the
    // backup a flushed copy; skipped without one), renames refused while a
    // file is open, a writer's handle, a backup left as a second name of the
    // file, a replace done as a delete and a rename, and the DLLs a system
    // DLL imports.
    {"FatRewrite", kBoth, kAddToPasswd, "fat|" + kPasswdHolds + kAliceFile + "|file:$(pw).bak=older\n", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    {"FatCopyNotFlushed", kBoth, kAddToPasswd, "fat|" + kPasswdHolds + kAliceFile + "|file:$(pw).bak=older\n|faultat:.bk~:FLUSH=5", kEntry, "Passwd file $(pw) could not be rewritten (error 21)" + kNotWritten, 0, "$(pw)=" + kAliceFile + "|$(pw).bak=older\n"},
    {"BackupRenameRetried", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|faultat:.bk~:RENAME=5", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    {"RenameRetried", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|fault:RENAME=5", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    // The passwd file gone and the new one refused: the new one is kept.
    {"HalfDoneReplace", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|faultat:.nw~:RENAME=1|fault:RENAME_UNLINK=1|fault:RENAME_ERRNO=18", kEntry, "Passwd file $(pw) could not be rewritten (error 17)" + kNotWritten, 0, "$(pw)=<none>|$(pw).nw~=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    // What that leaves is the passwd file; a new file still read-only is not
    // whole.
    {"WholeNewFileTaken", kBoth, kAddToPasswd, "file:$(pw).nw~=alice:1\r\nbob:2|file:$(pw).bak=older\n", "", "", 0, "$(pw)=alice:1\r\nbob:2$(filed:$(user))|$(pw).bak=alice:1\r\nbob:2|$(pw).nw~=<none>"},
    {"HalfNewFileLeft", kBoth, kAddToPasswd, "file:$(pw).nw~=alice:1\r\nbo|attributes:$(pw).nw~=R|file:$(pw).bak=" + kAliceFile, "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile + "|$(pw).nw~=<none>"},
    // A run stopped between its two renames left the backup as a second name.
    {"BackupIsASecondName", kBoth, kAddToPasswd, kPasswdHolds + kAliceFile + "|link:$(pw).bak=$(pw)", "", "", 0, "$(pw)=alice:1\r\n$(filed:$(user))|$(pw).bak=" + kAliceFile},
    // Wine's loader too takes a planted copy when netapi32.dll is loaded by
    // its bare name or without the altered search path.
    {"PlantedDependency", kBoth, "-u $(user)", "planted-dependency=import", kEntry, "", 0},
    {"PlantedLateLoad", kBoth, "-u $(user)", "planted-dependency=late", kEntry, "", 0},
    // Every account of the machine or of a domain (-a): disabled accounts and
    // a name outside the code page left out, a profile key of a damaged
    // profile no match, and nothing written unless the listing came whole.
    {"ListMachine", kBoth, "-a -f $(pw)", kListed + "|bakprofile=C:\\users\\$(user)|" + kPasswdHolds + "bob:0\r\nkeep:1", "", "The account ?am is left out: code page 1252 cannot hold its name.\nDisabled accounts left out, as Windows keeps them shut: 1.\n", 0, "$(pw)=keep:1\r\n$(user)$(fields)/home/tarnwick:/bin/switch\r\nbob:unused_by_nt/2000/xp:1001:513:Bob,U-$(dom)\\bob,$(domsid)-1001:/home/tarnwick:/bin/switch|$(pw).bak=bob:0\r\nkeep:1"},
    {"ListDomain", kBoth, "-a -d $(dom)", "accounts=dc\t$(dom)\t\\\\dc1\nuser\t\\\\dc1\t$(user)\t$(rid)\t513\tWine User\nuser\t\\\\dc1\tbob\t1001\t512\nuser\t\\\\dc1\tshut\t1002\t513\t\tdisabled\n", "\n$(dom)\\$(user):unused_by_nt/2000/xp:$(rid):10513:Wine User,U-$(dom)\\$(user),$(sid):/cygdrive/C/users/$(user):/bin/switch\n$(dom)\\bob:unused_by_nt/2000/xp:1001:10512:U-$(dom)\\bob,$(domsid)-1001:/home/tarnwick:/bin/switch", "Disabled accounts left out, as Windows keeps them shut: 1.\n", 0},
    {"ListDomainNamedLikeAUser", kBoth, "-a -d $(user)", "accounts=dc\t$(user)\t\\\\dc1\nuser\t\\\\dc1\tbob\t1001\n", "\n$(user)\\bob:unused_by_nt/2000/xp:1001:10513:U-bob:/home/tarnwick:/bin/switch", "acctmap (301): [1332] $(sys:1332)\n ($(user))\n", 0},
    {"ListFailsOnItsThirdPage", kBoth, "-a -f $(pw)", kListed + "pages\t.\t1\t3\t59\n|" + kPasswdHolds + kAliceFile, "", "The accounts could not be listed (error 59).\n", 1, "$(pw)=" + kAliceFile + "|$(pw).bak=<none>"},
    {"ListBesideUser", kBoth, "-a -u $(user)", "", "", "With -a, -u cannot be given: every account is listed.\n", 1},
    {"ListAccountRefused", kBoth, "-a -d $(254*d) -f $(pw)", "accounts=dc\t$(254*d)\t\\\\dc1\nuser\t\\\\dc1\tu\t1005\n|" + kPasswdHolds + kAliceFile, "", "acctmap (301): [1332] $(sys:1332)\n ($(254*d))\n$(254*d)\\u: Login name is longer than 255 characters: $(254*d)\\u\n", 1, "$(pw)=" + kAliceFile},
    // Killed as the old file becomes the backup (Wine reports a killed
    // process's status as 0): passwd whole.
    {"ListKilled", kBoth, "-a -f $(pw)", kListed + "|" + kPasswdHolds + kAliceFile + "|faultat:.nw~:KILL_AT=backed-up", "", "The account ?am is left out: code page 1252 cannot hold its name.\nDisabled accounts left out, as Windows keeps them shut: 1.\n", 0, "$(pw)=" + kAliceFile},
};
// clang-format on

class Runs : public ::testing::TestWithParam<Row> {};

TEST_P(Runs, PrintAndLeaveWhatTheyShould) {
    CheckRow(GetParam());
}

std::vector<Row> RowsOfThisExe(const std::vector<Row>& table) {
    std::vector<Row> rows;
    std::copy_if(table.begin(), table.end(), std::back_inserter(rows),
                 [](const Row& row) { return (row.where & kThisExe) != 0; });
    return rows;
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Table, Runs, ::testing::ValuesIn(RowsOfThisExe(kRows)), RowName);

// Where a fault in the new file (`size` bytes) can leave another state: its
// ends, its middle and each edge of the rewrite's 1 MiB blocks; at every
// byte when ACCTMAP_EVERY_BYTE is set (scripts/stress.sh --every-byte).
std::vector<size_t> FaultPoints(size_t size) {
    std::vector<size_t> points = {0, 1, size / 2, size - 1, size};
    for (size_t edge = 1 << 20; edge < size; edge += 1 << 20) {
        points.insert(points.end(), {edge - 1, edge, edge + 1});
    }
    for (size_t every = 0; getenv("ACCTMAP_EVERY_BYTE") != NULL && every <= size; ++every) {
        points.push_back(every);
    }
    return points;
}

// A run with `fault` on the passwd file `old` (its backup "older"); then,
// unless it wrote the file whole, the next run, which takes over whatever
// that one left: the file `fresh`. No file of its own is left. Gives the
// faulty run and the passwd file and backup it left, as "<file>|<backup>".
std::pair<Outcome, std::string> FaultThenRunAgain(Machine& machine, const std::string& fault,
                                                  const std::string& old, const std::string& fresh,
                                                  bool whole = false) {
    const std::string passwd = machine.Expand("$(pw)");
    const Words words = {"-u", machine.Expand("$(user)"), "-f", passwd};
    for (const std::string& step :
         {"file:" + passwd + "=" + old, "file:" + passwd + ".bak=older", fault}) {
        machine.Arrange(step);
    }
    const Outcome run = machine.Run(words);
    const std::string left = machine.FileState(passwd) + "|" + machine.FileState(passwd + ".bak");
    machine.Arrange("nofault");
    if (!whole) {
        EXPECT_EQ(machine.Run(words).out, "");
        EXPECT_TRUE(Same(machine.FileState(passwd), fresh));
    }
    machine.ExpectNoLeftovers(passwd);
    return {run, left};
}

// A rewrite with a fault at each point of its new file (or, on the FAT32
// drive, of the backup's copy): FULL_AFTER (a full disk) or KILL_AFTER (a
// crash at that moment); the new file on a file of one block and on one of
// three.
void SweepFault(const std::string& fault, const std::string& file = ".nw~") {
    Machine machine;
    if (file == ".bk~") {
        ASSERT_NO_FATAL_FAILURE(machine.Arrange("fat"));
        if (::testing::Test::IsSkipped()) {
            return;
        }
    }
    const std::string passwd = machine.Expand("$(pw)");
    const std::string entry = machine.Expand("$(printed:$(user))");
    // The backup's copy on the FAT32 drive only on the small file: fusefat
    // is slow.
    std::vector<std::string> rests = {"\r\n# note\r\nbob:2",
                                      "\r\nbob:2" + std::string(2500000, 'b')};
    rests.resize(file == ".nw~" ? 2 : 1);
    for (const std::string& rest : rests) {
        const std::string old = machine.Expand("alice:1\r\n$(user):0") + rest;
        const std::string fresh = "alice:1" + rest.substr(rest.find("\r\nbob")) + TextMode(entry);
        const size_t size = (file == ".nw~" ? fresh : old).size();
        for (size_t limit : FaultPoints(size)) {
            SCOPED_TRACE(fault + " " + std::to_string(limit));
            const bool whole = limit >= size;
            const std::string step = "faultat:" + file + ":" + fault + "=" + std::to_string(limit);
            const auto [run, left] = FaultThenRunAgain(machine, step, old, fresh, whole);
            if (fault != "KILL_AFTER" || whole) {
                EXPECT_EQ(run.status, 0u);
                EXPECT_EQ(run.out, whole ? "" : TextMode(entry));
                EXPECT_EQ(run.err,
                          whole ? ""
                                : TextMode("Passwd file " + passwd +
                                           " could not be rewritten (error 112)" + kNotWritten));
            }
            EXPECT_TRUE(Same(left, whole ? fresh + "|" + old : old + "|older"));
        }
    }
}

TEST(Faults, FullDiskOrKillAtEachPoint) {
    for (const char* fault : {"FULL_AFTER", "KILL_AFTER"}) {
        SweepFault(fault);
    }
}

TEST(Faults, FatFullDiskOrKillAtEachPointOfTheCopy) {
    for (const char* fault : {"FULL_AFTER", "KILL_AFTER"}) {
        SweepFault(fault, ".bk~");
    }
}

// A kill at each step of the rewrite: passwd stays the old file and .bak the
// backup from before or the old file; the next run clears every leftover,
// takes the entry and leaves .bak holding the file as it was just before it.
TEST(Faults, KillAtEachStep) {
    Machine machine;
    for (const char* step : {"flushed", "secured", "linked", "backed-up", "final"}) {
        SCOPED_TRACE(step);
        const std::string fresh = machine.Expand("alice:1\r\n$(filed:$(user))");
        const std::string left =
            FaultThenRunAgain(machine, "fault:KILL_AT="s + step, kAliceFile, fresh).second;
        EXPECT_TRUE(left == kAliceFile + "|older" || left == kAliceFile + "|" + kAliceFile) << left;
        EXPECT_EQ(machine.FileState(machine.Expand("$(pw).bak")), kAliceFile);
    }
}

// Four runs that wait out all of the 10 seconds a run waits, started
// together: for another run's lock (busy is said before read-only), for a
// program appending to the file (nothing it adds is lost), for renames
// refused throughout, and for a program that holds the file without letting
// it be deleted. Each ends with its notice only after the whole wait (a
// lower bound: load cannot make it fail), its file as it was.
TEST(Waits, EndInTheirNotices) {
    Machine machine;
    const std::string etc = machine.Expand("$(dir)\\etc\\");
    const std::string busy = etc + "busy", writer = etc + "writer", refused = etc + "refused",
                      held = etc + "held";
    std::vector<Words> runs;
    for (const std::string& passwd : {busy, writer, refused, held}) {
        machine.Arrange("file:" + passwd + "=" + kAliceFile);
        runs.push_back({"-u", machine.Expand("$(user)"), "-f", passwd});
    }
    for (const std::string& step :
         {"attributes:" + busy + "=R", "opened:" + busy + ".lk~", "writing:" + writer,
          "file:" + refused + ".bak=older", "faultat:~:RENAME=100000"s, "held:" + held}) {
        machine.Arrange(step);
    }
    const std::vector<Outcome> outcomes = machine.Run(runs);
    const std::string notices[] = {busy + " is busy", writer + " is busy",
                                   refused + " could not be rewritten (error 5)",
                                   held + " could not be rewritten (error 32)"};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(notices[i]);
        EXPECT_EQ(outcomes[i].out, TextMode(machine.Expand(kEntry)));
        EXPECT_EQ(outcomes[i].err, TextMode("Passwd file " + notices[i] + kNotWritten));
        EXPECT_GE(outcomes[i].milliseconds, 9000u);
        EXPECT_EQ(machine.FileState(runs[i][3]), kAliceFile);
    }
    EXPECT_EQ(machine.FileState(refused + ".bak"), "older");
}

// Under a UTF-8 ANSI code page (Windows 10's option; wine.code_page_utf8
// runs these in a prefix of its own, and only there): a name comes through
// exactly, never as a look-alike; a lone surrogate, which UTF-8 cannot hold,
// is refused; an accounts file without a mark is read as UTF-8, and checked.
// clang-format off
const std::vector<Row> kUtf8Rows = {
    {"LookAlikeIsAnother", kBoth, "-u {U+015C}am", "accounts=user\t.\tSam\t1005\t513\n", "", MSG_USER_NOT_FOUND, 1},
    {"LoneSurrogate", kBoth, "-u {U+D800}am", "", "", "The command line holds a character that code page 65001 cannot hold: \xef\xbf\xbd" "am.\n", 1},
    {"HomePathExact", kBoth, "-u $(user) -p C:\\{U+015C}am", "", "\n$(user)$(fields)/cygdrive/C/\xc5\x9c" "am:/bin/switch", "", 0},
    {"EncodedSurrogate", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=-u $(user) -s \xed\xa0\x80\r\n", "", "$(dir)\\batch.txt line 1: The line is not valid UTF-8.\n", 1},
};

// Under code page 932 (Japanese Windows; wine.code_page_932 runs this in a
// prefix of its own), whose second bytes include '\\' and A-Z: ア (83 41)
// is not ヂ (83 61), and 表 (95 5C) is one character, at the end of a path
// and before a quote.
const std::vector<Row> kCodePage932Rows = {
    {"OtherLineKept", kBoth, "-u $(user) -s \x83\x41 -f $(pw)", kPasswdHolds + "\x83\x61:1\r\n", "", "", 0, "$(pw)=\x83\x61:1\r\n$(filed:\x83\x41)"},
    {"HomePath", kBoth, "-u $(user) -p C:\\Users\\\x95\x5c", "", "\n$(user)$(fields)/cygdrive/C/Users/\x95\x5c:/bin/switch", "", 0},
    {"FallbackInTheMount", kBoth, "-u $(user)", "dir:$(dir)\\cyg|dir:$(dir)\\cyg\\\x95\x5c|mount=$(dir)\\cyg\\\x95\x5c|profile=C:\\nowhere", "\n$(user)$(fields)/home/tarnwick:/bin/switch", "", 0, "$(dir)\\cyg\\\x95\x5c\\tarnwick=<dir>"},
    {"QuoteAfterIt", kBoth, "-b $(dir)\\batch.txt", "utf16:$(dir)\\batch.txt=-u $(user) -p \"D:\\home\\\xe8\xa1\xa8\" -s j", "\nj$(fields)/cygdrive/D/home/\x95\x5c:/bin/switch", "", 0},
    {"TwoAccountsOfABatch", kBoth, "-b $(dir)\\batch.txt", "file:$(dir)\\batch.txt=-u $(user) -s \x83\x41\r\n-u $(user) -s \x83\x61\r\n", "$(printed:\x83\x41)$(printed:\x83\x61)", "", 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Utf8CodePage, Runs, ::testing::ValuesIn(RowsOfThisExe(kUtf8Rows)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(CodePage932, Runs, ::testing::ValuesIn(RowsOfThisExe(kCodePage932Rows)),
                         RowName);

}  // namespace

// Each listed account that a single run also resolves without a word on
// standard error gets the single run's entry, byte for byte: on this
// machine and in a domain.
TEST(Listing, SameEntriesAsSingleRuns) {
    Machine machine;
    machine.Arrange(machine.Expand(
        "accounts=dc\t$(dom)\t\\\\dc1\nuser\t.\t$(user)\t$(rid)\t513\tWine "
        "User\nuser\t.\tbob\t1001\n"
        "user\t\\\\dc1\t$(user)\t$(rid)\t512\tIn The Domain\nuser\t\\\\dc1\tbob\t1001\n"));
    for (const Words& domain : {Words{}, Words{"-d", machine.Expand("$(dom)")}}) {
        Words all = {"-a"};
        all.insert(all.end(), domain.begin(), domain.end());
        const std::string listed = machine.Run(all).out + "\r\n";
        int compared = 0;
        for (const char* user : {"$(user)", "bob"}) {
            Words single = {"-u", machine.Expand(user)};
            single.insert(single.end(), domain.begin(), domain.end());
            const Outcome run = machine.Run(single);
            if (run.status == 0 && run.err.empty()) {
                EXPECT_NE(listed.find(run.out + "\r\n"), std::string::npos) << run.out;
                ++compared;
            }
        }
        EXPECT_EQ(compared, 1);
    }
}
