// Puts NT-mode entries into the passwd file, or on standard output when the
// file cannot take them. The file is never written in place: the new content
// goes to a fresh file beside it; the old file gets its backup name as a
// second name; then the new file is renamed over the old one. At every
// moment the passwd file is there, whole (the old one or the new one), and
// so is a whole backup.
#include <cstring>

#include "diag/report.h"
#include "messages.h"
#include "passwd/files.h"
#include "passwd/filter.h"
#include "passwd/passwd.h"
#include "platform/platform.h"
#include "text.h"

// How long a run waits for another run on the same passwd file.
static const unsigned kLockWaitMs = 10000;

// The blocks the filter reads and writes: large enough that a file of a
// million lines costs a few hundred system calls, small enough to keep the
// run's memory small.
enum { kFilterBlockSize = 1024 * 1024 };

// A renamed file is in place once the rename is on the disk.
static const DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// The files of one rewrite. The names beside the passwd file are all as
// long as the backup's, so one that fits Windows' path limit fits them all.
struct RewriteNames {
    char target[kPathSize];  // the passwd file as the file system stores its name
    char backup[kPathSize];
    char lock[kPathSize];
    char fresh[kPathSize];  // the new content, until it takes the target's place
    char link[kPathSize];   // the old file's second name, until it becomes the backup
};

static uint32_t NameRewriteFiles(const char* typed, RewriteNames* names) {
    uint32_t error = StoredPasswdPath(typed, names->target, sizeof names->target);
    if (error != 0) {
        return error;
    }
    const char* target = names->target;
    const bool fit = FormatText(names->backup, sizeof names->backup, "%s.bak", target) &&
                     FormatText(names->lock, sizeof names->lock, "%s.lk~", target) &&
                     FormatText(names->fresh, sizeof names->fresh, "%s.nw~", target) &&
                     FormatText(names->link, sizeof names->link, "%s.bk~", target);
    return fit ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

// A read-only file under one of the rewrite's names is still ours to
// replace. A link is left as it is: its target is not ours.
static void ClearReadOnly(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    const DWORD untouchable = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        (attributes & untouchable) == 0) {
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

// What a killed or failed run left under one of the rewrite's names goes,
// a link as a link; a folder stays, and the step that needs the name says so.
static void RemoveLeftover(const char* path) {
    ClearReadOnly(path);
    DeleteFileA(path);
}

static bool IsReadOnly(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Writes the new file: the lines of `source` that stay, then the entries,
// flushed to the disk. 0, or the code of the first step that failed.
static uint32_t WriteNewFile(HANDLE source, const char* freshPath, const NameSet* names,
                             const char* entries) {
    // Static: more than a small stack should carry, and one rewrite runs at a
    // time.
    static char in[kFilterBlockSize];
    static char out[kFilterBlockSize];
    RemoveLeftover(freshPath);
    // Exclusive: whatever took the name since is refused, never written
    // through.
    HANDLE fresh = CreateFileA(freshPath, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (fresh == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const FilterIo io = {source, fresh, ReadHandle, SeekHandle, WriteHandle};
    const FilterBuffers buffers = {in, sizeof in, out, sizeof out};
    uint32_t error = FilterPasswdLines(&io, names, entries, &buffers);
    if (error == 0 && !FlushFileBuffers(fresh)) {
        error = GetLastError();
    }
    // The first failure is the one that explains the run.
    if (!CloseHandle(fresh) && error == 0) {
        error = GetLastError();
    }
    return error;
}

// The new file takes over the old one's owner, access list and attributes,
// as a file replaced in place would have kept them.
static uint32_t TakeOverFileSecurity(const char* target, const char* fresh) {
    const SECURITY_INFORMATION all =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    // The largest security descriptor Windows makes.
    alignas(8) static BYTE descriptor[65536];
    DWORD needed = 0;
    if (!GetFileSecurityA(target, all, descriptor, sizeof descriptor, &needed)) {
        const DWORD error = GetLastError();
        // A file system without access lists (FAT) has nothing to keep.
        return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ? 0 : error;
    }
    // Giving a file another owner takes a privilege that an administrator's
    // prompt may lack; the access list is what guards the file.
    if (!SetFileSecurityA(fresh, all, descriptor) &&
        !SetFileSecurityA(fresh, DACL_SECURITY_INFORMATION, descriptor)) {
        return GetLastError();
    }
    const DWORD attributes = GetFileAttributesA(target);
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        !SetFileAttributesA(fresh, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return GetLastError();
    }
    return 0;
}

// The old file becomes the backup without a moment in which no whole backup
// exists: a second name of it, renamed over the old backup.
static uint32_t MakeBackup(const RewriteNames* names) {
    RemoveLeftover(names->link);
    if (!CreateHardLinkA(names->link, names->target, NULL)) {
        const DWORD error = GetLastError();
        // Without second names (FAT, some network shares) a copy serves, at
        // the cost of writing the file once more.
        if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) {
            return error;
        }
        if (!CopyFileA(names->target, names->link, TRUE)) {
            return GetLastError();
        }
        HANDLE copy = CreateFileA(names->link, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        const bool flushed = copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy);
        if (copy != INVALID_HANDLE_VALUE) {
            CloseHandle(copy);
        }
        if (!flushed) {
            return GetLastError();
        }
    }
    ClearReadOnly(names->backup);
    return MoveFileExA(names->link, names->backup, kMoveFlags) ? 0 : GetLastError();
}

// The rewrite, under the lock.
static uint32_t RewriteLocked(const RewriteNames* names, const NameSet* logins,
                              const char* entries) {
    // Before anything is made: a rename would pass over the attribute.
    if (IsReadOnly(names->target)) {
        return ERROR_FILE_READ_ONLY;
    }
    // Asked for the right to delete, which the rename over it takes: an
    // editor that holds the file refuses it now, before anything is made.
    // A missing passwd file is made again from the backup it left.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    bool rebuilt = false;
    HANDLE source = CreateFileA(names->target, GENERIC_READ | DELETE, share, NULL, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (source == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        rebuilt = true;
        source = CreateFileA(names->backup, GENERIC_READ, share, NULL, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    }
    if (source == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    uint32_t error = WriteNewFile(source, names->fresh, logins, entries);
    CloseHandle(source);
    if (error == 0 && !rebuilt) {
        error = TakeOverFileSecurity(names->target, names->fresh);
    }
    if (error == 0 && !rebuilt) {
        error = MakeBackup(names);
    }
    if (error == 0 && !MoveFileExA(names->fresh, names->target, kMoveFlags)) {
        error = GetLastError();
    }
    // What a rewrite that did not finish made goes with it.
    if (error != 0) {
        RemoveLeftover(names->fresh);
        RemoveLeftover(names->link);
    }
    return error;
}

// Rewrites the passwd file under its lock. 0 when the file took the entry,
// or the Windows error code of the step that failed: WAIT_TIMEOUT when
// another run kept it busy, ERROR_FILE_READ_ONLY for a read-only file.
static uint32_t WriteIntoPasswdFile(const char* typed, const NameSet* logins, const char* entries) {
    RewriteNames names;
    uint32_t error = NameRewriteFiles(typed, &names);
    void* lock = NULL;
    if (error == 0) {
        error = TakeLock(names.lock, kLockWaitMs, &lock);
    }
    if (error == 0) {
        error = RewriteLocked(&names, logins, entries);
        ReleaseLock(lock);
    }
    return error;
}

int WriteEntries(const char* passwdPath, const NameSet* logins, const char* entries,
                 size_t length) {
    if (passwdPath[0] != '\0') {
        uint32_t error = WriteIntoPasswdFile(passwdPath, logins, entries);
        if (error == 0) {
            return 0;
        }
        // Scripts rely on the status and on the entries reaching standard
        // output; the administrator learns why on standard error.
        if (error == WAIT_TIMEOUT) {
            PrintError(MSG_PASSWD_BUSY, passwdPath);
        } else if (error == ERROR_FILE_READ_ONLY) {
            PrintError(MSG_PASSWD_READ_ONLY, passwdPath);
        } else {
            PrintError(MSG_PASSWD_NOT_REWRITTEN, passwdPath, static_cast<unsigned long>(error));
        }
    }
    fwrite(entries, 1, length, stdout);
    return 0;
}

// The SID's text is taken right before the line is made: it lives in a
// buffer that the next call overwrites.
size_t MakeEntry(char* entry, size_t size, const char* loginName, const AccountInfo* account,
                 const HomeLocation* home) {
    const char* sidText = account->sidFound ? SidToText(account->sid) : "";
    return FormatPasswdEntry(entry, size, loginName, account, sidText, home);
}

int RewritePasswdFile(const UserRequest* request, const AccountInfo* account,
                      const HomeLocation* home) {
    const char* loginName = LoginName(request, account);
    char entry[kPasswdEntrySize];
    const size_t length = MakeEntry(entry, sizeof entry, loginName, account, home);
    if (length == 0) {
        // Not reached: the entry's buffer holds every field at its largest.
        PrintError(MSG_PASSWD_NOT_REWRITTEN, request->passwdFile,
                   static_cast<unsigned long>(ERROR_INSUFFICIENT_BUFFER));
        return 1;
    }
    NameSlot slots[2];
    NameSet logins;
    InitNameSet(&logins, slots, 2);
    uint32_t unused = 0;
    AddName(&logins, loginName, strlen(loginName), 0, &unused);
    return WriteEntries(request->passwdFile, &logins, entry, length);
}
