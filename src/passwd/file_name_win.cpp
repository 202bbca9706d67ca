// One name for the passwd file, whatever spelling the command line gave:
// the lock, new file and backup are named from it, so runs that name one
// file differently still wait for each other and share one backup.
#include <cstring>

#include "passwd/files.h"
#include "request.h"
#include "platform/platform.h"
#include "text.h"

// Length of the part of a full path that names no file: "C:\",
// "\\server\share\", "\\?\C:\" or "\\?\UNC\server\share\".
static size_t RootLength(const char* path) {
    size_t at = 0;
    int names = 0;  // server and share names still to skip
    if (strncmp(path, "\\\\?\\UNC\\", 8) == 0) {
        at = 8;
        names = 2;
    } else if (strncmp(path, "\\\\?\\", 4) == 0) {
        at = 4;
    } else if (strncmp(path, "\\\\", 2) == 0) {
        at = 2;
        names = 2;
    }
    if (names == 0) {
        return path[at] != '\0' && path[at + 1] == ':' && path[at + 2] == '\\' ? at + 3 : at;
    }
    for (; names > 0 && path[at] != '\0'; --names) {
        const char* separator = strchr(path + at, '\\');
        at = separator != NULL ? separator + 1 - path : strlen(path);
    }
    return at;
}

// Puts the stored name of what `path` names in place of its last
// component, which starts at `component`. False, `path` unchanged, when
// nothing is there (or its name would not fit).
static bool TakeStoredName(char* path, size_t size, size_t component) {
    if (strpbrk(path + component, "*?") != NULL) {
        return false;  // a wildcard would match some other name
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return component + strlen(found.cFileName) < size &&
           CopyText(path + component, size - component, found.cFileName);
}

// A passwd file that is gone is known by the backup it left: its stored
// name without ".bak".
static void TakeBackupName(char* path, size_t size, size_t component) {
    static const char kSuffix[] = ".bak";
    const size_t end = strlen(path);
    if (AppendText(path, size, kSuffix) && TakeStoredName(path, size, component) &&
        strlen(path) > component + sizeof kSuffix - 1) {
        path[strlen(path) - (sizeof kSuffix - 1)] = '\0';
    } else {
        path[end] = '\0';
    }
}

uint32_t StoredPasswdPath(const char* typed, char* out, size_t size) {
    char full[kPathSize];
    const DWORD length = GetFullPathNameA(typed, sizeof full, full, NULL);
    if (length == 0) {
        return GetLastError();
    }
    if (length >= sizeof full || length >= size) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    // Component by component, each existing one as the folder stores it.
    size_t start = RootLength(full);
    memcpy(out, full, start);
    out[start] = '\0';
    while (full[start] != '\0') {
        const char* separator = strchr(full + start, '\\');
        const size_t end = separator != NULL ? static_cast<size_t>(separator - full) : length;
        const size_t component = strlen(out);
        if (component + (end - start) + 1 > size) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        memcpy(out + component, full + start, end - start);
        out[component + end - start] = '\0';
        if (!TakeStoredName(out, size, component) && separator == NULL) {
            TakeBackupName(out, size, component);
        }
        if (separator == NULL) {
            break;
        }
        if (!AppendText(out, size, "\\")) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        start = end + 1;
    }
    return 0;
}
