// The runtime services of platform.h on Windows: the C runtime's own
// text-mode streams, and the Win32 file calls that make the passwd rewrite
// safe (a replace in one step, a lock the system drops with the process).
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <io.h>

#include "platform/platform.h"

// Long enough for any path the program builds (a 259-character passwd path
// with a suffix) once made absolute.
static const DWORD kFullPathSize = 1024;

// How often a run asks again for a lock that another run holds.
static const DWORD kLockRetryMs = 20;

// Times that CreateFileA may refuse a lock file that is not there before the
// refusal counts as lasting (a folder the user may not write, say) rather than
// as the moment in which the holder's file went away.
static const int kDeniedWithoutFileLimit = 5;

FILE* RtStdout(void) {
    return stdout;
}

FILE* RtStderr(void) {
    return stderr;
}

// The Windows code behind the C runtime's last failure. The runtime keeps
// the system's code in _doserrno when a system call failed; where it failed
// on its own (a short write on a full disk, a bad argument) only errno says
// what happened.
static DWORD RuntimeError(void) {
    if (_doserrno != 0) {
        return static_cast<DWORD>(_doserrno);
    }
    switch (errno) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
            return ERROR_ACCESS_DENIED;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EMFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}

static void ClearRuntimeError(void) {
    _doserrno = 0;
    errno = 0;
}

FILE* RtOpenFile(const char* path, const char* mode) {
    // The runtime's default mode could be changed to binary by a linked-in
    // object or _fmode, so the text modes are asked for by name.
    const char* runtimeMode = NULL;
    if (strcmp(mode, "r") == 0) {
        runtimeMode = "rt";
    } else if (strcmp(mode, "w") == 0) {
        runtimeMode = "wt";
    } else if (strcmp(mode, "rb") == 0 || strcmp(mode, "wb") == 0) {
        runtimeMode = mode;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    ClearRuntimeError();
    FILE* stream = fopen(path, runtimeMode);
    if (stream == NULL) {
        SetLastError(RuntimeError());
    }
    return stream;
}

int RtPathExists(const char* path) {
    // Unlike the runtime's _stat, this also accepts a directory written with
    // a trailing backslash.
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int RtIsReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

DWORD RtCommitFile(FILE* stream) {
    ClearRuntimeError();
    DWORD error = 0;
    if (fflush(stream) != 0 || _commit(_fileno(stream)) != 0) {
        error = RuntimeError();
    }
    SetLastError(error);
    return error;
}

DWORD RtRemoveFile(const char* path) {
    return DeleteFileA(path) ? 0 : GetLastError();
}

// The absolute form of a path; 0 or the Windows error code.
static DWORD FullPath(const char* path, char* full) {
    DWORD length = GetFullPathNameA(path, kFullPathSize, full, NULL);
    if (length == 0) {
        return GetLastError();
    }
    return length < kFullPathSize ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

DWORD RtReplaceFile(const char* target, const char* replacement, const char* backup) {
    // ReplaceFileA works on full paths only; a relative one may fail or name
    // another place once the system has turned it into a full one.
    char fullTarget[kFullPathSize];
    char fullReplacement[kFullPathSize];
    char fullBackup[kFullPathSize];
    DWORD error = FullPath(target, fullTarget);
    if (error == 0) {
        error = FullPath(replacement, fullReplacement);
    }
    if (error == 0) {
        error = FullPath(backup, fullBackup);
    }
    if (error != 0) {
        SetLastError(error);
        return error;
    }

    if (GetFileAttributesA(fullTarget) == INVALID_FILE_ATTRIBUTES) {
        // Nothing to keep: a rename that replaces what may have come since.
        if (MoveFileExA(fullReplacement, fullTarget,
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return 0;
        }
        return GetLastError();
    }

    if (ReplaceFileA(fullTarget, fullReplacement, fullBackup, REPLACEFILE_WRITE_THROUGH, NULL,
                     NULL)) {
        return 0;
    }
    error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file was already moved to the backup name when the new
        // one could not follow it: put the old one back under its name.
        MoveFileExA(fullBackup, fullTarget, MOVEFILE_WRITE_THROUGH);
    }
    SetLastError(error);
    return error;
}

// True while a refused lock file may still come free: it is there (or being
// deleted, which the system also answers with "access denied"), and it is a
// plain writable file that a run could hold.
static bool LockMayComeFree(const char* lockPath, int* deniedWithoutFile) {
    DWORD attributes = GetFileAttributesA(lockPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() == ERROR_ACCESS_DENIED) {
            return true;
        }
        return ++*deniedWithoutFile < kDeniedWithoutFileLimit;
    }
    *deniedWithoutFile = 0;
    return (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

RtLockResult RtLockFile(const char* lockPath, unsigned timeoutMs, RtLockHandle* handle) {
    *handle = RT_NO_LOCK;
    // GetTickCount wraps after 49.7 days; the unsigned difference does not mind.
    const DWORD start = GetTickCount();
    int deniedWithoutFile = 0;
    for (;;) {
        // No sharing: a second open fails while this handle lives, and the
        // system closes it (and so deletes the file) when the process ends.
        HANDLE lock = CreateFileA(lockPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, NULL);
        if (lock != INVALID_HANDLE_VALUE) {
            *handle = reinterpret_cast<RtLockHandle>(lock);
            return RT_LOCK_TAKEN;
        }
        DWORD error = GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION ||
                    (error == ERROR_ACCESS_DENIED && LockMayComeFree(lockPath, &deniedWithoutFile));
        if (!held) {
            SetLastError(error);
            return RT_LOCK_FAILED;
        }
        if (GetTickCount() - start >= timeoutMs) {
            SetLastError(error);
            return RT_LOCK_BUSY;
        }
        Sleep(kLockRetryMs);
    }
}

void RtUnlockFile(RtLockHandle handle) {
    if (handle != RT_NO_LOCK) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}
