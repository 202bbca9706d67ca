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
#include "platform/ansi.h"
#include "platform/platform.h"
#include "text.h"

// How often a step refused for another program is tried again.
static const DWORD kRetryMs = 50;

// The blocks the filter reads and writes: large enough that a file of a
// million lines costs a few hundred system calls, small enough to keep the
// run's memory small.
enum { kFilterBlockSize = 1024 * 1024 };

// Replace what is there. MOVEFILE_WRITE_THROUGH flushes a move that the
// system does as a copy (never here: the names share a folder) before it
// returns; a rename within a folder is as lasting as the file system makes
// its own changes.
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
    const bool fit = FormatText(names->backup, sizeof names->backup, "%s" BACKUP_SUFFIX, target) &&
                     FormatText(names->lock, sizeof names->lock, "%s.lk~", target) &&
                     FormatText(names->fresh, sizeof names->fresh, "%s.nw~", target) &&
                     FormatText(names->link, sizeof names->link, "%s.bk~", target);
    return fit ? 0 : ERROR_FILENAME_EXCED_RANGE;
}

// A read-only file under one of the rewrite's names is still ours to
// replace. A link is left as it is: its target is not ours.
static void ClearReadOnly(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (IsPlainFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
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

static bool IsMissing(const char* path) {
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
           GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The new file is made read-only and loses the attribute once it is whole
// and flushed (FinishNewFile); a plain file under its name is whole.
static bool IsWholeNewFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return IsPlainFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

// What the old file was when its lines were read, while nobody could write
// to it: its size and last write. Windows does not rename over a file that
// any program holds, this run included, so the old file is let go before it
// is replaced; an append made in that moment changes this.
struct FileStamp {
    DWORD sizeHigh;
    DWORD sizeLow;
    FILETIME written;
    bool known;
};

// An appended line that the rewrite would leave in the backup alone: the
// pass starts over. Bit 29 marks a code of the program's own, never the
// system's.
static const uint32_t kOldFileChanged = 0x20000001u;

static FileStamp StampOf(HANDLE file) {
    FileStamp stamp = {0, 0, {0, 0}, false};
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info)) {
        stamp = {info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, true};
    }
    return stamp;
}

// True when the file at `path` is still as `stamp` says.
static bool StillAsStamped(const char* path, const FileStamp* stamp) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, all, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const FileStamp now = StampOf(file);
    CloseHandle(file);
    return now.known && now.sizeHigh == stamp->sizeHigh && now.sizeLow == stamp->sizeLow &&
           now.written.dwLowDateTime == stamp->written.dwLowDateTime &&
           now.written.dwHighDateTime == stamp->written.dwHighDateTime;
}

// Windows refuses to rename over a file while any program has it open: the
// rename is tried again while the run may wait. With `unchanged`, the file
// replaced must still be as it says before each try (else kOldFileChanged).
// 0, or the last error.
static uint32_t MoveIntoPlace(const char* from, const char* to, DWORD start,
                              const FileStamp* unchanged = NULL) {
    for (;;) {
        if (unchanged != NULL && !StillAsStamped(to, unchanged)) {
            return kOldFileChanged;
        }
        if (MoveFileExA(from, to, kMoveFlags)) {
            return 0;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            !PauseIfTimeLeft(start, kRetryMs)) {
            return error;
        }
    }
}

// The old file, open while its lines are copied. Nobody may write to it
// meanwhile, or an append would be lost; the right to delete, which the
// rename over it takes, is asked for too. A program writing to it, or one
// holding it without letting it be deleted (a virus scanner, a backup agent,
// a `type` at that moment), is waited for within the run's budget:
// WAIT_TIMEOUT when a writer keeps it, ERROR_SHARING_VIOLATION when the
// other holder does.
static uint32_t OpenOldFile(const char* path, DWORD start, HANDLE* file) {
    const DWORD access = GENERIC_READ | DELETE;
    for (;;) {
        *file = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (*file != INVALID_HANDLE_VALUE) {
            return 0;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) {
            return GetLastError();
        }
        // Opened when writers are let in, the file is held by a writer only.
        const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE probe = CreateFileA(path, access, all, NULL, OPEN_EXISTING, 0, NULL);
        uint32_t lasting = WAIT_TIMEOUT;
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            lasting = ERROR_SHARING_VIOLATION;
        } else {
            return GetLastError();
        }
        if (!PauseIfTimeLeft(start, kRetryMs)) {
            return lasting;
        }
    }
}

// Whether `path` is another name of the open `file`: a backup that is,
// because a run stopped between its two renames, needs no new name (and a
// rename of one name over another of the same file does nothing on some
// file systems).
static bool IsSameFile(HANDLE file, const char* path) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE other = CreateFileA(path, FILE_READ_ATTRIBUTES, all, NULL, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (other == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION one, two;
    const bool same =
        GetFileInformationByHandle(file, &one) && GetFileInformationByHandle(other, &two) &&
        one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
        one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    CloseHandle(other);
    return same;
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
    // through. Read-only until it is whole (see IsWholeNewFile).
    HANDLE fresh = CreateFileA(freshPath, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_READONLY | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
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

// How a file system without access lists answers for them: FAT with
// "invalid function" or "not supported"; Wine, on a drive whose files keep no
// Unix permissions either, with a general failure.
static bool KeepsNoAccessLists(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_GEN_FAILURE;
}

// The new file takes over the old one's owner and access list, as a file
// replaced in place would have kept them.
static uint32_t CopyFileSecurity(const char* target, const char* fresh) {
    const SECURITY_INFORMATION all =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    // The largest security descriptor Windows makes.
    alignas(8) static BYTE descriptor[65536];
    DWORD needed = 0;
    // Giving a file another owner takes a privilege that an administrator's
    // prompt may lack; the access list is what guards the file.
    if (!GetFileSecurityA(target, all, descriptor, sizeof descriptor, &needed) ||
        (!SetFileSecurityA(fresh, all, descriptor) &&
         !SetFileSecurityA(fresh, DACL_SECURITY_INFORMATION, descriptor))) {
        const DWORD error = GetLastError();
        return KeepsNoAccessLists(error) ? 0 : error;
    }
    return 0;
}

// The new file, whole, made ready to take the old one's place: its security
// and its hidden, system and not-indexed attributes are the old file's, and
// it is marked for archiving as any file just written (which also ends its
// read-only time).
static uint32_t FinishNewFile(const char* target, const char* fresh, bool rebuilt) {
    DWORD kept = 0;
    if (!rebuilt) {
        const uint32_t error = CopyFileSecurity(target, fresh);
        const DWORD attributes = GetFileAttributesA(target);
        if (error != 0 || attributes == INVALID_FILE_ATTRIBUTES) {
            return error != 0 ? error : GetLastError();
        }
        kept = attributes &
               (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
    // A file system that cannot set them (Wine's, on a drive without Unix
    // permissions) may still have given the file just these.
    const DWORD wanted = kept | FILE_ATTRIBUTE_ARCHIVE;
    if (SetFileAttributesA(fresh, wanted)) {
        return 0;
    }
    const DWORD error = GetLastError();
    return GetFileAttributesA(fresh) == wanted ? 0 : error;
}

// The old file becomes the backup without a moment in which no whole backup
// exists: a second name of it, renamed over the old backup.
static uint32_t MakeBackup(const RewriteNames* names, DWORD start) {
    RemoveLeftover(names->link);
    if (!CreateHardLinkA(names->link, names->target, NULL)) {
        // Whatever the refusal, a copy is tried, at the cost of writing the
        // file once more: a file system without second names (FAT, some
        // network shares) says so with errors of its own, and a refusal
        // that would stop a copy too (access denied, a full disk) comes
        // back as the copy's.
        if (!CopyFileA(names->target, names->link, TRUE)) {
            return GetLastError();
        }
        HANDLE copy = CreateFileA(names->link, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        // Taken before the handle is closed, which may set another.
        const DWORD error =
            copy != INVALID_HANDLE_VALUE && FlushFileBuffers(copy) ? 0 : GetLastError();
        if (copy != INVALID_HANDLE_VALUE) {
            CloseHandle(copy);
        }
        if (error != 0) {
            return error;
        }
    }
    ClearReadOnly(names->backup);
    return MoveIntoPlace(names->link, names->backup, start);
}

// The file whose lines the new one takes: the passwd file, or, when it is
// missing, the backup it left (`*rebuilt`). 0, or the Windows error code.
static uint32_t OpenSource(const RewriteNames* names, DWORD start, HANDLE* source, bool* rebuilt) {
    uint32_t error = OpenOldFile(names->target, start, source);
    *rebuilt = error == ERROR_FILE_NOT_FOUND;
    if (*rebuilt) {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        *source = CreateFileA(names->backup, GENERIC_READ, share, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        error = *source == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }
    return error;
}

// One pass of the rewrite: the new file from the old one, the backup, the
// new file in place. kOldFileChanged when the old file took an append after
// it was let go: nothing is replaced, and the pass is to be made again.
static uint32_t RewritePass(const RewriteNames* names, const NameSet* logins, const char* entries,
                            DWORD start) {
    HANDLE source = INVALID_HANDLE_VALUE;
    bool rebuilt = false;
    uint32_t error = OpenSource(names, start, &source, &rebuilt);
    if (error != 0) {
        return error;
    }
    error = WriteNewFile(source, names->fresh, logins, entries);
    const bool backedUp = rebuilt || IsSameFile(source, names->backup);
    const FileStamp stamp = StampOf(source);
    CloseHandle(source);
    if (error == 0) {
        error = FinishNewFile(names->target, names->fresh, rebuilt);
    }
    if (error == 0 && !backedUp) {
        error = MakeBackup(names, start);
    }
    if (error == 0) {
        const bool check = !rebuilt && stamp.known;
        error = MoveIntoPlace(names->fresh, names->target, start, check ? &stamp : NULL);
    }
    // What a rewrite that did not finish made goes with it, but for a whole
    // new file while the passwd file is missing: the next run puts it in
    // place.
    if (error != 0) {
        if (!IsMissing(names->target) || !IsWholeNewFile(names->fresh)) {
            RemoveLeftover(names->fresh);
        }
        RemoveLeftover(names->link);
    }
    return error;
}

// The rewrite, under the lock taken by a wait that began at `start`.
static uint32_t RewriteLocked(const RewriteNames* names, const NameSet* logins, const char* entries,
                              DWORD start) {
    // Before anything is made: a rename would pass over the attribute.
    if (IsReadOnly(names->target)) {
        return ERROR_FILE_READ_ONLY;
    }
    // A whole new file without a passwd file: a run whose last rename was
    // done as a delete and a rename failed between the two. It is the passwd
    // file now.
    if (IsMissing(names->target) && IsWholeNewFile(names->fresh)) {
        const uint32_t error = MoveIntoPlace(names->fresh, names->target, start);
        if (error != 0) {
            return error;
        }
    }
    // A file that keeps growing under the run is a busy one.
    for (;;) {
        const uint32_t error = RewritePass(names, logins, entries, start);
        if (error != kOldFileChanged) {
            return error;
        }
        if (!PauseIfTimeLeft(start, kRetryMs)) {
            return WAIT_TIMEOUT;
        }
    }
}

// Rewrites the passwd file under its lock. 0 when the file took the entry,
// or the Windows error code of the step that failed: WAIT_TIMEOUT when
// another run kept it busy, ERROR_FILE_READ_ONLY for a read-only file.
static uint32_t WriteIntoPasswdFile(const char* typed, const NameSet* logins, const char* entries) {
    RewriteNames names;
    uint32_t error = NameRewriteFiles(typed, &names);
    void* lock = NULL;
    // GetTickCount wraps after 49.7 days; the unsigned difference does not mind.
    const DWORD start = GetTickCount();
    if (error == 0) {
        error = TakeLock(names.lock, start, &lock);
    }
    if (error == 0) {
        error = RewriteLocked(&names, logins, entries, start);
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
