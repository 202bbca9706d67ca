// The machine the end-to-end rows run on (harness.h). The registry is
// arranged through the API, always in a named view, as reg.exe would.
#include "harness.h"

#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

const wchar_t kMountKey[] = L"SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";

// ANSI (or `page`'s) text as the system's UTF-16, each "{U+XXXX}" the code
// unit it names: how a row writes a character that no ANSI code page holds.
std::wstring Wide(const std::string& text, UINT page = CP_ACP) {
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(page, 0, text.c_str(), -1, &wide[0], wide.size()) - 1);
    for (size_t at; (at = wide.find(L"{U+")) != std::wstring::npos;) {
        wide.replace(at, 8, 1, static_cast<wchar_t>(std::stoul(wide.substr(at + 3, 4), NULL, 16)));
    }
    return wide;
}

std::string ReadBytes(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(std::filesystem::path(Wide(path)), std::ios::binary).rdbuf();
    return bytes.str();
}

// The parts of `text` between separators, each expanded on `machine` if given.
Words Split(const std::string& text, char separator, const Machine* machine = NULL) {
    Words parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(machine != NULL ? machine->Expand(part) : part);
    }
    return parts;
}

// Quotes make one word of a text with blanks (no word here holds a quote).
std::string CommandLine(const std::string& program, const Words& words) {
    std::string line = program;
    for (const std::string& word : words) {
        const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
        line += quote ? " \"" + word + "\"" : " " + word;
    }
    return line;
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, 0, NULL);
}

std::string SystemFolderDll() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    return std::string(folder) + "\\netapi32.dll";
}

// The Wine user as Wine's security functions see it: name, domain, SID, rid,
// its ProfileList key under HKLM and its profile path as Wine made it.
const Words& TheWineUser() {
    static const Words user = [] {
        char name[256], domain[256], profile[MAX_PATH] = "", *text = NULL;
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD nameSize = sizeof name, sidSize = sizeof sid, domainSize = sizeof domain,
              profileSize = sizeof profile;
        SID_NAME_USE use;
        EXPECT_TRUE(GetUserNameA(name, &nameSize) &&
                    LookupAccountNameA(NULL, name, sid, &sidSize, domain, &domainSize, &use) &&
                    ConvertSidToStringSidA(sid, &text));
        const std::string key =
            "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + std::string(text);
        RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "ProfileImagePath",
                     RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, profile, &profileSize);
        Words found = {name, domain, text, key.substr(key.rfind('-') + 1), key, profile};
        LocalFree(text);
        return found;
    }();
    return user;
}

// Text as the bytes of its UTF-16, as a string value or a "Unicode" file
// holds them: with its NUL unless `terminated` is false, as a careless
// writer leaves it.
std::string Utf16(const std::string& text, bool terminated = true, UINT page = CP_ACP) {
    const std::wstring wide = Wide(text, page) + std::wstring(terminated, L'\0');
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// A value set in a view, its key made as needed (no name: the key only;
// REG_NONE: the value deleted, if there).
void SetValue(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name = NULL,
              DWORD type = REG_SZ, std::string data = "") {
    HKEY key = NULL;
    LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, NULL, 0, KEY_SET_VALUE | view, NULL, &key, NULL);
    if (status == ERROR_SUCCESS && name != NULL) {
        const DWORD size = static_cast<DWORD>(data.size());
        // The API counts a NUL unit just past string data as part of it: a
        // unit there that is not one keeps the data as they are.
        data += "..";
        status = type == REG_NONE
                     ? RegDeleteValueW(key, name)
                     : RegSetValueExW(key, name, 0, type,
                                      reinterpret_cast<const BYTE*>(data.data()), size);
    }
    RegCloseKey(key);
    EXPECT_TRUE(status == ERROR_SUCCESS || (type == REG_NONE && status == ERROR_FILE_NOT_FOUND))
        << status << " " << path;
}

// The Wine user's profile path (REG_NONE: none).
void SetProfile(const std::string& path, DWORD type = REG_EXPAND_SZ) {
    SetValue(HKEY_LOCAL_MACHINE, Wide(TheWineUser()[4]), KEY_WOW64_64KEY, L"ProfileImagePath", type,
             Utf16(path));
}

// Cygwin's mount table: none in a view (the mount key and the keys above it
// up to SOFTWARE, the deepest first: the API removes only a key without
// subkeys), or its value.
void ClearMounts(REGSAM view = KEY_WOW64_32KEY) {
    for (std::wstring key = kMountKey; key.find(L'\\') != std::wstring::npos;
         key.erase(key.rfind(L'\\'))) {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
    }
}

void SetMount(const std::string& value, REGSAM view) {
    SetValue(HKEY_LOCAL_MACHINE, kMountKey, view, L"native", REG_SZ, Utf16(value));
}

// Everything in the folder removed; a read-only file would keep its folder.
void EmptyFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Holds `path` as `share` lets others from now to `from` ms and, given
// "<from>,<to>", from `to` ms for a moment more, while the runs go on.
void HoldFor(const std::string& path, const std::string& times, DWORD share) {
    DWORD from = 0, to = 0;
    sscanf(times.c_str(), "%lu,%lu", &from, &to);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_ALWAYS, 0, NULL);
    std::thread([=]() mutable {
        Sleep(from);
        CloseHandle(file);
        if (to > from) {
            Sleep(to - from);
            file = CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_ALWAYS, 0, NULL);
            Sleep(500);
            CloseHandle(file);
        }
    }).detach();
}

// The mount key in the 32-bit view, if there, with the access list `sddl`.
bool SetKeyAccess(const char* sddl, const std::wstring& path = kMountKey,
                  REGSAM view = KEY_WOW64_32KEY) {
    HKEY key = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    const bool set =
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                             NULL) &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC | view, &key) == 0 &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == 0;
    RegCloseKey(key);
    LocalFree(descriptor);
    return set;
}

}  // namespace

Machine::Machine() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // Wine reuses process ids soon: the time makes the name this test's.
    dir_ = std::string(temp) + "acctmap e2e " + std::to_string(GetCurrentProcessId()) + "." +
           std::to_string(GetTickCount()) + "." + std::to_string(++serial);
    for (const char* sub : {"", "\\bin", "\\etc", "\\home"}) {
        EXPECT_TRUE(CreateDirectoryA((dir_ + sub).c_str(), NULL)) << dir_ << sub;
    }
    EXPECT_TRUE(CopyFileA(ACCTMAP_EXE_PATH, (dir_ + "\\bin\\acctmap.exe").c_str(), FALSE));
    // For the 32-bit harness the system folder is the 32-bit one.
    EXPECT_TRUE(CopyFileA(ACCTMAP_NETAPI32_STANDIN_PATH, SystemFolderDll().c_str(), FALSE));
    SetEnvironmentVariableA("ACCTMAP_NETAPI_DATA", (dir_ + "\\accounts.txt").c_str());
    Arrange(Expand("accounts=user\t.\t$(user)\t$(rid)\t513\tWine User\n"));
    Arrange("mount=" + dir_ + "\\home");
}

Machine::~Machine() {
    for (HANDLE handle : held_) {
        CloseHandle(handle);
    }
    // Open to everybody, so that a denied key can be removed or read again.
    SetKeyAccess("D:(A;;KA;;;WD)");
    SetKeyAccess("D:(A;;KA;;;WD)", Wide(TheWineUser()[4]), KEY_WOW64_64KEY);
    ClearMounts();
    ClearMounts(KEY_WOW64_64KEY);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(TheWineUser()[4] + ".bak").c_str(), KEY_WOW64_64KEY,
                    0);
    SetProfile(TheWineUser()[5]);
    SetValue(HKEY_CURRENT_USER, L"Software\\Wine", 0, L"Version", REG_NONE);
    EmptyFolder(dir_);
    RemoveDirectoryA(dir_.c_str());
}

void Machine::Arrange(const std::string& step) {
    const size_t equals = std::min(step.find('='), step.size());
    const std::string key = step.substr(0, equals);
    const std::string value = step.substr(std::min(equals + 1, step.size()));
    const std::string verb = key.substr(0, key.find(':'));
    const std::string path = key.substr(std::min(verb.size() + 1, key.size()));
    using Text = const std::string&;
    // The registry steps: one mount table in the view named (or none, or the
    // key without its "native"), another one beside it, the Wine user's
    // profile path, the Windows version Wine gives.
    // clang-format off
    static const std::map<std::string, void (*)(Machine&, Text path, Text value)> kSteps = {
        {"accounts", [](Machine& m, Text, Text value) { std::ofstream(m.dir_ + "\\accounts.txt", std::ios::binary) << value; }},
        {"outfails", [](Machine& m, Text, Text) { m.outFails_ = true; }},
        {"cwd", [](Machine& m, Text path, Text) { m.cwd_ = path; }},
        {"nonetapi", [](Machine&, Text, Text) { EXPECT_TRUE(DeleteFileA(SystemFolderDll().c_str())); }},
        {"nofault", [](Machine& m, Text, Text) { m.faults_.clear(); }},
        // faultat:<name>:<fault>=<value>, for the files whose name holds it;
        // fault:<fault>=<value> for the new file.
        {"faultat", [](Machine& m, Text path, Text value) { m.faults_ += "ACCTMAP_FAULT_FILE=" + path.substr(0, path.find(':')) + "\nACCTMAP_FAULT_" + path.substr(path.find(':') + 1) + "=" + value + "\n"; }},
        {"fault", [](Machine& m, Text path, Text value) { m.Arrange("faultat:.nw~:" + path + "=" + value); }},
        {"win98", [](Machine&, Text, Text) { SetValue(HKEY_CURRENT_USER, L"Software\\Wine", 0, L"Version", REG_SZ, Utf16("win98")); }},
        {"nomount", [](Machine&, Text, Text) { ClearMounts(); }},
        {"mountkey", [](Machine&, Text, Text) { ClearMounts(); SetValue(HKEY_LOCAL_MACHINE, kMountKey, KEY_WOW64_32KEY); }},
        {"mount", [](Machine&, Text, Text value) { ClearMounts(); SetMount(value, KEY_WOW64_32KEY); }},
        {"mount64", [](Machine&, Text, Text value) { ClearMounts(); SetMount(value, KEY_WOW64_64KEY); }},
        {"mount64-too", [](Machine&, Text, Text value) { SetMount(value, KEY_WOW64_64KEY); }},
        {"denied", [](Machine&, Text, Text value) { SetMount(value, KEY_WOW64_32KEY); EXPECT_TRUE(SetKeyAccess("D:")); }},
        {"deniedprofile", [](Machine&, Text, Text) { EXPECT_TRUE(SetKeyAccess("D:", Wide(TheWineUser()[4]), KEY_WOW64_64KEY)); }},
        {"profile", [](Machine&, Text, Text value) { SetProfile(value); }},
        {"noprofile", [](Machine&, Text, Text) { SetProfile("", REG_NONE); }},
        // The user's key kept only under "<SID>.bak", as Windows keeps a
        // damaged profile's.
        {"bakprofile", [](Machine&, Text, Text value) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(TheWineUser()[4]).c_str(), KEY_WOW64_64KEY, 0);
            SetValue(HKEY_LOCAL_MACHINE, Wide(TheWineUser()[4] + ".bak"), KEY_WOW64_64KEY, L"ProfileImagePath", REG_SZ, Utf16(value));
        }},
        // The ANSI bytes of the value, as a REGEDIT4 file's hex(1) data gives
        // them, without the NUL.
        {"unterminated-mount", [](Machine&, Text, Text value) { SetValue(HKEY_LOCAL_MACHINE, kMountKey, KEY_WOW64_32KEY, L"native", REG_SZ, Utf16(value, false)); }},
        // The value's ANSI bytes as REG_BINARY, without a NUL, as a
        // hand-made import leaves it.
        {"binary-mount", [](Machine&, Text, Text value) { ClearMounts(); SetValue(HKEY_LOCAL_MACHINE, kMountKey, KEY_WOW64_32KEY, L"native", REG_BINARY, value); }},
        // Kept open to the end: "held" as an editor holds it (others may
        // read it, nobody may remove it), "opened" shared with everybody (a
        // lock must still be ours alone), "writing" as a program appending.
        {"held", [](Machine& m, Text path, Text) { m.held_.push_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL)); }},
        {"opened", [](Machine& m, Text path, Text) { m.held_.push_back(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, NULL, OPEN_ALWAYS, 0, NULL)); }},
        {"writing", [](Machine& m, Text path, Text) { m.held_.push_back(CreateFileA(path.c_str(), FILE_APPEND_DATA, kShareAll, NULL, OPEN_EXISTING, 0, NULL)); }},
        // Held as "held" holds it, let go after `value` ms; or, with
        // "<from>,<to>", as "opened" holds it, let go from `from` ms to `to`.
        {"heldfor", [](Machine&, Text path, Text value) { HoldFor(path, value, FILE_SHARE_READ); }},
        {"gap", [](Machine&, Text path, Text value) { HoldFor(path, value, kShareAll); }},
        {"file", [](Machine&, Text path, Text value) {
            const std::filesystem::path file(Wide(path));
            std::error_code ignored;
            std::filesystem::create_directories(file.parent_path(), ignored);
            // Made anew: the FAT32 drive's fusefat cannot shorten a file.
            std::filesystem::remove(file, ignored);
            std::ofstream(file, std::ios::binary | std::ios::trunc) << value;
        }},
        {"dir", [](Machine&, Text path, Text) { EXPECT_TRUE(CreateDirectoryW(Wide(path).c_str(), NULL)) << path; }},
        // R read-only, H hidden, S system.
        {"attributes", [](Machine&, Text path, Text value) {
            DWORD attributes = 0;
            for (char flag : value) {
                attributes |= flag == 'R' ? FILE_ATTRIBUTE_READONLY
                              : flag == 'H' ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM;
            }
            EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
        }},
        // What Notepad saves as "Unicode": UTF-16LE behind its byte-order
        // mark, here from UTF-8 text.
        {"utf16", [](Machine&, Text path, Text value) { std::ofstream(path, std::ios::binary) << "\xff\xfe" << Utf16(value, false, CP_UTF8); }},
        // The suite's FAT32 drive (tests/windows/fat_drive.sh), emptied;
        // $(pw) lies on it.
        {"fat", [](Machine& m, Text, Text) {
            if (GetFileAttributesA("F:\\") == INVALID_FILE_ATTRIBUTES) {
                GTEST_SKIP() << "no FAT32 drive F: (see the output of wine.fat_drive_up)";
            }
            EmptyFolder("F:\\");
            m.pw_ = "F:\\passwd";
        }},
        {"link", [](Machine&, Text path, Text value) { EXPECT_TRUE(CreateHardLinkA(path.c_str(), value.c_str(), NULL)) << path; }},
        // A stand-in that imports acctdep.dll ("import"), or loads it late
        // by its bare name ("late"), whose planted copy lies beside the exe
        // and in the folder it runs in.
        {"planted-dependency", [](Machine& m, Text, Text value) {
            const std::string system = SystemFolderDll();
            const std::string folder = system.substr(0, system.rfind('\\'));
            const char* standin = value == "late" ? ACCTMAP_NETAPI32_LATEDEP_PATH : ACCTMAP_NETAPI32_ACCTDEP_PATH;
            EXPECT_TRUE(CopyFileA(standin, system.c_str(), FALSE));
            EXPECT_TRUE(CopyFileA(ACCTMAP_ACCTDEP_PATH, (folder + "\\acctdep.dll").c_str(), FALSE));
            for (const char* at : {"\\bin", ""}) {
                const std::string planted = m.dir_ + at + "\\acctdep.dll";
                EXPECT_TRUE(CopyFileA(ACCTMAP_ACCTDEP_PLANTED_PATH, planted.c_str(), FALSE));
            }
        }},
        {"acl", [](Machine&, Text path, Text value) {
            PSECURITY_DESCRIPTOR descriptor = NULL;
            EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(value.c_str(), SDDL_REVISION_1, &descriptor, NULL) &&
                        SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor));
            LocalFree(descriptor);
        }},
    };
    // clang-format on
    if (kSteps.count(verb) != 0) {
        kSteps.at(verb)(*this, path, value);
    } else {
        ADD_FAILURE() << "not a step Wine can take: " << step;
    }
}

std::string Machine::Expand(std::string text) const {
    const Words& user = TheWineUser();
    // clang-format off
    const std::map<std::string, std::string> plain = {
        {"user", user[0]}, {"dom", user[1]}, {"sid", user[2]}, {"rid", user[3]}, {"dir", dir_},
        {"domsid", user[2].substr(0, user[2].rfind('-'))},
        {"acp", std::to_string(GetACP())}, {"pw", pw_.empty() ? "$(dir)\\etc\\passwd" : pw_},
        {"fields", ":unused_by_nt/2000/xp:$(rid):513:Wine User,U-$(dom)\\$(user),$(sid):"}};
    // clang-format on
    for (size_t open; (open = text.rfind("$(")) != std::string::npos;) {
        const size_t close = text.find(')', open);
        const std::string token = text.substr(open + 2, close - open - 2);
        const std::string kind = token.substr(0, token.find(':'));
        const std::string argument = token.substr(std::min(kind.size() + 1, token.size()));
        std::string value;
        if (plain.count(token) != 0) {
            value = plain.at(token);
        } else if (kind == "printed") {
            value = "\n" + argument + "$(fields)/cygdrive/C/users/$(user):/bin/switch";
        } else if (kind == "filed") {
            value = "\r$(printed:" + argument + ")";
        } else if (kind == "sys") {
            char message[4096];
            const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
            value.assign(message, FormatMessageA(flags, NULL, atoi(argument.c_str()), 0x400,
                                                 message, sizeof message, NULL));
            value.erase(value.find_last_not_of("\r\n ") + 1);
        } else if (kind == "len") {
            // Folders of 60 characters, then the file's name to the length.
            value = dir_ + "\\etc";
            const size_t length = atoi(argument.c_str());
            while (length - value.size() > 70) {
                value += "\\" + std::string(60, 'd');
            }
            value += "\\" + std::string(length - value.size() - 1, 'p');
        } else if (kind == "short") {
            wchar_t shortName[MAX_PATH] = L"";
            GetShortPathNameW(Wide(argument).c_str(), shortName, MAX_PATH);
            value.assign(shortName, shortName + wcslen(shortName));  // 8.3 names are ASCII
        } else if (isdigit(static_cast<unsigned char>(token[0])) &&
                   token.find('*') != std::string::npos) {
            const std::string unit = token.substr(token.find('*') + 1);
            for (int times = atoi(token.c_str()); times > 0; --times) {
                value += unit;
            }
        } else {
            ADD_FAILURE() << "not a token: $(" << token << ")";
        }
        text.replace(open, close + 1 - open, value);
    }
    return text;
}

// The runs start at once in the machine's folder, as the system starts a
// program (the command line in UTF-16), each to its end, its output caught
// (with "outfails", a standard output that refuses writes).
std::vector<Outcome> Machine::Run(const std::vector<Words>& runs) {
    // The preload library reads the faults from the control file while the
    // runs last.
    const char* control = faults_.empty() ? NULL : getenv("ACCTMAP_FAULT_CONTROL");
    EXPECT_TRUE(faults_.empty() || control != NULL) << "run with ACCTMAP_E2E=1 (see wine-run.sh)";
    if (control != NULL) {
        std::ofstream("Z:" + std::string(control), std::ios::binary) << faults_;
        DeleteFileA(("Z:" + std::string(control) + ".renames").c_str());
    }
    std::vector<std::pair<HANDLE, std::string>> started;
    const DWORD startedAt = GetTickCount();
    for (const Words& words : runs) {
        const std::string base = dir_ + "\\run" + std::to_string(++runs_);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
        startup.hStdOutput =
            Inheritable(base + ".out", outFails_ ? GENERIC_READ : GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = Inheritable(base + ".err", GENERIC_WRITE, CREATE_ALWAYS);
        PROCESS_INFORMATION info = {};
        // Word 0 as an administrator would type it.
        std::wstring line = Wide(CommandLine("C:\\tools\\acctmap.exe", words));
        // Wine now and then fails a start with an internal error (about once
        // in a few hundred); a second try starts the program.
        BOOL ok = FALSE;
        for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
            ok = CreateProcessW(Wide(dir_ + "\\bin\\acctmap.exe").c_str(), &line[0], NULL, NULL,
                                TRUE, 0, NULL, Wide(cwd_.empty() ? dir_ : cwd_).c_str(), &startup,
                                &info);
        }
        EXPECT_TRUE(ok) << "CreateProcessW failed (" << GetLastError() << "): " << line;
        for (HANDLE handle :
             {startup.hStdInput, startup.hStdOutput, startup.hStdError, ok ? info.hThread : NULL}) {
            CloseHandle(handle);
        }
        started.push_back({ok ? info.hProcess : NULL, base});
    }
    std::vector<Outcome> outcomes;
    for (const auto& [process, base] : started) {
        DWORD status = ~0ul;
        if (process != NULL) {
            EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
            GetExitCodeProcess(process, &status);
            CloseHandle(process);
        }
        const DWORD milliseconds = GetTickCount() - startedAt;
        outcomes.push_back(
            {ReadBytes(base + ".out"), ReadBytes(base + ".err"), status, milliseconds});
    }
    if (control != NULL) {
        DeleteFileA(("Z:" + std::string(control)).c_str());
    }
    return outcomes;
}

std::string Machine::FileState(const std::string& path) const {
    const size_t question = path.find('?');
    const std::string file = path.substr(0, question);
    DWORD attributes = GetFileAttributesW(Wide(file).c_str());
    WIN32_FIND_DATAA found;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return "<none>";
    } else if (question == std::string::npos) {
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? "<dir>" : ReadBytes(file);
    } else if (path.substr(question) == "?attributes") {
        return std::string(attributes & FILE_ATTRIBUTE_HIDDEN ? "H" : "") +
               (attributes & FILE_ATTRIBUTE_SYSTEM ? "S" : "");
    } else if (path.substr(question) == "?acl") {
        BYTE descriptor[4096];
        DWORD needed = 0;
        char* text = NULL;
        GetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor,
                         &needed);
        ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, NULL);
        const std::string list = text != NULL ? text : "<none>";
        LocalFree(text);
        return list;
    }
    FindClose(FindFirstFileA(file.c_str(), &found));
    return found.cFileName;
}

void Machine::ExpectNoLeftovers(const std::string& passwd) const {
    for (const char* own : {".lk~", ".nw~", ".bk~"}) {
        EXPECT_EQ(FileState(passwd + own), "<none>") << own;
    }
}

std::string TextMode(std::string text) {
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
        text.insert(at, 1, '\r');
    }
    return text;
}

::testing::AssertionResult Same(const std::string& got, const std::string& want) {
    const size_t at =
        std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    return got == want ? ::testing::AssertionSuccess()
                       : ::testing::AssertionFailure()
                             << "apart at " << at << " of " << got.size() << " and " << want.size()
                             << " bytes: " << ::testing::PrintToString(got.substr(at, 60))
                             << " instead of " << ::testing::PrintToString(want.substr(at, 60));
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

void CheckRow(const Row& row) {
    Machine machine;
    for (const std::string& step : Split(row.machine, '|')) {
        ASSERT_NO_FATAL_FAILURE(machine.Arrange(machine.Expand(step)));
        if (::testing::Test::IsSkipped()) {
            return;
        }
    }
    const Outcome run = machine.Run(Split(row.words, ' ', &machine));
    EXPECT_TRUE(Same(run.out, TextMode(machine.Expand(row.out))));
    EXPECT_TRUE(Same(run.err, TextMode(machine.Expand(row.err))));
    EXPECT_EQ(run.status, static_cast<unsigned long>(row.status));
    for (const std::string& file : Split(row.files, '|', &machine)) {
        const size_t equals = file.find('=');
        EXPECT_TRUE(Same(machine.FileState(file.substr(0, equals)), file.substr(equals + 1)))
            << file.substr(0, equals);
    }
    if (row.machine.find(".lk~") == std::string::npos &&
        row.machine.find(".nw~") == std::string::npos) {
        machine.ExpectNoLeftovers(machine.Expand("$(pw)"));
    }
}
