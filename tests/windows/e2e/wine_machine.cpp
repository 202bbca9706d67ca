#include "windows/e2e/wine_machine.h"

#include <sddl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

const char kMountKey[] = "HKLM\\SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";

namespace {

const char kCygwinRoot[] = "HKLM\\SOFTWARE\\Cygnus Solutions";
const char kWineKey[] = "HKCU\\Software\\Wine";

// One argument as the C runtime's command-line parser reads it back.
std::string Quote(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::string CommandLine(const std::string& argv0, const std::vector<std::string>& words) {
    // Word 0 is read without escapes; it only has to stay one word.
    std::string line = argv0.find(' ') != std::string::npos ? "\"" + argv0 + "\"" : argv0;
    for (const std::string& word : words) {
        line += " " + Quote(word);
    }
    return line;
}

// This process's environment with some variables set anew, as a block for
// CreateProcessA.
std::string EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& settings) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += strlen(entry) + 1) {
        bool replaced = false;
        for (const auto& setting : settings) {
            const std::string prefix = setting.first + "=";
            replaced |= _strnicmp(entry, prefix.c_str(), prefix.size()) == 0;
        }
        if (!replaced) {
            block.append(entry).push_back('\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& setting : settings) {
        block.append(setting.first + "=" + setting.second).push_back('\0');
    }
    block.push_back('\0');
    return block;
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

// Starts a program with its output streams going to two files.
StartedProcess Start(const char* application, const std::string& commandLine,
                     const std::string* environment, const std::string& outputBase) {
    StartedProcess started;
    started.outPath = outputBase + ".out";
    started.errPath = outputBase + ".err";
    HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritableFile(started.outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = InheritableFile(started.errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    BOOL ok = FALSE;
    // Wine now and then fails to start a process with an internal error
    // (seen about once in a few hundred starts); a second try starts it.
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        ok = CreateProcessA(application, &line[0], NULL, NULL, TRUE, 0,
                            environment != NULL ? const_cast<char*>(environment->c_str()) : NULL,
                            NULL, &startup, &info);
        if (!ok && GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
        if (!ok) {
            Sleep(100);
        }
    }
    EXPECT_TRUE(ok) << "CreateProcessA failed (" << GetLastError() << "): " << commandLine;
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (ok) {
        CloseHandle(info.hThread);
        started.process = info.hProcess;
    }
    return started;
}

ProcessResult Wait(StartedProcess* started, DWORD timeoutMs) {
    ProcessResult result;
    if (started->process == NULL) {
        return result;
    }
    if (WaitForSingleObject(started->process, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "The program did not end within " << timeoutMs << " ms";
        TerminateProcess(started->process, 99);
        WaitForSingleObject(started->process, INFINITE);
    }
    GetExitCodeProcess(started->process, &result.status);
    CloseHandle(started->process);
    started->process = NULL;
    result.out = ReadBytes(started->outPath);
    result.err = ReadBytes(started->errPath);
    DeleteFileA(started->outPath.c_str());
    DeleteFileA(started->errPath.c_str());
    return result;
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// The Wine user's ProfileImagePath as wineboot made it: type and text.
struct RegistryText {
    DWORD type = 0;
    std::string text;
    bool found = false;
};

RegistryText ReadHklmText(const std::string& key, const char* value) {
    RegistryText result;
    HKEY open;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS) {
        return result;
    }
    char data[2048] = {};
    DWORD size = sizeof data - 1;
    result.found = RegQueryValueExA(open, value, NULL, &result.type, reinterpret_cast<BYTE*>(data),
                                    &size) == ERROR_SUCCESS;
    result.text = data;
    RegCloseKey(open);
    return result;
}

const RegistryText& OriginalProfileImagePath() {
    static const RegistryText original = ReadHklmText(
        ProfileListKey(TheWineUser().sid).substr(strlen("HKLM\\")), "ProfileImagePath");
    return original;
}

}  // namespace

std::string ProfileListKey(const std::string& sid) {
    return "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
}

const WineUser& TheWineUser() {
    static const WineUser user = [] {
        WineUser found;
        char name[256];
        DWORD nameSize = sizeof name;
        if (!GetUserNameA(name, &nameSize)) {
            ADD_FAILURE() << "GetUserNameA failed: " << GetLastError();
            return found;
        }
        found.name = name;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof sid;
        char domain[256];
        DWORD domainSize = sizeof domain;
        SID_NAME_USE use;
        if (!LookupAccountNameA(NULL, name, sid, &sidSize, domain, &domainSize, &use)) {
            ADD_FAILURE() << "LookupAccountNameA(" << name << ") failed: " << GetLastError();
            return found;
        }
        found.domain = domain;
        char* text = NULL;
        ConvertSidToStringSidA(sid, &text);
        found.sid = text;
        LocalFree(text);
        found.rid = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1);
        return found;
    }();
    return user;
}

std::string TextMode(const std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') {
            converted.push_back('\r');
        }
        converted.push_back(c);
    }
    return converted;
}

std::string SystemText(DWORD code) {
    char text[4096];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    return std::string(text, length);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    ASSERT_TRUE(file.good()) << "cannot write " << path;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WineTest::SetUp() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "acctmap e2e " + std::to_string(GetCurrentProcessId()) + "." +
           std::to_string(++serial);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL)) << dir_;
    ASSERT_TRUE(CreateDirectoryA(Path("bin").c_str(), NULL));
    ASSERT_TRUE(CopyFileA(ACCTMAP_EXE_PATH, Path("bin\\acctmap.exe").c_str(), FALSE))
        << ACCTMAP_EXE_PATH;
    ASSERT_TRUE(CopyFileA(ACCTMAP_STANDIN_PATH, Path("bin\\netapi32.dll").c_str(), FALSE))
        << ACCTMAP_STANDIN_PATH;
    ASSERT_FALSE(TheWineUser().sid.empty());
    // Wine loads the stand-in from the program's folder only with this
    // override, which it reads when this process starts (ctest sets it).
    char overrides[256] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(strstr(overrides, "netapi32=n"), nullptr)
        << "run with WINEDLLOVERRIDES=netapi32=n (ctest sets it)";
}

void WineTest::TearDown() {
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
        Reg(*undo);
    }
    RemoveTree(dir_);
}

std::string WineTest::Path(const std::string& relative) const {
    return dir_ + "\\" + relative;
}

void WineTest::Accounts(const std::string& lines) {
    WriteBytes(Path("accounts.txt"), lines);
}

std::vector<std::string> WineTest::NetapiCalls() const {
    std::vector<std::string> calls;
    std::istringstream log(ReadBytes(Path("netapi.log")));
    for (std::string line; std::getline(log, line);) {
        calls.push_back(line);
    }
    return calls;
}

bool WineTest::AllNetapiBuffersFreed() const {
    int given = 0;
    int freed = 0;
    for (const std::string& call : NetapiCalls()) {
        if (call.rfind("NetApiBufferFree buffer ", 0) == 0) {
            ++freed;
        } else if (call.find(" buffer ") != std::string::npos) {
            ++given;
        }
    }
    return given == freed;
}

std::string WineTest::AcctmapEnvironment() const {
    return EnvironmentWith({
        {"ACCTMAP_NETAPI_DATA", Path("accounts.txt")},
        {"ACCTMAP_NETAPI_LOG", Path("netapi.log")},
    });
}

StartedProcess WineTest::StartAcctmap(const std::vector<std::string>& words,
                                      const std::string& argv0) {
    const std::string environment = AcctmapEnvironment();
    return Start(Path("bin\\acctmap.exe").c_str(), CommandLine(argv0, words), &environment,
                 Path("run" + std::to_string(++runs_)));
}

ProcessResult WineTest::Acctmap(const std::vector<std::string>& words, const std::string& argv0) {
    StartedProcess started = StartAcctmap(words, argv0);
    return Wait(&started, 60000);
}

ProcessResult WineTest::Finish(StartedProcess* started, DWORD timeoutMs) {
    return Wait(started, timeoutMs);
}

void WineTest::Reg(const std::vector<std::string>& arguments) {
    const std::string line = CommandLine("reg", arguments);
    StartedProcess started = Start(NULL, line, NULL, Path("reg"));
    ProcessResult result = Wait(&started, 60000);
    EXPECT_EQ(result.status, 0u) << line << "\n" << result.out << result.err;
}

void WineTest::UndoAfterTest(const std::vector<std::string>& regArguments) {
    undo_.push_back(regArguments);
}

void WineTest::SetMountDirectory(const std::string& native) {
    if (!mountKeySet_) {
        UndoAfterTest({"delete", kCygwinRoot, "/f"});
        mountKeySet_ = true;
    }
    Reg({"add", kMountKey, "/v", "native", "/t", "REG_SZ", "/d", native, "/f"});
}

void WineTest::SetMountKeyWithoutValue() {
    if (!mountKeySet_) {
        UndoAfterTest({"delete", kCygwinRoot, "/f"});
        mountKeySet_ = true;
    }
    Reg({"add", kMountKey, "/f"});
}

void WineTest::RestoreProfileAfterTest() {
    if (profileChanged_) {
        return;
    }
    const RegistryText& original = OriginalProfileImagePath();
    ASSERT_TRUE(original.found);
    UndoAfterTest({"add", ProfileListKey(TheWineUser().sid), "/v", "ProfileImagePath", "/t",
                   original.type == REG_EXPAND_SZ ? "REG_EXPAND_SZ" : "REG_SZ", "/d", original.text,
                   "/f"});
    profileChanged_ = true;
}

void WineTest::SetProfileImagePath(const std::string& path) {
    RestoreProfileAfterTest();
    Reg({"add", ProfileListKey(TheWineUser().sid), "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ",
         "/d", path, "/f"});
}

void WineTest::RemoveProfileImagePath() {
    RestoreProfileAfterTest();
    Reg({"delete", ProfileListKey(TheWineUser().sid), "/v", "ProfileImagePath", "/f"});
}

void WineTest::SetWineVersion(const std::string& version) {
    UndoAfterTest({"delete", kWineKey, "/v", "Version", "/f"});
    Reg({"add", kWineKey, "/v", "Version", "/t", "REG_SZ", "/d", version, "/f"});
}

void WineTest::UseHomeMount() {
    ASSERT_TRUE(CreateDirectoryA(Path("home").c_str(), NULL));
    SetMountDirectory(Path("home"));
}

std::string WineTest::WineUserRecord(const std::string& server, const std::string& fullName) {
    return "user\t" + server + "\t" + TheWineUser().name + "\t" +
           std::to_string(TheWineUser().rid) + "\t513\t" + fullName + "\n";
}

std::string WineTest::WineUserEntry(const std::string& login, DWORD groupId,
                                    const std::string& fullName, const std::string& home) const {
    const WineUser& user = TheWineUser();
    std::string comment = fullName.empty() ? "" : fullName + ",";
    comment += "U-" + user.domain + "\\" + user.name + "," + user.sid;
    return TextMode("\n" + login + ":unused_by_nt/2000/xp:" + std::to_string(user.rid) + ":" +
                    std::to_string(groupId) + ":" + comment + ":" + home + ":/bin/switch");
}
