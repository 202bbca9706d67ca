// The home stage's Windows side: Cygwin's mount table and the profile list
// in the registry, the file system's word on what exists, the fallback
// directory made.
#include "home/home.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "diag/report.h"
#include "home/home_paths.h"
#include "passwd/name_set.h"
#include "messages.h"
#include "platform/ansi.h"
#include "platform/platform.h"
#include "text.h"

// Where Cygwin keeps the Windows directory it shows as /home (the last
// component is the key name "/home", slash included).
static const char kMountKey[] = "SOFTWARE\\Cygnus Solutions\\Cygwin\\mounts v2\\/home";
static const char kProfileListKey[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Every registry value is read through a buffer of this size.
enum { kRegistryBufferSize = 1024 };

// Non-zero when a file or directory exists at the path (also one written
// with a trailing backslash, which the runtime's _stat refuses).
static bool PathExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static bool IsFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Reads a value of an open key as text into `buffer` (kRegistryBufferSize
// units). A string value is read in UTF-16, so that no best fit can touch
// it; a value of another type (REG_BINARY from a hand-made import, say) is
// its bytes, taken as ANSI text as an ANSI read gives them. Data without a
// terminator is terminated here; data that fills the whole buffer without
// one may have been cut, so it fails.
static bool ReadRegistryText(HKEY key, const wchar_t* valueName, wchar_t* buffer) {
    DWORD type = REG_NONE;
    DWORD size = kRegistryBufferSize * sizeof *buffer;
    LONG status =
        RegQueryValueExW(key, valueName, NULL, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    if (status != ERROR_SUCCESS || size > kRegistryBufferSize * sizeof *buffer) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        char bytes[kRegistryBufferSize];
        if (size >= sizeof bytes &&
            strnlen(reinterpret_cast<const char*>(buffer), sizeof bytes) == sizeof bytes) {
            return false;
        }
        memcpy(bytes, buffer, size < sizeof bytes ? size : sizeof bytes);
        bytes[size < sizeof bytes ? size : sizeof bytes - 1] = '\0';
        return AnsiToWide(bytes, buffer, kRegistryBufferSize);
    }
    const size_t units = size / sizeof *buffer;
    if (wmemchr(buffer, 0, units) != NULL) {
        return true;
    }
    if (units == kRegistryBufferSize) {
        return false;
    }
    buffer[units] = 0;
    return true;
}

// A registry text as ANSI into `out` (`size` bytes). 0 to go on, 1 after a
// message: a path the code page cannot hold would become a look-alike,
// another user's folder perhaps.
static int RegistryTextToAnsi(const wchar_t* text, const char* valueName, char* out, size_t size) {
    const AnsiResult result = WideToAnsi(text, out, size, '?');
    if (result == kAnsiUnmappable) {
        PrintError(MSG_VALUE_NOT_ANSI, valueName, AnsiCodePage(), out);
        out[0] = '\0';
        return 1;
    }
    if (result == kAnsiTooLong) {
        PrintError(MSG_READ_VALUE);
        return 1;
    }
    return 0;
}

// The registry functions return their error instead of setting the last
// error, so the code they returned is the one to explain.
static void ReportRegistryOpenError(LONG status) {
    PrintError(MSG_OPEN_REGISTRY);
    char text[kMessageSize];
    // The system's own words, as it gives them.
    if (SystemMessage(static_cast<uint32_t>(status), text)) {
        WritePrefix();
        fprintf(stderr, MSG_SYSTEM_TEXT, text);
    }
}

static int ReportTooLong(const char* windowsPath) {
    PrintError(MSG_HOME_TOO_LONG, windowsPath);
    return 1;
}

// Reads the Windows directory that Cygwin mounts as /home into `mount`
// (kRegistryBufferSize bytes). 0 to go on, 1 after a message.
static int ReadHomeMount(char* mount) {
    // Read once a run, however many accounts the run serves.
    static char known[kRegistryBufferSize];
    if (known[0] != '\0') {
        memcpy(mount, known, sizeof known);
        return 0;
    }
    HKEY key;
    LONG status = ERROR_FILE_NOT_FOUND;
    if (CYGWIN_MOUNT_VIEW_FLAG != 0) {
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMountKey, 0, KEY_READ | CYGWIN_MOUNT_VIEW_FLAG,
                               &key);
    }
    // A Cygwin of the program's own width keeps it in the program's view.
    if (status == ERROR_FILE_NOT_FOUND) {
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMountKey, 0, KEY_READ, &key);
    }
    if (status != ERROR_SUCCESS) {
        ReportRegistryOpenError(status);
        return 1;
    }
    wchar_t value[kRegistryBufferSize];
    bool read = ReadRegistryText(key, L"native", value);
    RegCloseKey(key);
    // An empty mount directory would put the fallback directory at the root
    // of whatever drive is current: not a usable mount table.
    if (!read || value[0] == 0) {
        PrintError(MSG_READ_VALUE);
        return 1;
    }
    if (RegistryTextToAnsi(value, "native", mount, kRegistryBufferSize) != 0) {
        return 1;
    }
    memcpy(known, mount, sizeof known);
    return 0;
}

// The profile list, read once a run in one pass over its subkeys: each
// subkey's name and its ProfileImagePath as stored, the names in a set for
// the lookup. A subkey whose name is not a SID's text whole (the ".bak" of a
// damaged profile) matches no account.
enum { kProfilesMax = 16384, kProfileSlots = 2 * kProfilesMax, kProfilePoolUnits = 1 << 21 };
struct Profile {
    char sidText[kSidTextSize];
    const wchar_t* path;  // in the pool; NULL when the value could not be read
};
static Profile g_profiles[kProfilesMax];
static NameSlot g_profileSlots[kProfileSlots];
static wchar_t g_profilePool[kProfilePoolUnits];

// One subkey into the table: its name, if it may be a SID's text, and its
// value. False when the table is full.
static bool AddProfile(HKEY list, const wchar_t* name, NameSet* set, size_t* poolUsed) {
    Profile* profile = &g_profiles[set->count];
    if (WideToAnsi(name, profile->sidText, sizeof profile->sidText, '?') != kAnsiExact) {
        return true;
    }
    // A key that cannot be opened is no profile, as for an account without
    // one; a value that cannot be read is an error once an account asks.
    HKEY key;
    if (RegOpenKeyExW(list, name, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return true;
    }
    wchar_t value[kRegistryBufferSize];
    const bool read = ReadRegistryText(key, L"ProfileImagePath", value);
    RegCloseKey(key);
    const size_t units = read ? wcslen(value) + 1 : 0;
    if (units > kProfilePoolUnits - *poolUsed) {
        return false;
    }
    profile->path = read ? wmemcpy(g_profilePool + *poolUsed, value, units) : NULL;
    *poolUsed += units;
    uint32_t unused = 0;
    return AddName(set, profile->sidText, strlen(profile->sidText),
                   static_cast<uint32_t>(set->count), &unused) != kNameSetFull;
}

// The table, read at its first use: NULL after the message when the list
// holds more than it takes. A machine without a profile list has none.
static const NameSet* ProfileTable() {
    static NameSet set;
    static bool read = false;
    if (read) {
        return &set;
    }
    InitNameSet(&set, g_profileSlots, kProfileSlots, AnsiLeadBytes());
    HKEY list;
    size_t poolUsed = 0;
    wchar_t name[kNameSize];
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &list) == ERROR_SUCCESS) {
        DWORD length = ARRAYSIZE(name);
        for (DWORD index = 0;
             RegEnumKeyExW(list, index, name, &length, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
             ++index, length = ARRAYSIZE(name)) {
            if (set.count >= kProfilesMax || !AddProfile(list, name, &set, &poolUsed)) {
                RegCloseKey(list);
                PrintError(MSG_PROFILES_TOO_MANY, static_cast<unsigned>(kProfilesMax));
                return NULL;
            }
        }
        RegCloseKey(list);
    }
    read = true;
    return &set;
}

// Expands the account's profile directory into `windowsPath` (260 bytes);
// leaves it empty when the account has no profile-list entry. 0 to go on,
// 1 after a message.
static int ReadProfileDirectory(const AccountInfo* account, char* windowsPath) {
    windowsPath[0] = '\0';
    if (!account->sidFound) {
        return 0;
    }
    const NameSet* table = ProfileTable();
    if (table == NULL) {
        return 1;
    }
    const char* sidText = SidToText(account->sid);
    uint32_t index = 0;
    if (!HasName(table, sidText, strlen(sidText), &index)) {
        return 0;
    }
    const wchar_t* profile = g_profiles[index].path;
    if (profile == NULL) {
        PrintError(MSG_READ_VALUE);
        return 1;
    }
    wchar_t expanded[sizeof(HomeLocation::windowsPath)];
    const DWORD needed = ExpandEnvironmentStringsW(profile, expanded, ARRAYSIZE(expanded));
    if (needed > ARRAYSIZE(expanded)) {
        // What the expansion left behind is not the path; name the value.
        char shown[kRegistryBufferSize];
        WideToAnsi(profile, shown, sizeof shown, '?');
        return ReportTooLong(shown);
    }
    // A failed expansion leaves nothing trustworthy: use the fallback.
    if (needed == 0) {
        return 0;
    }
    expanded[ARRAYSIZE(expanded) - 1] = 0;
    return RegistryTextToAnsi(expanded, "ProfileImagePath", windowsPath,
                              sizeof(HomeLocation::windowsPath));
}

// Puts the shared fallback directory into `home`; `*create` tells whether it
// is still to be made. 0 to go on, 1 after a message.
static int ChooseFallbackDirectory(const char* mount, HomeLocation* home, bool* create) {
    // Built in a larger buffer so that the message can name it whole.
    char fallback[kRegistryBufferSize + sizeof "\\" FALLBACK_DIRECTORY_NAME];
    JoinFallbackDirectory(mount, AnsiLeadBytes(), fallback, sizeof fallback);
    if (!CopyText(home->windowsPath, sizeof home->windowsPath, fallback)) {
        home->windowsPath[0] = '\0';
        return ReportTooLong(fallback);
    }
    // The same directory for every account: once seen, or made, it is
    // there for the rest of the run.
    static bool seen = false;
    seen = seen || PathExists(home->windowsPath);
    *create = !seen;
    return 0;
}

// The Windows path into `home` and the path to convert into `chosen`
// (kPathSize bytes); `*create` tells that the fallback directory is still to
// be made. 0 to go on, 1 after a message.
static int ChooseHomePath(const UserRequest* request, const AccountInfo* account, const char* mount,
                          HomeLocation* home, char* chosen, bool* create) {
    // A home path from the command line is the administrator's word: no
    // test, no creation, no /home rewrite.
    if (request->homePath[0] != '\0') {
        if (IsDriveRelative(request->homePath)) {
            PrintError(MSG_HOME_DRIVE_RELATIVE, request->homePath);
            return 1;
        }
        CopyText(home->windowsPath, sizeof home->windowsPath, request->homePath);
        CopyText(chosen, kPathSize, home->windowsPath);
        return 0;
    }
    if (ReadProfileDirectory(account, home->windowsPath) != 0) {
        return 1;
    }
    // Only the shared fallback directory is ever created; a missing profile
    // directory is left to Windows.
    if ((home->windowsPath[0] == '\0' || !PathExists(home->windowsPath)) &&
        ChooseFallbackDirectory(mount, home, create) != 0) {
        return 1;
    }
    if (!RewriteUnderHome(home->windowsPath, mount, AnsiLeadBytes(), chosen, kPathSize)) {
        return ReportTooLong(home->windowsPath);
    }
    return 0;
}

int ResolveHomeDirectory(const UserRequest* request, const AccountInfo* account,
                         HomeLocation* home) {
    char mount[kRegistryBufferSize];
    if (ReadHomeMount(mount) != 0) {
        return 1;
    }
    home->windowsPath[0] = '\0';
    home->posixPath[0] = '\0';
    char chosen[kPathSize];
    bool create = false;
    if (ChooseHomePath(request, account, mount, home, chosen, &create) != 0) {
        return 1;
    }

    // Both forms are settled, and fit the entry, before anything is created:
    // a refused path leaves no directory behind.
    if (!ToPosixPath(chosen, AnsiLeadBytes(), home->posixPath, sizeof home->posixPath)) {
        home->posixPath[0] = '\0';
        return ReportTooLong(home->windowsPath);
    }
    if (!FitsPasswdField(home->posixPath)) {
        PrintError(MSG_HOME_INVALID, home->posixPath);
        return 1;
    }
    // Another run may have made it a moment ago: a folder there is as good.
    if (create && !CreateDirectoryA(home->windowsPath, NULL) &&
        !(GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(home->windowsPath))) {
        PrintError(MSG_CANNOT_CREATE_HOME, home->windowsPath, account->userName);
        return 1;
    }
    return 0;
}
