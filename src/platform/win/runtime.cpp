// The runtime services of platform.h on Windows: the C runtime's text-mode
// standard streams, and the Win32 file calls that make the passwd rewrite
// safe and quick (unbuffered bytes, a replace in one step, a lock the
// system drops with the process).
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/platform.h"
#include "text.h"

// Long enough for any path the program builds (a 259-character passwd path
// with a suffix) once made absolute.
static const DWORD kFullPathSize = 1024;

// How often a run asks again for a lock that another run holds.
static const DWORD kLockRetryMs = 20;

// Times that CreateFileA may refuse a lock file that is not there before the
// refusal counts as lasting (a folder the user may not write, say) rather than
// as the moment in which the holder's file went away.
static const int kDeniedWithoutFileLimit = 5;

struct RtFile {
    HANDLE handle;
};

FILE* RtStdout(void) {
    return stdout;
}

FILE* RtStderr(void) {
    return stderr;
}

// msvcrt's memchr looks at one byte at a time: sixteen at a time here where
// every processor of the build has SSE2 (x64), else eight.
const char* RtFindByte(const char* bytes, size_t size, char c) {
    const char* end = bytes + size;
#ifdef __SSE2__
    const __m128i needle = _mm_set1_epi8(c);
    for (; end - bytes >= 16; bytes += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(block, needle));
        if (found != 0) {
            return bytes + __builtin_ctz(static_cast<unsigned>(found));
        }
    }
#else
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t pattern = ones * static_cast<unsigned char>(c);
    for (; end - bytes >= 8; bytes += 8) {
        uint64_t word;
        memcpy(&word, bytes, sizeof word);
        word ^= pattern;  // a zero byte where c was
        if (((word - ones) & ~word & (ones << 7)) != 0) {
            break;
        }
    }
#endif
    for (; bytes < end; ++bytes) {
        if (*bytes == c) {
            return bytes;
        }
    }
    return NULL;
}

// The file for a handle CreateFileA gave; NULL (the code left) on failure.
static RtFile* Wrap(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    RtFile* file = static_cast<RtFile*>(malloc(sizeof(RtFile)));
    if (file == NULL) {
        CloseHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    file->handle = handle;
    return file;
}

RtFile* RtOpenFile(const char* path) {
    return Wrap(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL));
}

RtFile* RtCreateNewFile(const char* path) {
    // A leftover is removed, a link of that name as a link; CREATE_NEW then
    // refuses whatever is still there.
    DeleteFileA(path);
    return Wrap(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL));
}

DWORD RtReadFile(RtFile* file, void* buffer, size_t size, size_t* got) {
    DWORD read = 0;
    const DWORD asked = size < 0x40000000u ? static_cast<DWORD>(size) : 0x40000000u;
    *got = 0;
    if (!ReadFile(file->handle, buffer, asked, &read, NULL)) {
        return GetLastError();
    }
    *got = read;
    return 0;
}

DWORD RtWriteFile(RtFile* file, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        const DWORD asked = size < 0x40000000u ? static_cast<DWORD>(size) : 0x40000000u;
        if (!WriteFile(file->handle, bytes, asked, &written, NULL)) {
            return GetLastError();
        }
        // A write that takes nothing would be asked again for ever.
        if (written == 0) {
            return ERROR_WRITE_FAULT;
        }
        bytes += written;
        size -= written;
    }
    return 0;
}

DWORD RtSeekFile(RtFile* file, uint64_t offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(0);
    DWORD low =
        SetFilePointer(file->handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return low == INVALID_SET_FILE_POINTER ? GetLastError() : 0;
}

DWORD RtCommitFile(RtFile* file) {
    return FlushFileBuffers(file->handle) ? 0 : GetLastError();
}

DWORD RtCloseFile(RtFile* file) {
    DWORD error = CloseHandle(file->handle) ? 0 : GetLastError();
    free(file);
    return error;
}

int RtPathExists(const char* path) {
    // Unlike the runtime's _stat, this also accepts a directory written with
    // a trailing backslash.
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int RtIsReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD RtRemoveFile(const char* path) {
    return DeleteFileA(path) ? 0 : GetLastError();
}

bool RtResolvePath(const char* path, char* out, size_t size) {
    return CopyText(out, size, path);
}

// The absolute form of a path; 0 or the Windows error code.
static DWORD FullPath(const char* path, char* full) {
    DWORD length = GetFullPathNameA(path, kFullPathSize, full, NULL);
    if (length == 0) {
        return GetLastError();
    }
    return length < kFullPathSize ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

// A read-only backup would refuse the replace for good: it is ours to
// replace. A link is removed as a link, never followed.
static void ClearReadOnlyBackup(const char* backup) {
    DWORD attributes = GetFileAttributesA(backup);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        DeleteFileA(backup);
    } else {
        SetFileAttributesA(backup, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
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
    if (error == 0 && backup != NULL) {
        error = FullPath(backup, fullBackup);
    }
    if (error != 0) {
        return error;
    }
    if (GetFileAttributesA(fullTarget) == INVALID_FILE_ATTRIBUTES) {
        // Nothing to keep: a rename that replaces what may have come since.
        return MoveFileExA(fullReplacement, fullTarget,
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : GetLastError();
    }
    if (backup != NULL) {
        ClearReadOnlyBackup(fullBackup);
    }
    if (ReplaceFileA(fullTarget, fullReplacement, backup != NULL ? fullBackup : NULL, 0, NULL,
                     NULL)) {
        return 0;
    }
    error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file was already moved to the backup name when the new
        // one could not follow it: put the old one back under its name.
        MoveFileExA(fullBackup, fullTarget, MOVEFILE_WRITE_THROUGH);
    }
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

DWORD RtLockFile(const char* lockPath, unsigned timeoutMs, RtLockHandle* handle) {
    *handle = RT_NO_LOCK;
    // GetTickCount wraps after 49.7 days; the unsigned difference does not mind.
    const DWORD start = GetTickCount();
    int deniedWithoutFile = 0;
    for (;;) {
        // No sharing: a second open fails while this handle lives, and the
        // system closes it (and so deletes the file) when the process ends.
        // A link of that name is held as a link, never followed.
        HANDLE lock = CreateFileA(
            lockPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (lock != INVALID_HANDLE_VALUE) {
            *handle = reinterpret_cast<RtLockHandle>(lock);
            return 0;
        }
        DWORD error = GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION ||
                    (error == ERROR_ACCESS_DENIED && LockMayComeFree(lockPath, &deniedWithoutFile));
        if (!held) {
            return error;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return WAIT_TIMEOUT;
        }
        Sleep(kLockRetryMs);
    }
}

void RtUnlockFile(RtLockHandle handle) {
    if (handle != RT_NO_LOCK) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}
