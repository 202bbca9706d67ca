// The end-to-end harness on the host: each machine is a temporary folder
// holding drive C: and the profile that the set-up steps describe.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "e2e/harness.h"
#include "platform/platform.h"
#include "platform/sim/sim_machine.h"

namespace fs = std::filesystem;

namespace {

const std::string kMountKey = "SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
const std::string kMountKey32 = "SOFTWARE\\Wow6432Node\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
const std::string kSid = "S-1-5-21-7-8-9-1003";
const std::string kProfileKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + kSid;

// A TOML literal string: the profile's texts hold no quote or control byte.
std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

}  // namespace

struct Harness::State {
    std::string folder;
    std::string family = "family = 'nt'\n";
    std::string accounts = "user\t.\tkim\t1003\t513\tWine User\n";
    // Registry keys and [lookup], [registry_denied] and [faults] entries.
    std::map<std::string, std::string> keys = {
        {kMountKey32, "native = 'C:\\work\\home'"},
        {kProfileKey, "ProfileImagePath = 'C:\\users\\kim'"}};
    std::map<std::string, std::string> lookups = {
        {"kim", "{ sid = '" + kSid + "', domain = 'WS01' }"},
        {"WS01\\kim", "{ sid = '" + kSid + "', domain = 'WS01' }"}};
    std::map<std::string, std::string> denied, faults;
    std::vector<int> held;
    bool outFails = false;

    std::string Host(const std::string& path) const {
        std::string host = path.size() > 1 && path[1] == ':' ? folder + "/" + path.substr(2) : path;
        for (char& c : host) {
            c = c == '\\' ? '/' : c;
        }
        return host;
    }

    void WriteProfile() const {
        std::ostringstream text;
        text << family << "account_lines = 'accounts.txt'\n[drives]\nC = " << Quoted(folder)
             << "\n[environment]\nSystemDrive = 'C:'\n";
        for (const auto& [section, entries] :
             {std::make_pair("lookup", &lookups), std::make_pair("registry_denied", &denied),
              std::make_pair("faults", &faults)}) {
            text << "[" << section << "]\n";
            for (const auto& [name, value] : *entries) {
                text << (section[0] == 'f' ? name : Quoted(name)) << " = " << value << "\n";
            }
        }
        for (const auto& [key, values] : keys) {
            text << "[registry." << Quoted(key) << "]\n" << values << "\n";
        }
        std::ofstream(folder + "/machine.toml", std::ios::binary) << text.str();
        std::ofstream(folder + "/accounts.txt", std::ios::binary) << accounts;
    }
};

Harness::Harness() : state_(new State) {
    char pattern[] = "/tmp/acctmap-test-XXXXXX";
    state_->folder = mkdtemp(pattern);
    for (const char* sub : {"/work/home", "/work/etc", "/users/kim"}) {
        fs::create_directories(state_->folder + sub);
    }
    state_->WriteProfile();
}

Harness::~Harness() {
    for (int fd : state_->held) {
        close(fd);
    }
    std::error_code ignored;
    fs::remove_all(state_->folder, ignored);
    delete state_;
}

std::string Harness::Token(const std::string& name) const {
    if (name.compare(0, 4, "sys:") == 0) {
        // The machine's own table, as the program finds it.
        char error[256];
        char text[512] = "";
        SimLoadProfileText("", nullptr, error, sizeof error);
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                       static_cast<DWORD>(atol(name.c_str() + 4)), 0, text, sizeof text, NULL);
        return text;
    }
    const std::map<std::string, std::string> tokens = {
        {"user", "kim"}, {"dom", "WS01"},     {"sid", kSid},
        {"rid", "1003"}, {"dir", "C:\\work"}, {"folder", state_->folder}};
    return tokens.at(name);
}

void Harness::Arrange(const std::string& step) {
    State& s = *state_;
    const auto [key, verb, name, value] = ParseStep(step);
    const std::string path = s.Host(name);
    if (key == "accounts") {
        s.accounts = value;
    } else if (key == "outfails") {
        s.outFails = true;
    } else if (key == "win98") {
        s.family = "family = '95'\nlogged_on_user = 'kim'\n";
    } else if (key == "mount" || key == "mount64" || key == "unterminated-mount" ||
               key == "nomount") {
        s.keys.erase(kMountKey32);
        const std::string native = key == "unterminated-mount"
                                       ? "{ unterminated = " + Quoted(value) + " }"
                                       : Quoted(value);
        if (key != "nomount") {
            s.keys[key == "mount64" ? kMountKey : kMountKey32] =
                step.find('=') == std::string::npos ? "other = 'x'" : "native = " + native;
        }
    } else if (key == "profile" || key == "noprofile") {
        s.keys[kProfileKey] =
            key == "profile" ? "ProfileImagePath = " + Quoted(value) : "Flags = '0'";
    } else if (verb == "lookup" || verb == "denied" || verb == "fault") {
        (verb == "lookup"   ? s.lookups
         : verb == "denied" ? s.denied
                            : s.faults)[name] =
            verb == "lookup" ? "{ error = " + value + " }" : value;
    } else if (verb == "file") {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << value;
    } else if (verb == "dir") {
        fs::create_directories(path);
    } else if (verb == "readonly" || verb == "chmod") {
        chmod(path.c_str(),
              verb == "chmod" ? static_cast<mode_t>(strtol(value.c_str(), nullptr, 8)) : 0444);
    } else if (verb == "chown") {
        EXPECT_EQ(chown(path.c_str(), atoi(value.c_str()), atoi(value.c_str())), 0);
    } else if (verb == "link") {
        fs::create_symlink(s.Host(value), path);
    } else if (verb == "held") {
        // Held as a run of acctmap holds it.
        s.held.push_back(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        flock(s.held.back(), LOCK_EX);
    } else {
        ADD_FAILURE() << "unknown set-up step " << step;
    }
    s.WriteProfile();
}

Outcome Harness::Run(const std::vector<std::string>& words) {
    Outcome outcome;
    outcome.status = static_cast<unsigned long>(
        WaitFor(StartAcctmap(state_->folder, words, "run", state_->outFails)));
    outcome.out = ReadHostFile(state_->folder + "/run.out");
    outcome.err = ReadHostFile(state_->folder + "/run.err");
    return outcome;
}

std::string Harness::FileState(const std::string& path) const {
    // "<path>@" asks for the owner and the mode.
    const bool owner = path.back() == '@';
    const std::string host = state_->Host(owner ? path.substr(0, path.size() - 1) : path);
    struct stat status;
    return lstat(host.c_str(), &status) != 0 ? "<none>"
           : owner ? std::to_string(status.st_uid) + " " + std::to_string(status.st_mode & 0777)
           : S_ISDIR(status.st_mode) ? "<dir>"
                                     : ReadHostFile(host);
}

pid_t StartAcctmap(const std::string& folder, const std::vector<std::string>& words,
                   const std::string& tag, bool outFails) {
    std::vector<std::string> all = {"C:\\tools\\acctmap.exe"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& word : all) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int out = chdir(folder.c_str()) != 0 ? -1
                  : outFails                 ? open("/dev/full", O_WRONLY)
                                             : creat((tag + ".out").c_str(), 0644);
        int err = out >= 0 ? creat((tag + ".err").c_str(), 0644) : -1;
        if (err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(125);
        }
        setenv("ACCTMAP_MACHINE", (folder + "/machine.toml").c_str(), 1);
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

std::string ReadHostFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}
