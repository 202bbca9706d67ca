// One account's way to its entry, the same for a single run, a line of an
// accounts file and a listed account.
#include <cstring>

#include "account/account.h"
#include "cli/acctmap.h"
#include "home/home.h"
#include "passwd/passwd.h"
#include "platform/ansi.h"
#include "platform/platform.h"

size_t AccountEntry(const UserRequest* request, const ListedAccount* listed, char* entry,
                    size_t size) {
    AccountInfo account;
    memset(&account, 0, sizeof account);
    int status = ResolveAccount(request, listed, &account);
    // A login name that cannot be written is refused before the home stage
    // can create a directory for it.
    const char* loginName = LoginName(request, &account);
    if (status == 0) {
        status = CheckLoginName(loginName);
    }
    HomeLocation home;
    memset(&home, 0, sizeof home);
    if (status == 0) {
        status = ResolveHomeDirectory(request, &account, &home);
    }
    size_t length = 0;
    if (status == 0) {
        // The SID's text lives in a buffer that the next call overwrites.
        const char* sidText = account.sidFound ? SidToText(account.sid) : "";
        length = FormatPasswdEntry(entry, size, loginName, &account, sidText, &home);
    }
    // The record is the account services': it goes back once, on every path.
    NetApiBufferFree(account.accountRecord);
    return length;
}

int RunNtWorker(const UserRequest* request) {
    char entry[kPasswdEntrySize];
    // The entry's buffer holds every field at its largest.
    const size_t length = AccountEntry(request, NULL, entry, sizeof entry);
    if (length == 0) {
        return 1;
    }
    NameSlot slots[2];
    NameSet logins;
    InitNameSet(&logins, slots, 2, AnsiLeadBytes());
    uint32_t unused = 0;
    AddName(&logins, entry + 1, EntryLoginLength(entry), 0, &unused);
    return WriteEntries(request->passwdFile, &logins, entry, length);
}
