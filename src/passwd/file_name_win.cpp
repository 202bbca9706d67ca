// One name for the passwd file, whatever spelling the command line gave:
// the lock, new file and backup are named from it, so runs that name one
// file differently still wait for each other and share one backup. The file
// system is asked in UTF-16 and its answers become ANSI without best fit: a
// stored name that the code page cannot hold is taken in its short form,
// which names the same file, never as a look-alike that may name another.
#include <cstring>
#include <cwchar>

#include "passwd/files.h"
#include "passwd/path_rules.h"
#include "platform/ansi.h"
#include "platform/platform.h"
#include "request.h"
#include "text.h"

// The stored name of what the full path `wide` names, as ANSI into `name`
// and as UTF-16 into `wideName` (kPathSize units); `*shortForm` tells that
// its long name did not fit the code page. False when nothing is there or
// no form of its name fits the code page.
static bool StoredName(const wchar_t* wide, char* name, size_t size, wchar_t* wideName,
                       bool* shortForm) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    const wchar_t* chosen = found.cFileName;
    *shortForm = WideToAnsi(chosen, name, size, '?') != kAnsiExact;
    if (*shortForm) {
        chosen = found.cAlternateFileName;
        if (chosen[0] == 0 || WideToAnsi(chosen, name, size, '?') != kAnsiExact) {
            return false;
        }
    }
    wcsncpy(wideName, chosen, kPathSize - 1);
    wideName[kPathSize - 1] = 0;
    return true;
}

// Appends `part` (`units` units) to `wide` (kPathSize units); false when it
// does not fit.
static bool AppendWide(wchar_t* wide, const wchar_t* part, size_t units) {
    const size_t used = wcslen(wide);
    if (used + units >= kPathSize) {
        return false;
    }
    wmemcpy(wide + used, part, units);
    wide[used + units] = 0;
    return true;
}

// The stored name of a passwd file that is gone, known by the backup it
// left: the backup's stored long name without ".bak"; false when there is
// none.
static bool BackupStoredName(const wchar_t* wide, char* name, size_t size) {
    static const wchar_t kSuffix[] = L"" BACKUP_SUFFIX;
    const size_t suffix = ARRAYSIZE(kSuffix) - 1;
    wchar_t backup[kPathSize + 4];
    wchar_t stored[kPathSize];
    const size_t length = wcslen(wide);
    bool shortForm = false;
    if (length + suffix >= ARRAYSIZE(backup)) {
        return false;
    }
    wmemcpy(backup, wide, length);
    wmemcpy(backup + length, kSuffix, ARRAYSIZE(kSuffix));
    if (!StoredName(backup, name, size, stored, &shortForm) || shortForm) {
        return false;
    }
    // Each text measured on its own: a double-byte name is longer in ANSI.
    // The suffix is ASCII, so it ends both alike.
    const size_t stem = strlen(name);
    const size_t storedLength = wcslen(stored);
    if (stem <= suffix || storedLength <= suffix ||
        _wcsicmp(stored + storedLength - suffix, kSuffix) != 0) {
        return false;
    }
    name[stem - suffix] = '\0';
    return true;
}

// Appends one component of a full path (`units` units at `part`; `last`: the
// file's own name) to `stored` (kPathSize units) and to `out` (`size`
// bytes), each as the folder stores it: short where the code page cannot
// hold the long name, and a missing one as typed, which may come from a
// current folder whose name the code page does not hold. 0, or the Windows
// error code.
static uint32_t AppendComponent(const wchar_t* part, size_t units, bool last, wchar_t* stored,
                                char* out, size_t size) {
    const size_t wideMark = wcslen(stored);
    if (!AppendWide(stored, part, units)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    char name[kPathSize];
    wchar_t storedPart[kPathSize];
    bool shortForm = false;
    const bool found = StoredName(stored, name, sizeof name, storedPart, &shortForm);
    if (found) {
        stored[wideMark] = 0;
        if (!AppendWide(stored, storedPart, wcslen(storedPart))) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
    }
    const bool known = found || (last && BackupStoredName(stored, name, sizeof name));
    if (!known && WideToAnsi(stored + wideMark, name, sizeof name, '?') != kAnsiExact) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    const bool fits = AppendText(out, size, name) &&
                      (last || (AppendText(out, size, "\\") && AppendWide(stored, L"\\", 1)));
    return fits ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

uint32_t StoredPasswdPath(const char* typed, char* out, size_t size) {
    wchar_t typedWide[kPathSize];
    wchar_t full[kPathSize];
    if (!AnsiToWide(typed, typedWide, ARRAYSIZE(typedWide))) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const DWORD length = GetFullPathNameW(typedWide, ARRAYSIZE(full), full, NULL);
    if (length == 0) {
        return GetLastError();
    }
    if (length >= ARRAYSIZE(full)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    // A wildcard or a stream name would let the lookup below, or the files
    // opened after it, reach a file the administrator never named.
    if (!NamesOneFile(full)) {
        return ERROR_INVALID_NAME;
    }
    // Component by component, each existing one as the folder stores it.
    wchar_t stored[kPathSize];
    size_t start = PathRootLength(full);
    wmemcpy(stored, full, start);
    stored[start] = 0;
    if (WideToAnsi(stored, out, size, '?') != kAnsiExact) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    while (full[start] != 0) {
        const wchar_t* separator = wcschr(full + start, L'\\');
        const size_t end = separator != NULL ? static_cast<size_t>(separator - full) : length;
        const uint32_t error =
            AppendComponent(full + start, end - start, separator == NULL, stored, out, size);
        if (error != 0 || separator == NULL) {
            return error;
        }
        start = end + 1;
    }
    return 0;
}
