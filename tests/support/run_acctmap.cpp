#include "support/run_acctmap.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "acctmap-test-XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

// A read-only file goes too: removing it takes only its folder's permission.
TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
    fs::path file = fs::path(path_) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    return file.string();
}

std::string TempDir::Read(const std::string& relative) const {
    std::ostringstream content;
    content << std::ifstream(fs::path(path_) / relative, std::ios::binary).rdbuf();
    return content.str();
}

bool TempDir::Exists(const std::string& relative) const {
    return fs::exists(fs::path(path_) / relative);
}

pid_t StartAcctmap(const TempDir& dir, const std::vector<std::string>& words,
                   const std::string& tag, const std::string& argv0) {
    std::vector<std::string> all = {argv0.empty() ? std::string(ACCTMAP_BINARY) : argv0};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& word : all) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    const std::string machine = dir.path() + "/machine.toml";
    pid_t child = fork();
    if (child == 0) {
        int out = chdir(dir.path().c_str()) == 0 ? creat((tag + ".out").c_str(), 0644) : -1;
        int err = out >= 0 ? creat((tag + ".err").c_str(), 0644) : -1;
        if (err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(125);
        }
        access(machine.c_str(), F_OK) == 0 ? setenv("ACCTMAP_MACHINE", machine.c_str(), 1)
                                           : unsetenv("ACCTMAP_MACHINE");
        execv(ACCTMAP_BINARY, argv.data());
        _exit(126);
    }
    return child;
}

int WaitFor(pid_t child) {
    int raw = 0;
    waitpid(child, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

RunResult RunAcctmap(const TempDir& dir, const std::string& profile,
                     const std::vector<std::string>& words, const std::string& argv0) {
    if (profile.empty()) {
        fs::remove(dir.path() + "/machine.toml");
    } else {
        dir.Write("machine.toml", profile);
    }
    RunResult result;
    result.status = WaitFor(StartAcctmap(dir, words, ".run", argv0));
    result.out = dir.Read(".run.out");
    result.err = dir.Read(".run.err");
    return result;
}

::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
    if (got == want) {
        return ::testing::AssertionSuccess();
    }
    size_t at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    return ::testing::AssertionFailure()
           << got.size() << " bytes instead of " << want.size() << ", first difference at " << at
           << ": " << ::testing::PrintToString(got.substr(at, 60)) << " instead of "
           << ::testing::PrintToString(want.substr(at, 60));
}

const char kPasswdMachine[] = R"(family = "nt"
drives = { C = "c-drive" }
accounts = [
  { server = '\\dc1', name = 'jdoe', user_id = 1107, primary_group_id = 513, full_name = 'Jane Doe' },
  { server = '', name = 'jdoe', user_id = 1003, primary_group_id = 513 },
  { server = '', name = 'od:d', user_id = 4294967295, primary_group_id = 4294967295, full_name = "Doe: Jane\t" },
]
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-333-1107', domain = 'SALES' }
'od:d' = { sid = 'S-1-5-21-7-8-9-1003', domain = '' }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'C:\cygwin\home'
[registry.'SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-111-222-333-1107']
ProfileImagePath = 'C:\cygwin\home\jdoe'
[domains]
SALES = { controller = '\\dc1' }
)";

std::string JdoeEntry(const std::string& login) {
    return "\r\n" + login +
           ":unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,S-1-5-21-111-222-333-1107:"
           "/home/jdoe:/bin/switch";
}

RunResult RunJdoe(const TempDir& dir, const std::vector<std::string>& words,
                  const std::string& profile) {
    dir.Write("c-drive/cygwin/home/jdoe/.profile", "");
    std::vector<std::string> all = {"-u", "jdoe", "-d", "SALES"};
    all.insert(all.end(), words.begin(), words.end());
    return RunAcctmap(dir, profile, all);
}

void SimMachineTest::TearDown() {
    SimSetStandardStreams(1, 2);
    close(errFd_);
    SimForgetMachine();
}

void SimMachineTest::Load(const std::string& toml) {
    char error[512];
    ASSERT_TRUE(SimLoadProfileText(toml.c_str(), dir_.path().c_str(), error, sizeof error))
        << error;
    SimSetStandardStreams(1, 2);
    close(errFd_);
    errFd_ = open((dir_.path() + "/.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(errFd_, 0);
    SimSetStandardStreams(1, errFd_);
}

std::string SimMachineTest::Stderr() {
    fflush(RtStderr());
    return dir_.Read(".stderr");
}
