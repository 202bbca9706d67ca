// The end-to-end harness on Wine. It drives the real acctmap.exe the way an
// administrator's machine would: Wine's registry written with Wine's reg.exe
// (always into a named view), Wine's file system, Wine's user and SID. Only
// the account database is ours: a test-only netapi32.dll in the system
// folder, fed the table's account lines. Faults are real too: a preload
// library in acctmap.exe's own process makes the disk full, a flush fail or
// the process die at a chosen byte.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "e2e/harness.h"

namespace {

const char kCygwinRoot[] = "HKLM\\SOFTWARE\\Cygnus Solutions";
const char kMountKey[] = "HKLM\\SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
const char kProfileList[] = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

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

std::string SystemFolderDll() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\netapi32.dll";
}

// Quotes make one word of a text with blanks (no word here holds a quote).
std::string CommandLine(const std::string& program, const std::vector<std::string>& words) {
    std::string line = program;
    for (const std::string& word : words) {
        line += word.empty() || word.find_first_of(" \t") != std::string::npos ? " \"" + word + "\""
                                                                               : " " + word;
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

// A registry value as a .reg file gives it: hex(N) with the data's bytes.
std::string HexValue(int type, const std::string& bytes) {
    std::string text = "hex(" + std::to_string(type) + "):";
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        snprintf(pair, sizeof pair, i ? ",%02x" : "%02x", static_cast<unsigned char>(bytes[i]));
        text += pair;
    }
    return text;
}

}  // namespace

struct Harness::State {
    std::string dir;
    std::vector<std::vector<std::string>> undo;
    std::vector<HANDLE> held;
    std::map<std::string, std::string> environment;  // for acctmap.exe alone
    std::map<std::string, std::string> faults;       // for the preload library
    int runs = 0;
    bool outFails = false;
    bool deniedMount = false;

    // A started program and where its output goes.
    struct Started {
        HANDLE process = NULL;
        std::string base;
    };

    // Starts a program in the machine's folder, its output caught. With
    // `outFails`, a standard output that refuses every write.
    Started Launch(const char* application, std::string line, bool outFails = false) {
        Started started;
        started.base = dir + "\\run" + std::to_string(++runs);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
        startup.hStdOutput = Inheritable(started.base + ".out",
                                         outFails ? GENERIC_READ : GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = Inheritable(started.base + ".err", GENERIC_WRITE, CREATE_ALWAYS);
        PROCESS_INFORMATION info = {};
        BOOL ok = FALSE;
        // Wine now and then fails a start with an internal error (about once
        // in a few hundred); a second try starts the program.
        for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
            ok = CreateProcessA(application, &line[0], NULL, NULL, TRUE, 0, NULL, dir.c_str(),
                                &startup, &info);
            if (!ok && GetLastError() != ERROR_INTERNAL_ERROR) {
                break;
            }
        }
        EXPECT_TRUE(ok) << "CreateProcessA failed (" << GetLastError() << "): " << line;
        for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
            CloseHandle(handle);
        }
        if (ok) {
            CloseHandle(info.hThread);
            started.process = info.hProcess;
        }
        return started;
    }

    Outcome Finish(const Started& started) {
        Outcome outcome;
        if (started.process != NULL) {
            EXPECT_EQ(WaitForSingleObject(started.process, 60000), WAIT_OBJECT_0);
            DWORD status = 0;
            GetExitCodeProcess(started.process, &status);
            outcome.status = status;
            CloseHandle(started.process);
        }
        outcome.out = ReadBytes(started.base + ".out");
        outcome.err = ReadBytes(started.base + ".err");
        return outcome;
    }

    Outcome Start(const char* application, const std::string& line, bool outFails = false) {
        return Finish(Launch(application, line, outFails));
    }

    // Wine's reg.exe; an undo may find nothing left to undo.
    void Reg(const std::vector<std::string>& arguments, bool mustSucceed = true) {
        const Outcome result = Start(NULL, CommandLine("reg", arguments));
        EXPECT_TRUE(result.status == 0 || !mustSucceed) << result.out << result.err;
    }

    // Imports one value in a view of the registry from a .reg file.
    void Import(const std::string& key, const std::string& value, const std::string& data,
                const char* view) {
        const std::string file = dir + "\\value.reg";
        std::ofstream(file, std::ios::binary)
            << "REGEDIT4\r\n\r\n[" << key << "]\r\n\"" << value << "\"=" << data << "\r\n";
        Reg({"import", file, view});
    }

    // The Wine user's profile path, put back as it was when the row ends.
    void ChangeProfile(const std::string& value, bool remove) {
        const std::string key = kProfileList + TheWineUser()[2];
        char original[MAX_PATH] = "";
        DWORD size = sizeof original;
        RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str() + 5, "ProfileImagePath",
                     RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, original, &size);
        undo.push_back({"add", key, "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ", "/d", original,
                        "/f", "/reg:64"});
        if (remove) {
            Reg({"delete", key, "/v", "ProfileImagePath", "/f", "/reg:64"});
        } else {
            Reg({"add", key, "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ", "/d", value, "/f",
                 "/reg:64"});
        }
    }

    // A mount key in the 32-bit view that nobody may read: an empty access
    // list. Put back (a list that lets everyone in) before it is removed.
    void DenyMountKey(DWORD access) {
        HKEY key;
        ASSERT_EQ(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMountKey + 5, 0, access | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
        SECURITY_DESCRIPTOR descriptor;
        ACL empty;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, deniedMount ? &empty : NULL, FALSE);
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
        RegCloseKey(key);
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
    // The stand-in takes the system's netapi32.dll's place (for the 32-bit
    // harness the system folder is the 32-bit one).
    EXPECT_TRUE(CopyFileA(ACCTMAP_STANDIN_PATH, SystemFolderDll().c_str(), FALSE));
    char overrides[256] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    EXPECT_NE(strstr(overrides, "netapi32=n"), nullptr) << "run with WINEDLLOVERRIDES=netapi32=n";
    s.environment["ACCTMAP_NETAPI_DATA"] = s.dir + "\\accounts.txt";
    Arrange("accounts=user\t.\t" + Token("user") + "\t" + Token("rid") + "\t513\tWine User\n");
    s.undo = {{"delete", kCygwinRoot, "/f", "/reg:32"}, {"delete", kCygwinRoot, "/f", "/reg:64"}};
    Arrange("mount=" + s.dir + "\\home");
}

Harness::~Harness() {
    State& s = *state_;
    for (HANDLE handle : s.held) {
        CloseHandle(handle);
    }
    if (s.deniedMount) {
        s.deniedMount = false;
        s.DenyMountKey(WRITE_DAC);
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
        EXPECT_TRUE(DeleteFileA(SystemFolderDll().c_str()));
    } else if (key == "planted") {
        // Beside the exe and in the folder it runs in.
        for (const char* folder : {"\\bin", ""}) {
            EXPECT_TRUE(CopyFileA(ACCTMAP_PLANTED_PATH, (s.dir + folder + "\\netapi32.dll").c_str(),
                                  FALSE));
        }
    } else if (key == "win98") {
        s.undo.push_back({"delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
        s.Reg({"add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
    } else if (key == "nofault") {
        s.faults.clear();
    } else if (verb == "fault") {
        // The new file, unless the row names another.
        s.faults.emplace("ACCTMAP_FAULT_FILE", ".nw~");
        s.faults["ACCTMAP_FAULT_" + path] = value;
    } else if (key == "mount" && step.find('=') == std::string::npos) {
        s.Reg({"delete", kMountKey, "/v", "native", "/f", "/reg:32"});
    } else if (key == "mount64-too") {
        s.Reg({"add", kMountKey, "/v", "native", "/d", value, "/f", "/reg:64"});
    } else if (key == "mount" || key == "mount64" || key == "nomount") {
        s.Reg({"delete", kCygwinRoot, "/f", "/reg:32"}, false);
        if (key != "nomount") {
            s.Reg({"add", kMountKey, "/v", "native", "/d", value, "/f",
                   key == "mount" ? "/reg:32" : "/reg:64"});
        }
    } else if (key == "unterminated-mount") {
        // REG_SZ data without its terminating NUL, as a careless writer
        // leaves it (a REGEDIT4 file gives hex(1) data in the ANSI code page).
        s.Import(kMountKey, "native", HexValue(1, value), "/reg:32");
    } else if (key == "denied") {
        s.Reg({"add", kMountKey, "/v", "native", "/d", value, "/f", "/reg:32"});
        s.deniedMount = true;
        s.DenyMountKey(WRITE_DAC);
    } else if (key == "profile" || key == "noprofile") {
        s.ChangeProfile(value, key == "noprofile");
    } else if (verb == "file") {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << value;
    } else if (verb == "dir") {
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    } else if (verb == "attributes") {
        // R read-only, H hidden, S system.
        DWORD attributes = 0;
        for (char flag : value) {
            attributes |= flag == 'R'   ? FILE_ATTRIBUTE_READONLY
                          : flag == 'H' ? FILE_ATTRIBUTE_HIDDEN
                                        : FILE_ATTRIBUTE_SYSTEM;
        }
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
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

std::vector<Outcome> Harness::RunAtOnce(const std::vector<std::vector<std::string>>& runs) {
    State& s = *state_;
    // acctmap.exe's own environment: set for its start, then put back.
    std::map<std::string, std::string> saved;
    for (const auto& [name, value] : s.environment) {
        char old[1024];
        DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        saved[name] = length != 0 && length < sizeof old ? old : "";
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    // Word 0 as an administrator would type it.
    // The preload library that this process and its children carry reads
    // its faults from the control file while the runs last.
    char control[MAX_PATH] = "";
    if (!s.faults.empty()) {
        GetEnvironmentVariableA("ACCTMAP_FAULT_CONTROL", control, sizeof control);
        EXPECT_NE(control[0], '\0') << "run with ACCTMAP_FAULT_CONTROL and the preload library";
        std::ofstream settings("Z:" + std::string(control), std::ios::binary);
        for (const auto& [name, value] : s.faults) {
            settings << name << "=" << value << "\n";
        }
    }
    std::vector<State::Started> started;
    for (const auto& words : runs) {
        started.push_back(s.Launch((s.dir + "\\bin\\acctmap.exe").c_str(),
                                   CommandLine("C:\\tools\\acctmap.exe", words), s.outFails));
    }
    for (const auto& [name, value] : saved) {
        SetEnvironmentVariableA(name.c_str(), value.empty() ? NULL : value.c_str());
    }
    std::vector<Outcome> outcomes;
    for (const State::Started& run : started) {
        outcomes.push_back(s.Finish(run));
    }
    if (control[0] != '\0') {
        DeleteFileA(("Z:" + std::string(control)).c_str());
    }
    return outcomes;
}

Outcome Harness::Run(const std::vector<std::string>& words) {
    return RunAtOnce({words})[0];
}

std::string Harness::FileState(const std::string& path) const {
    const size_t question = path.find('?');
    const std::string file = path.substr(0, question);
    DWORD attributes = GetFileAttributesA(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return "<none>";
    }
    if (question != std::string::npos && path.substr(question) == "?attributes") {
        return std::string(attributes & FILE_ATTRIBUTE_HIDDEN ? "H" : "") +
               (attributes & FILE_ATTRIBUTE_SYSTEM ? "S" : "");
    }
    if (question != std::string::npos) {
        WIN32_FIND_DATAA found;
        FindClose(FindFirstFileA(file.c_str(), &found));
        return found.cFileName;
    }
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? "<dir>" : ReadBytes(file);
}
