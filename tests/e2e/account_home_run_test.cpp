// Account lookup and home directory through the whole NT-mode run: what
// each outcome leaves on the streams, in the exit status and on the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_acctmap.h"

namespace {

const char kMachine[] = R"(
drives = { D = 'd' }
environment = { SystemDrive = 'D:' }
domains = { SALES = { controller = '\\dc1' } }
accounts = [
  { server = '\\dc1', name = 'jdoe', user_id = 1107, primary_group_id = 513, full_name = 'Jane Doe' },
  { server = '', name = 'nobody', user_id = 1010, primary_group_id = 513 },
]
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-333-1107', domain = 'SALES' }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'D:\cygwin\home'
[registry.'SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-111-222-333-1107']
ProfileImagePath = '%SystemDrive%\Documents and Settings\jdoe'
)";

struct RunCase {
    const char* name;
    std::vector<std::string> words;
    const char* folder;  // made before the run
    std::string out;
    std::string err;
    int status;
};

TEST(AccountHomeRun, EndsAsEachStageDecides) {
    // clang-format off
    const std::vector<RunCase> cases = {
        {"domain account, missing profile: the shared directory", {"-u", "jdoe", "-d", "SALES"}, "d/cygwin/home",
         "\r\nSALES\\jdoe:unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,S-1-5-21-111-222-333-1107:/home/tarnwick:/bin/switch", "", 0},
        {"no SID: reported, the run goes on", {"-u", "nobody"}, "d/cygwin/home",
         "\r\nnobody:unused_by_nt/2000/xp:1010:513:U-nobody:/home/tarnwick:/bin/switch",
         "acctmap (301): [1332] No mapping between account names and security IDs was done.\r\r\n (nobody)\r\n", 0},
        {"home stage fails after the account was read", {"-u", "jdoe", "-d", "SALES", "-f", "passwd"}, "d", "",
         "Can't create home directory D:\\cygwin\\home\\tarnwick for user jdoe\r\n", 1},
    };
    // clang-format on
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::filesystem::create_directories(dir.path() + "/" + c.folder);
        const std::string passwd = "alice:x:1:1::/home/alice:/bin/sh\r\n";
        dir.Write("passwd", passwd);
        RunResult result = RunAcctmap(dir, kMachine, c.words);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(dir.Exists("d/cygwin/home/tarnwick"), c.status == 0);
        // A run that ends early leaves the passwd file alone.
        EXPECT_EQ(dir.Read("passwd"), passwd);
        EXPECT_FALSE(dir.Exists("passwd.bak"));
    }
}

}  // namespace
