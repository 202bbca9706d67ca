// Puts the NT-mode entry into the passwd file, or on standard output when the
// file cannot take it. The file is never truncated in place: the new content
// goes to a file beside it, which then takes its place in one step, so a
// failure or a kill at any moment leaves the old file or the new one whole.
#include <cstring>

#include "passwd/filter.h"
#include "passwd/passwd.h"
#include "platform/bounded_text.h"
#include "platform/platform.h"

static const size_t kLoginNameLimit = 255;

// How long a run waits for another run on the same passwd file.
static const unsigned kLockWaitMs = 10000;

// True when the text holds a byte that would end a field or the line.
static bool HasBreakingByte(const char* text) {
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0'; ++c) {
        if (*c == ':' || *c < 0x20) {
            return true;
        }
    }
    return false;
}

// The fields that are written as they are must not split the entry or forge
// another one. 0 when they are fit, otherwise 1 after the message.
static int CheckEntryFields(const char* loginName, const HomeLocation* home) {
    if (strlen(loginName) > kLoginNameLimit) {
        fprintf(RtStderr(), "Login name is longer than 255 characters: %s\n", loginName);
        return 1;
    }
    if (HasBreakingByte(loginName)) {
        fprintf(RtStderr(), "Invalid character in login name: %s\n", loginName);
        return 1;
    }
    if (HasBreakingByte(home->posixPath)) {
        fprintf(RtStderr(), "Invalid character in home directory: %s\n", home->posixPath);
        return 1;
    }
    return 0;
}

// Writes the passwd file anew from its backup, without the login name's lines
// and with the entry at the end. True when the entry is in the file; false
// when the passwd file is as it was (no file of this run is then left over).
static bool ReplacePasswdFile(const char* passwdPath, const char* backupPath, const char* newPath,
                              const char* loginName, const AccountInfo* account,
                              const HomeLocation* home) {
    // An older backup must not stand in for a passwd file that could not be
    // copied: the entries made since would be lost. Only a missing passwd
    // file is rebuilt from the backup.
    if (!CopyFileA(passwdPath, backupPath, FALSE) && RtPathExists(passwdPath)) {
        return false;
    }
    // Read as bytes: a text-mode read would stop at a Ctrl-Z and drop every
    // later line.
    FILE* backup = RtOpenFile(backupPath, "rb");
    FILE* lookahead = backup != NULL ? RtOpenFile(backupPath, "rb") : NULL;
    // The replacing rename would pass over the read-only attribute.
    FILE* fresh = NULL;
    if (lookahead != NULL && !RtIsReadOnly(passwdPath)) {
        fresh = RtOpenFile(newPath, "w");
    }
    bool written = fresh != NULL && FilterPasswdLines(backup, lookahead, fresh, loginName);
    if (backup != NULL) {
        fclose(backup);
    }
    if (lookahead != NULL) {
        fclose(lookahead);
    }
    if (fresh == NULL) {
        return false;
    }
    if (written) {
        WritePasswdEntry(fresh, loginName, account, home);
        written = ferror(fresh) == 0 && RtCommitFile(fresh) == 0;
    }
    if (fclose(fresh) != 0) {
        written = false;
    }
    if (written && RtReplaceFile(passwdPath, newPath, backupPath) == 0) {
        return true;
    }
    RtRemoveFile(newPath);
    return false;
}

// Rewrites the passwd file under its lock; the entry goes on standard output
// whenever the file cannot take it.
static void WriteIntoPasswdFile(const char* passwdPath, const char* loginName,
                                const AccountInfo* account, const HomeLocation* home) {
    // The passwd path has at most 259 characters, so every suffix fits.
    char backupPath[512];
    char lockPath[512];
    char newPath[512];
    FormatText(backupPath, sizeof backupPath, "%s.bak", passwdPath);
    FormatText(lockPath, sizeof lockPath, "%s.lock", passwdPath);
    // A fixed name: runs are serialised by the lock, so what a killed run
    // left under it is simply replaced.
    FormatText(newPath, sizeof newPath, "%s.acctmap-new", passwdPath);

    RtLockHandle lock = RT_NO_LOCK;
    RtLockResult locked = RtLockFile(lockPath, kLockWaitMs, &lock);
    if (locked == RT_LOCK_BUSY) {
        fprintf(RtStderr(), "Passwd file %s is busy; the entry was not written to it.\n",
                passwdPath);
        WritePasswdEntry(RtStdout(), loginName, account, home);
        return;
    }
    // Going on without the lock could let two runs lose each other's
    // entries. A lock file that cannot be made mostly means a folder that
    // takes no new file, and then no new passwd file could be made either.
    if (locked != RT_LOCK_TAKEN) {
        WritePasswdEntry(RtStdout(), loginName, account, home);
        return;
    }
    if (!ReplacePasswdFile(passwdPath, backupPath, newPath, loginName, account, home)) {
        WritePasswdEntry(RtStdout(), loginName, account, home);
    }
    RtUnlockFile(lock);
}

int RewritePasswdFile(const UserRequest* request, AccountInfo* account, const HomeLocation* home) {
    const char* loginName =
        request->sshLoginName[0] != '\0' ? request->sshLoginName : account->accountName;
    int status = CheckEntryFields(loginName, home);
    if (status == 0) {
        if (request->passwdFile[0] == '\0') {
            WritePasswdEntry(RtStdout(), loginName, account, home);
        } else {
            WriteIntoPasswdFile(request->passwdFile, loginName, account, home);
        }
    }
    if (account->accountRecord != NULL) {
        NetApiBufferFree(account->accountRecord);
        account->accountRecord = NULL;
    }
    return status;
}
