#include "windows/e2e/wine_machine.h"

#include <sddl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/legacy.h"

namespace {

const char kCygwinRoot[] = "HKLM\\SOFTWARE\\Cygnus Solutions";
const char kMountKey[] = "HKLM\\SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
const std::string kProfileList =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

// Quotes make one word of a text with blanks (no word here holds a quote
// or ends with a backslash, which would need escapes).
std::string Quote(const std::string& argument) {
    return argument.empty() || argument.find(' ') != std::string::npos ? "\"" + argument + "\""
                                                                       : argument;
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& words) {
    std::string line = program;
    for (const std::string& word : words) {
        line += " " + Quote(word);
    }
    return line;
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

std::string SystemText(DWORD code) {
    char text[4096];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    EXPECT_NE(length, 0u) << "Wine has no text for " << code;
    return std::string(text, length);
}

}  // namespace

const WineUser& TheWineUser() {
    static const WineUser user = [] {
        WineUser found;
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof sid;
        char domain[256];
        DWORD domainSize = sizeof domain;
        SID_NAME_USE use;
        char* text = NULL;
        if (!GetUserNameA(name, &nameSize) ||
            !LookupAccountNameA(NULL, name, sid, &sidSize, domain, &domainSize, &use) ||
            !ConvertSidToStringSidA(sid, &text)) {
            ADD_FAILURE() << "The Wine user is unknown: " << GetLastError();
            return found;
        }
        found = {name, domain, text, *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1)};
        LocalFree(text);
        return found;
    }();
    return user;
}

std::string TextMode(const std::string& text) {
    std::string converted;
    for (char c : text) {
        converted += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return converted;
}

std::string FileState(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return "<none>";
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return "<dir>";
    }
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

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

void WineTest::SetUp() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "acctmap e2e " + std::to_string(GetCurrentProcessId()) + "." +
           std::to_string(++serial);
    for (const char* sub : {"", "\\bin", "\\etc", "\\home"}) {
        ASSERT_TRUE(CreateDirectoryA((dir_ + sub).c_str(), NULL)) << dir_ << sub;
    }
    ASSERT_TRUE(CopyFileA(ACCTMAP_EXE_PATH, (dir_ + "\\bin\\acctmap.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(ACCTMAP_STANDIN_PATH, (dir_ + "\\bin\\netapi32.dll").c_str(), FALSE));
    ASSERT_FALSE(TheWineUser().sid.empty());
    // Wine reads the override that picks the stand-in when this process
    // starts (ctest sets it); runs inherit the stand-in's two files.
    char overrides[256] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(strstr(overrides, "netapi32=n"), nullptr) << "run with WINEDLLOVERRIDES=netapi32=n";
    SetEnvironmentVariableA("ACCTMAP_NETAPI_DATA", (dir_ + "\\accounts.txt").c_str());
    SetEnvironmentVariableA("ACCTMAP_NETAPI_LOG", (dir_ + "\\netapi.log").c_str());
    Arrange("accounts=user\t.\t{user}\t{rid}\t513\tWine User\n");
    undo_.push_back({"delete", kCygwinRoot, "/f", "/reg:32"});
    undo_.push_back({"delete", kCygwinRoot, "/f", "/reg:64"});
    Arrange("mount={dir}\\home");
}

void WineTest::TearDown() {
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) {
        Reg(*undo, false);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string WineTest::Expand(std::string text) const {
    const WineUser& user = TheWineUser();
    const std::pair<const char*, std::string> tokens[] = {
        {"{fields}", ":unused_by_nt/2000/xp:{rid}:513:Wine User,U-{dom}\\{user},{sid}:"},
        {"{user}", user.name},
        {"{dom}", user.domain},
        {"{sid}", user.sid},
        {"{rid}", std::to_string(user.rid)},
        {"{luid}", std::to_string(LegacyUid(user.name.c_str()))},
        {"{dir}", dir_}};
    for (const auto& token : tokens) {
        for (size_t at; (at = text.find(token.first)) != std::string::npos;) {
            text.replace(at, strlen(token.first), token.second);
        }
    }
    for (size_t at; (at = text.find("{sys:")) != std::string::npos;) {
        text.replace(at, text.find('}', at) + 1 - at, SystemText(atoi(&text[at + 5])));
    }
    return text;
}

void WineTest::Arrange(const std::string& step) {
    const size_t equals = step.find('=');
    const std::string key = step.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : Expand(step.substr(equals + 1));
    const std::string path = Expand(key.substr(key.find(':') + 1));
    const std::string profileKey = kProfileList + TheWineUser().sid;
    if (key == "accounts") {
        WriteBytes(dir_ + "\\accounts.txt", value);
    } else if (key == "nonetapi") {
        ASSERT_TRUE(DeleteFileA((dir_ + "\\bin\\netapi32.dll").c_str()));
    } else if (key == "win98") {
        undo_.push_back({"delete", "HKCU\\Software\\Wine", "/v", "Version", "/f"});
        Reg({"add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win98", "/f"});
    } else if (step == "mount") {
        Reg({"delete", kMountKey, "/v", "native", "/f", "/reg:32"});
    } else if (key == "mount" || key == "mount64") {
        // Always a named view: reg itself would write into its own.
        Reg({"delete", kCygwinRoot, "/f", "/reg:32"}, false);
        Reg({"add", kMountKey, "/v", "native", "/d", value, "/f",
             key == "mount" ? "/reg:32" : "/reg:64"});
    } else if (key == "nomount") {
        Reg({"delete", kCygwinRoot, "/f", "/reg:32"}, false);
    } else if (key == "profile" || key == "noprofile") {
        if (!profileChanged_) {
            // Put back what wineboot wrote.
            undo_.push_back({"import", dir_ + "\\profile.reg"});
            Reg({"export", profileKey, dir_ + "\\profile.reg", "/y"});
            profileChanged_ = true;
        }
        if (key == "profile") {
            Reg({"add", profileKey, "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ", "/d", value,
                 "/f"});
        } else {
            Reg({"delete", profileKey, "/v", "ProfileImagePath", "/f"});
        }
    } else if (key.rfind("file:", 0) == 0) {
        WriteBytes(path, value);
    } else if (key.rfind("dir:", 0) == 0) {
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
    } else if (key.rfind("readonly:", 0) == 0) {
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) << path;
    } else {
        FAIL() << "unknown set-up step " << step;
    }
}

std::string WineTest::NetapiCalls() const {
    const std::string log = FileState(dir_ + "\\netapi.log");
    return log == "<none>" ? "" : log;
}

// Starts a program in the test's folder, its output streams going to files.
StartedProcess WineTest::Start(const char* application, const std::string& commandLine) {
    StartedProcess started;
    started.base = dir_ + "\\run" + std::to_string(++runs_);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = InheritableFile(started.base + ".out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = InheritableFile(started.base + ".err", GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    BOOL ok = FALSE;
    // Wine now and then fails to start a process with an internal error
    // (about once in a few hundred starts); a second try starts it.
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        ok = CreateProcessA(application, &line[0], NULL, NULL, TRUE, 0, NULL, dir_.c_str(),
                            &startup, &info);
        if (!ok && GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
        if (!ok) {
            Sleep(100);
        }
    }
    EXPECT_TRUE(ok) << "CreateProcessA failed (" << GetLastError() << "): " << commandLine;
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (ok) {
        CloseHandle(info.hThread);
        started.process = info.hProcess;
    }
    return started;
}

ProcessResult WineTest::Finish(StartedProcess* started) {
    ProcessResult result;
    if (started->process == NULL) {
        return result;
    }
    if (WaitForSingleObject(started->process, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "The program did not end within a minute";
        TerminateProcess(started->process, 99);
        WaitForSingleObject(started->process, INFINITE);
    }
    GetExitCodeProcess(started->process, &result.status);
    CloseHandle(started->process);
    started->process = NULL;
    result.out = FileState(started->base + ".out");
    result.err = FileState(started->base + ".err");
    DeleteFileA((started->base + ".out").c_str());
    DeleteFileA((started->base + ".err").c_str());
    return result;
}

StartedProcess WineTest::StartAcctmap(const std::vector<std::string>& words) {
    // The hint names word 0 as given; a blank-free one needs no quotes.
    return Start((dir_ + "\\bin\\acctmap.exe").c_str(),
                 CommandLine("C:\\tools\\acctmap.exe", words));
}

void WineTest::Reg(const std::vector<std::string>& arguments, bool mustSucceed) {
    const std::string line = CommandLine("reg", arguments);
    StartedProcess started = Start(NULL, line);
    ProcessResult result = Finish(&started);
    EXPECT_TRUE(result.status == 0 || !mustSucceed) << line << "\n" << result.out << result.err;
}
