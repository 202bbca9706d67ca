// The lock that serialises the runs on one passwd file: a file beside it,
// open without sharing and deleted on close, so the system drops it with the
// process however the process ends.
#include "passwd/files.h"
#include "platform/platform.h"

// How often a run asks again for a lock that another run holds.
static const DWORD kLockRetryMs = 20;

// Times in a row that CreateFileA may refuse a lock file before the refusal
// counts as lasting rather than as the moment in which a holder's file went
// away: a missing file (a folder the user may not write, say) and a plain
// file that is there (its access list, say).
static const int kMissingRefusalLimit = 5;
static const int kPresentRefusalLimit = 2;

// True while a refused lock file may still come free: it is being deleted
// (the system answers "access denied" for its attributes too, as another
// run's lock goes), or it was there or gone a moment ago and has not been
// refused long enough to count. A read-only file or a folder is refused for
// good.
static bool LockMayComeFree(const char* lockPath, int* refusals) {
    const DWORD attributes = GetFileAttributesA(lockPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() == ERROR_ACCESS_DENIED) {
            return true;
        }
        return ++*refusals < kMissingRefusalLimit;
    }
    if (!IsPlainFile(attributes) || (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    return ++*refusals < kPresentRefusalLimit;
}

bool PauseIfTimeLeft(uint32_t start, unsigned pauseMs) {
    // GetTickCount wraps after 49.7 days; the unsigned difference does not mind.
    if (GetTickCount() - start >= kWaitMs) {
        return false;
    }
    Sleep(pauseMs);
    return true;
}

uint32_t TakeLock(const char* lockPath, uint32_t start, void** lock) {
    *lock = NULL;
    int refusals = 0;
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
                    (error == ERROR_ACCESS_DENIED && LockMayComeFree(lockPath, &refusals));
        // Refused for a reason of its own (an access list, a folder): that
        // reason now, not "busy" after the whole wait.
        if (!held) {
            return error;
        }
        if (!PauseIfTimeLeft(start, kLockRetryMs)) {
            return WAIT_TIMEOUT;
        }
    }
}

void ReleaseLock(void* lock) {
    if (lock != NULL) {
        CloseHandle(lock);
    }
}
