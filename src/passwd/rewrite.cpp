// Puts the NT-mode entry into the passwd file, or on standard output when the
// file cannot take it. The file is never written in place: the new content
// goes to a fresh file beside it, which then takes its place in one step
// while the old file becomes the backup, so a failure or a kill at any moment
// leaves the old file or the new one whole, and a whole backup.
#include <cstring>

#include "diag/report.h"
#include "messages.h"
#include "passwd/filter.h"
#include "passwd/passwd.h"

// The longest login name; a longer one would not fit the -s field.
static const unsigned kLoginNameLimit = sizeof(UserRequest::sshLoginName) - 1;

// How long a run waits for another run on the same passwd file.
static const unsigned kLockWaitMs = 10000;

// The blocks the filter reads and writes: large enough that a file of a
// million lines costs a few hundred system calls, small enough to keep the
// run's memory small.
enum { kFilterBlockSize = 1024 * 1024 };

// Every name the rewrite makes: the passwd path (at most 259 characters, or
// a link's target) with a suffix.
enum { kRewritePathSize = 1024 };

const char* LoginName(const UserRequest* request, const AccountInfo* account) {
    return request->sshLoginName[0] != '\0' ? request->sshLoginName : account->accountName;
}

int CheckLoginName(const char* loginName) {
    if (strlen(loginName) > kLoginNameLimit) {
        PrintError(MSG_LOGIN_TOO_LONG, kLoginNameLimit, loginName);
        return 1;
    }
    if (!FitsPasswdField(loginName)) {
        PrintError(MSG_LOGIN_INVALID, loginName);
        return 1;
    }
    return 0;
}

// Writes the new file: the lines of `source` that stay, then the entry,
// committed to the disk. 0, or the error code of the step that failed (the
// new file is then gone).
static DWORD WriteNewFile(RtFile* source, const char* newPath, const char* loginName,
                          const AccountInfo* account, const HomeLocation* home) {
    // Static: more than a small stack should carry, and one rewrite runs at a
    // time.
    static char in[kFilterBlockSize];
    static char out[kFilterBlockSize];
    const FilterBuffers buffers = {in, sizeof in, out, sizeof out};
    char entry[kPasswdEntrySize];
    if (FormatPasswdEntry(entry, sizeof entry, loginName, account, home) == 0) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    RtFile* fresh = RtCreateNewFile(newPath);
    if (fresh == NULL) {
        return GetLastError();
    }
    DWORD error = FilterPasswdLines(source, fresh, loginName, entry, &buffers);
    if (error == 0) {
        error = RtCommitFile(fresh);
    }
    DWORD closed = RtCloseFile(fresh);
    if (error == 0) {
        error = closed;
    }
    if (error != 0) {
        RtRemoveFile(newPath);
    }
    return error;
}

// The rewrite, under the lock: `target` is the passwd file to replace.
static DWORD RewriteLocked(const char* target, const char* newPath, const char* backupPath,
                           const char* loginName, const AccountInfo* account,
                           const HomeLocation* home) {
    // Before anything is made: the replace would pass over the attribute.
    if (RtIsReadOnly(target)) {
        return ERROR_FILE_READ_ONLY;
    }
    // A missing passwd file is made again from the backup it left.
    const char* sourcePath = target;
    RtFile* source = RtOpenFile(target);
    if (source == NULL && GetLastError() == ERROR_FILE_NOT_FOUND) {
        sourcePath = backupPath;
        source = RtOpenFile(backupPath);
    }
    if (source == NULL) {
        return GetLastError();
    }
    DWORD error = WriteNewFile(source, newPath, loginName, account, home);
    RtCloseFile(source);
    if (error == 0) {
        error = RtReplaceFile(target, newPath, sourcePath == target ? backupPath : NULL);
        if (error != 0) {
            RtRemoveFile(newPath);
        }
    }
    return error;
}

// Rewrites the passwd file under its lock. 0 when the file took the entry,
// or the Windows error code of the step that failed: WAIT_TIMEOUT when
// another run kept it busy, ERROR_FILE_READ_ONLY for a read-only file.
static DWORD WriteIntoPasswdFile(const char* passwdPath, const char* loginName,
                                 const AccountInfo* account, const HomeLocation* home) {
    char target[kRewritePathSize];
    char backupPath[kRewritePathSize];
    char lockPath[kRewritePathSize];
    char newPath[kRewritePathSize];
    // A fixed name for the new file: runs are serialised by the lock, so
    // what a killed run left under it is simply replaced.
    if (!RtResolvePath(passwdPath, target, sizeof target) ||
        !FormatText(backupPath, sizeof backupPath, "%s.bak", target) ||
        !FormatText(lockPath, sizeof lockPath, "%s.lock", target) ||
        !FormatText(newPath, sizeof newPath, "%s.acctmap-new", target)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    RtLockHandle lock = RT_NO_LOCK;
    DWORD error = RtLockFile(lockPath, kLockWaitMs, &lock);
    if (error == 0) {
        error = RewriteLocked(target, newPath, backupPath, loginName, account, home);
        RtUnlockFile(lock);
    }
    return error;
}

int RewritePasswdFile(const UserRequest* request, const AccountInfo* account,
                      const HomeLocation* home) {
    const char* loginName = LoginName(request, account);
    const char* passwdPath = request->passwdFile;
    if (passwdPath[0] != '\0') {
        // Scripts rely on the status and on the entry reaching standard
        // output; the administrator learns why on standard error.
        DWORD error = WriteIntoPasswdFile(passwdPath, loginName, account, home);
        if (error == 0) {
            return 0;
        }
        if (error == WAIT_TIMEOUT) {
            PrintError(MSG_PASSWD_BUSY, passwdPath);
        } else if (error == ERROR_FILE_READ_ONLY) {
            PrintError(MSG_PASSWD_READ_ONLY, passwdPath);
        } else {
            PrintError(MSG_PASSWD_NOT_REWRITTEN, passwdPath, static_cast<unsigned long>(error));
        }
    }
    WritePasswdEntry(RtStdout(), loginName, account, home);
    return 0;
}
