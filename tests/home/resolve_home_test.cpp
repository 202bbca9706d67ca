#ifndef _WIN32

#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "home/home.h"
#include "platform/bounded_text.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

namespace {

namespace fs = std::filesystem;

const std::string kMountKey = "[registry.'SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home']\n";
const std::string kProfileKey =
    "[registry.'SOFTWARE\\Microsoft\\Windows "
    "NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1003']\n";

std::string Mount(const std::string& native) {
    return kMountKey + "native = '" + native + "'\n";
}
std::string Profile(const std::string& value) {
    return kProfileKey + "ProfileImagePath = '" + value + "'\n";
}
const std::string kMount = Mount("D:\\cygwin\\home");

struct HomeCase {
    const char* name;
    std::string machine;               // registry and faults
    std::vector<std::string> folders;  // made first; "=name" makes a plain file
    std::string homePath;
    bool sidFound;
    std::string err;  // empty: the stage goes on
    std::string windowsPath = "";
    std::string posixPath = "";
};

class ResolveHomeTest : public SimMachineTest {};

TEST_F(ResolveHomeTest, ChoosesConvertsAndCreates) {
    const std::string h = "d/cygwin/home", fb = "D:\\cygwin\\home\\tarnwick",
                      gone = "D:\\Users\\gone";
    const std::string cant = "Can't create home directory " + fb + " for user JDoe\r\n";
    const std::string readError = "read key value error\r\n",
                      tooLong = "Home directory path is too long: ";
    const std::string deep = std::string(120, 'a') + "\\" + std::string(135, 'b');
    // clang-format off
    const std::vector<HomeCase> cases = {
        {"worked example, profile exists", kMount + Profile("%SystemDrive%\\Documents and Settings\\user1"), {h, "d/Documents and Settings/user1"}, "", true, "", "D:\\Documents and Settings\\user1", "/cygdrive/D/Documents and Settings/user1"},
        {"worked example, profile missing", kMount + Profile(gone), {h}, "", true, "", fb, "/home/tarnwick"},
        {"fallback already there", kMount + Profile(gone), {h + "/tarnwick"}, "", true, "", fb, "/home/tarnwick"},
        {"no SID", kMount + Profile("D:\\u"), {h, "d/u"}, "", false, "", fb, "/home/tarnwick"},
        {"no profile-list key", kMount, {h}, "", true, "", fb, "/home/tarnwick"},
        {"profile expands to nothing", kMount + Profile(""), {h}, "", true, "", fb, "/home/tarnwick"},
        {"a plain file counts", kMount + Profile("D:\\u"), {h, "=d/u"}, "", true, "", "D:\\u", "/cygdrive/D/u"},
        {"rewrite ignores ASCII case", kMount + Profile("d:\\CYGWIN\\HOME\\u"), {"d/CYGWIN/HOME/u"}, "", true, "", "d:\\CYGWIN\\HOME\\u", "/home/u"},
        {"rewrite takes whole components", kMount + Profile("D:\\cygwin\\homework\\x"), {"d/cygwin/homework/x"}, "", true, "", "D:\\cygwin\\homework\\x", "/cygdrive/D/cygwin/homework/x"},
        {"the mount directory itself", kMount + Profile("D:\\cygwin\\home"), {h}, "", true, "", "D:\\cygwin\\home", "/home"},
        {"mount ending in a backslash", Mount("D:\\cygwin\\home\\") + Profile(gone), {h}, "", true, "", fb, "/home/tarnwick"},
        {"profile under such a mount", Mount("D:\\cygwin\\home\\") + Profile("D:\\cygwin\\home\\u"), {h + "/u"}, "", true, "", "D:\\cygwin\\home\\u", "/home/u"},
        {"-p is taken untested", kMount, {h}, "D:\\cygwin\\home\\u", true, "", "D:\\cygwin\\home\\u", "/cygdrive/D/cygwin/home/u"},
        {"-p as a POSIX path", kMount, {}, "/home/u", true, "", "/home/u", "/home/u"},
        {"no mount key, even with -p", "", {}, "D:\\x", true, "Open Registry Error.\r\nThe system cannot find the file specified.\r\r\n\r\n"},
        {"no native value", kMountKey + "other = 'x'\n", {}, "", true, readError},
        {"empty native value", Mount(""), {}, "", true, readError},
        {"native value beyond the buffer", Mount("D:\\" + std::string(1021, 'm')), {}, "", true, readError},
        {"profile key without its value", kMount + kProfileKey + "Other = 'x'\n", {h}, "", true, readError},
        {"mount directory missing", kMount + Profile(gone), {"d"}, "", true, cant},
        {"creation fails", kMount + "[faults]\ncreate_directory = 5\n", {h}, "", true, cant},
        {"expansion too long", kMount + Profile("D:\\" + std::string(300, 'x')), {h}, "", true, tooLong + "D:\\" + std::string(300, 'x') + "\r\n"},
        {"-p too long once converted", kMount, {}, "C:" + std::string(249, 'p'), true, tooLong + "C:" + std::string(249, 'p') + "\r\n"},
        {"fallback too long", Mount("D:\\" + std::string(250, 'm')), {"d"}, "", true, tooLong + "D:\\" + std::string(250, 'm') + "\\tarnwick\r\n"},
        {"rewrite too long", Mount("D:") + Profile("D:\\" + deep), {"d/" + std::string(120, 'a') + "/" + std::string(135, 'b')}, "", true, tooLong + "D:\\" + deep + "\r\n"},
    };
    // clang-format on
    for (const HomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_.path() + "/d");
        for (const std::string& folder : c.folders) {
            if (folder[0] == '=') {
                dir_.Write(folder.substr(1), "");
            } else {
                fs::create_directories(dir_.path() + "/" + folder);
            }
        }
        Load("[drives]\nD = 'd'\n[environment]\nSystemDrive = 'D:'\n" + c.machine);
        UserRequest request = {};
        CopyText(request.homePath, sizeof request.homePath, c.homePath.c_str());
        AccountInfo account = {};
        CopyText(account.userName, sizeof account.userName, "JDoe");
        // S-1-5-21-1-2-3-1003
        const BYTE sid[] = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0,    0, 1, 0,
                            0, 0, 2, 0, 0, 0, 3, 0, 0,  0, 0xEB, 3, 0, 0};
        memcpy(account.sid, sid, sizeof sid);
        account.sidFound = c.sidFound;
        const int held = SimOutstandingBuffers(), local = SimOutstandingLocalBuffers();
        auto entries = [&] {
            return std::distance(fs::recursive_directory_iterator(dir_.path()), {});
        };
        const auto before = entries();
        // Only the fallback directory is ever made, and only when missing.
        const bool creates =
            c.windowsPath == fb && !fs::exists(dir_.path() + "/" + h + "/tarnwick");

        HomeLocation location;
        EXPECT_EQ(ResolveHomeDirectory(&request, &account, &location), c.err.empty() ? 0 : 1);
        EXPECT_EQ(Stderr(), c.err);
        if (c.err.empty()) {
            EXPECT_EQ(location.windowsPath, c.windowsPath);
            EXPECT_EQ(location.posixPath, c.posixPath);
        }
        EXPECT_EQ(entries() - before, creates ? 1 : 0);
        EXPECT_TRUE(!creates || fs::is_directory(dir_.path() + "/" + h + "/tarnwick"));
        EXPECT_EQ(SimOutstandingBuffers(), held) << "registry keys left open";
        EXPECT_EQ(SimOutstandingLocalBuffers(), local);
    }
}

}  // namespace

#endif
