// The program's entry on Windows: the run mode from the system's version,
// then the NT-mode worker or the legacy listing.
#include <cstdio>
#include <cstring>

#include "account/account.h"
#include "cli/acctmap.h"
#include "cli/legacy.h"
#include "diag/report.h"
#include "home/home.h"
#include "messages.h"
#include "passwd/passwd.h"
#include "platform/platform.h"

int RunNtWorker(const UserRequest* request) {
    AccountInfo account;
    memset(&account, 0, sizeof account);
    if (ResolveAccount(request, &account) != 0) {
        return 1;
    }
    // A login name that cannot be written is refused before the home stage
    // can create a directory for it.
    int status = CheckLoginName(LoginName(request, &account));
    HomeLocation home;
    memset(&home, 0, sizeof home);
    if (status == 0) {
        status = ResolveHomeDirectory(request, &account, &home);
    }
    if (status == 0) {
        status = RewritePasswdFile(request, &account, &home);
    }
    // The record is the account services': it goes back once, on every path.
    NetApiBufferFree(account.accountRecord);
    return status;
}

static int Run(int argc, char** argv) {
    UserRequest request;
    memset(&request, 0, sizeof request);
    const bool ntMode = GetVersion() < 0x80000000u;
    int status = ReadOptions(argc, argv, ntMode, &request);
    if (status != kGoOn) {
        return status;
    }
    if (!ntMode) {
        ListLegacyEntries(request.homePath);
        return 0;
    }
    if (request.accountsFile[0] != '\0') {
        return RunBatch(&request);
    }
    if (request.windowsUserName[0] == '\0') {
        PrintError(MSG_NO_USER);
        return 1;
    }
    return RunNtWorker(&request);
}

int main(int argc, char** argv) {
    int status = Run(argc, argv);
    // Output is only out once flushed: a run whose entry was lost on the way
    // (a full disk behind ">>") must not say that it succeeded.
    if ((fflush(stdout) != 0 || ferror(stdout)) && status == 0) {
        PrintError(MSG_STDOUT_FAILED);
        status = 1;
    }
    fflush(stderr);
    return status;
}
