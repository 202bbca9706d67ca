// The end-to-end harness on Wine. It drives the real acctmap.exe the way an
// administrator's machine would: Wine's registry written with Wine's reg.exe
// (always into a named view), Wine's file system, Wine's user and SID. Only
// the account database is ours: a test-only netapi32.dll beside a copy of
// acctmap.exe in each machine's folder, fed the table's account lines.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/harness.h"

namespace {

const char kCygwinRoot[] = "HKLM\\SOFTWARE\\Cygnus Solutions";
const char kMountKey[] = "HKLM\\SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";

// The Wine user as Wine's security functions see it: name, domain, SID, rid.
const std::vector<std::string>& TheWineUser() {
    static const std::vector<std::string> user = [] {
        char name[256], domain[256], *text = NULL;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD nameSize = sizeof name, sidSize = sizeof sid, domainSize = sizeof domain;
        SID_NAME_USE use;
        EXPECT_TRUE(GetUserNameA(name, &nameSize) &&
                    LookupAccountNameA(NULL, name, sid, &sidSize, domain, &domainSize, &use) &&
                    ConvertSidToStringSidA(sid, &text));
        std::vector<std::string> found = {
            name, domain, text,
            std::to_string(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1))};
        LocalFree(text);
        return found;
    }();
    return user;
}

// Quotes make one word of a text with blanks (no word here holds a quote).
std::string CommandLine(const std::string& program, const std::vector<std::string>& words) {
    std::string line = program;
    for (const std::string& word : words) {
        line +=
            word.empty() || word.find(' ') != std::string::npos ? " \"" + word + "\"" : " " + word;
    }
    return line;
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, 0, NULL);
}

std::string ReadBytes(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

}  // namespace

struct Harness::State {
    std::string dir;
    std::vector<std::vector<std::string>> undo;
    std::vector<HANDLE> held;
    int runs = 0;
    bool outFails = false;

    // Runs a program in the machine's folder to its end, its output caught.
    // With `outFails`, a standard output that refuses every write.
    Outcome Start(const char* application, std::string line, bool outFails = false) {
        const std::string base = dir + "\\run" + std::to_string(++runs);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
        startup.hStdOutput =
            Inheritable(base + ".out", outFails ? GENERIC_READ : GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = Inheritable(base + ".err", GENERIC_WRITE, CREATE_ALWAYS);
        PROCESS_INFORMATION info = {};
        BOOL started = FALSE;
        // Wine now and then fails a start with an internal error (about once
        // in a few hundred); a second try starts the program.
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            started = CreateProcessA(application, &line[0], NULL, NULL, TRUE, 0, NULL, dir.c_str(),
                                     &startup, &info);
            if (!started && GetLastError() != ERROR_INTERNAL_ERROR) {
                break;
            }
        }
        EXPECT_TRUE(started) << "CreateProcessA failed (" << GetLastError() << "): " << line;
        for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
            CloseHandle(handle);
        }
        Outcome outcome;
        if (started) {
            EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0) << line;
            DWORD status = 0;
            GetExitCodeProcess(info.hProcess, &status);
            outcome.status = status;
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        outcome.out = ReadBytes(base + ".out");
        outcome.err = ReadBytes(base + ".err");
        return outcome;
    }

    // Wine's reg.exe; an undo may find nothing left to undo.
    void Reg(const std::vector<std::string>& arguments, bool mustSucceed = true) {
        const Outcome result = Start(NULL, CommandLine("reg", arguments));
        EXPECT_TRUE(result.status == 0 || !mustSucceed) << result.out << result.err;
    }
};

Harness::Harness() : state_(new State) {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    State& s = *state_;
    // A blank in the path, as Windows paths often have.
    s.dir = std::string(temp) + "acctmap e2e " + std::to_string(GetCurrentProcessId()) + "." +
            std::to_string(++serial);
    for (const char* sub : {"", "\\bin", "\\etc", "\\home"}) {
        EXPECT_TRUE(CreateDirectoryA((s.dir + sub).c_str(), NULL)) << s.dir << sub;
    }
    EXPECT_TRUE(CopyFileA(ACCTMAP_EXE_PATH, (s.dir + "\\bin\\acctmap.exe").c_str(), FALSE));
    EXPECT_TRUE(CopyFileA(ACCTMAP_STANDIN_PATH, (s.dir + "\\bin\\netapi32.dll").c_str(), FALSE));
    // Wine takes the override that picks the stand-in from the environment
    // this process started in (ctest sets it); runs inherit the stand-in's files.
    char overrides[256] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    EXPECT_NE(strstr(overrides, "netapi32=n"), nullptr) << "run with WINEDLLOVERRIDES=netapi32=n";
    SetEnvironmentVariableA("ACCTMAP_NETAPI_DATA", (s.dir + "\\accounts.txt").c_str());
    Arrange("accounts=user\t.\t" + Token("user") + "\t" + Token("rid") + "\t513\tWine User\n");
    s.undo = {{"delete", kCygwinRoot, "/f", "/reg:32"}, {"delete", kCygwinRoot, "/f", "/reg:64"}};
    Arrange("mount=" + s.dir + "\\home");
}

Harness::~Harness() {
    State& s = *state_;
    for (HANDLE handle : s.held) {
        CloseHandle(handle);
    }
    for (auto undo = s.undo.rbegin(); undo != s.undo.rend(); ++undo) {
        s.Reg(*undo, false);
    }
    std::error_code ignored;
    std::filesystem::remove_all(s.dir, ignored);
    delete state_;
}

std::string Harness::Token(const std::string& name) const {
    if (name.compare(0, 4, "sys:") == 0) {
        char text[4096];
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      NULL, atoi(name.c_str() + 4), 0x400, text, sizeof text, NULL);
        return std::string(text, length);
    }
    const char* const names[] = {"user", "dom", "sid", "rid"};
    for (int i = 0; i < 4; ++i) {
        if (name == names[i]) {
            return TheWineUser()[i];
        }
    }
    return state_->dir;  // "dir"
}

void Harness::Arrange(const std::string& step) {
    State& s = *state_;
    const auto [key, verb, path, value] = ParseStep(step);
    if (key == "accounts") {
        std::ofstream(s.dir + "\\accounts.txt", std::ios::binary) << value;
    } else if (key == "outfails") {
        s.outFails = true;
    } else if (key == "nonetapi") {
        EXPECT_TRUE(DeleteFileA((s.dir + "\\bin\\netapi32.dll").c_str()));
    } else if (key == "win98") {
        s.undo.push_back({"delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
        s.Reg({"add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
    } else if (key == "mount" && step.find('=') == std::string::npos) {
        s.Reg({"delete", kMountKey, "/v", "native", "/f", "/reg:32"});
    } else if (key == "mount" || key == "mount64" || key == "nomount") {
        s.Reg({"delete", kCygwinRoot, "/f", "/reg:32"}, false);
        if (key != "nomount") {
            s.Reg({"add", kMountKey, "/v", "native", "/d", value, "/f",
                   key == "mount" ? "/reg:32" : "/reg:64"});
        }
    } else if (verb == "file") {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << value;
    } else if (verb == "dir") {
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    } else if (verb == "readonly") {
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path;
    } else if (verb == "held" || verb == "opened") {
        // "held" as an editor holds it: others may read it, nobody may
        // remove it. "opened" shares everything: a lock must still be ours alone.
        const DWORD share = verb == "held" ? FILE_SHARE_READ
                                           : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        s.held.push_back(
            CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_ALWAYS, 0, NULL));
    } else {
        ADD_FAILURE() << "not a step Wine can take: " << step;
    }
}

Outcome Harness::Run(const std::vector<std::string>& words) {
    // Word 0 as an administrator would type it.
    return state_->Start((state_->dir + "\\bin\\acctmap.exe").c_str(),
                         CommandLine("C:\\tools\\acctmap.exe", words), state_->outFails);
}

std::string Harness::FileState(const std::string& path) const {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES   ? "<none>"
           : attributes & FILE_ATTRIBUTE_DIRECTORY ? "<dir>"
                                                   : ReadBytes(path);
}
