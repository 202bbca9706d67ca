// The lock that serialises the runs on one passwd file: a file beside it,
// open without sharing and deleted on close, so the system drops it with the
// process however the process ends.
#include "passwd/files.h"
#include "platform/platform.h"

// How often a run asks again for a lock that another run holds.
static const DWORD kLockRetryMs = 20;

// Times that CreateFileA may refuse a lock file that is not there before the
// refusal counts as lasting (a folder the user may not write, say) rather
// than as the moment in which the holder's file went away.
static const int kDeniedWithoutFileLimit = 5;

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

uint32_t TakeLock(const char* lockPath, unsigned timeoutMs, void** lock) {
    *lock = NULL;
    // GetTickCount wraps after 49.7 days; the unsigned difference does not mind.
    const DWORD start = GetTickCount();
    int deniedWithoutFile = 0;
    for (;;) {
        // A link of that name is held as a link, never followed.
        HANDLE handle = CreateFileA(
            lockPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (handle != INVALID_HANDLE_VALUE) {
            *lock = handle;
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

void ReleaseLock(void* lock) {
    if (lock != NULL) {
        CloseHandle(lock);
    }
}
