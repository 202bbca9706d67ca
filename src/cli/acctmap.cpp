#include "cli/acctmap.h"

#include <cstring>

#include "account/account.h"
#include "cli/legacy.h"
#include "diag/report.h"
#include "home/home.h"
#include "messages.h"
#include "passwd/passwd.h"

// ReadOptions' result when the words leave the run to go on.
static const int kGoOn = -1;

void PrintUsage(FILE* stream) {
    fputs(MSG_USAGE, stream);
}

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

// Where an option letter's value goes; NULL for a letter that takes none.
static char* OptionField(UserRequest* request, char letter, size_t* size) {
    switch (letter) {
        case 'd':
            *size = sizeof request->domainName;
            return request->domainName;
        case 'f':
            *size = sizeof request->passwdFile;
            return request->passwdFile;
        case 'p':
            *size = sizeof request->homePath;
            return request->homePath;
        case 's':
            *size = sizeof request->sshLoginName;
            return request->sshLoginName;
        case 'u':
            *size = sizeof request->windowsUserName;
            return request->windowsUserName;
        default:
            return NULL;
    }
}

// Reads the option words into `request`: kGoOn, or the exit status of a run
// that the words end (an error, or -h).
static int ReadOptions(int argc, char** argv, bool ntMode, UserRequest* request) {
    const char* programName = (argc > 0 && argv[0] != NULL) ? argv[0] : "acctmap";
    if (ntMode && argc < 2) {
        PrintUsage(RtStderr());
        return 1;
    }
    for (int position = 1; position < argc; position += 2) {
        const char* word = argv[position];
        if (word[0] != '-') {
            PrintUsage(RtStderr());
            return 1;
        }
        // The long-help hint sends users to --help, so it has to work.
        if (word[1] == 'h' || strcmp(word, "--help") == 0) {
            PrintUsage(RtStdout());
            return 0;
        }
        size_t size = 0;
        char* field = OptionField(request, word[1], &size);
        if (field == NULL) {
            PrintError(MSG_SHORT_HINT, programName);
            return 1;
        }
        if (position + 1 >= argc) {
            PrintError(MSG_LONG_HINT, programName);
            return 1;
        }
        // Refused rather than cut: a cut name or path would quietly name
        // another account or file.
        if (!CopyText(field, size, argv[position + 1])) {
            PrintError(MSG_VALUE_TOO_LONG, word[1], static_cast<unsigned>(size - 1));
            return 1;
        }
    }
    return kGoOn;
}

int AcctmapMain(int argc, char** argv) {
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
    if (request.windowsUserName[0] == '\0') {
        PrintError(MSG_NO_USER);
        return 1;
    }
    return RunNtWorker(&request);
}
