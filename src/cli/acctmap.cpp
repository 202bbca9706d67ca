#include "cli/acctmap.h"

#include <cstring>

#include "account/account.h"
#include "cli/legacy.h"
#include "home/home.h"
#include "passwd/passwd.h"
#include "platform/bounded_text.h"
#include "platform/platform.h"

void PrintUsage(FILE* stream) {
    fputs(
        "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home path> "
        "-f <passwd file>\n",
        stream);
}

int RunNtWorker(const UserRequest* request) {
    AccountInfo account;
    memset(&account, 0, sizeof account);
    if (ResolveAccount(request, &account) != 0) {
        return 1;
    }
    HomeLocation home;
    memset(&home, 0, sizeof home);
    if (ResolveHomeDirectory(request, &account, &home) != 0) {
        // The record is the account services'; give it back on this path too.
        NetApiBufferFree(account.accountRecord);
        return 1;
    }
    return RewritePasswdFile(request, &account, &home);
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

int AcctmapMain(int argc, char** argv) {
    UserRequest request;
    memset(&request, 0, sizeof request);

    const bool ntMode = GetVersion() < 0x80000000u;
    const char* programName = (argc > 0 && argv[0] != NULL) ? argv[0] : "acctmap";

    if (ntMode && argc < 2) {
        PrintUsage(RtStderr());
        return 1;
    }

    int position = 1;
    while (position < argc) {
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
        const char letter = word[1];
        size_t size = 0;
        char* field = OptionField(&request, letter, &size);
        if (field == NULL) {
            fprintf(RtStderr(), "Try `%s -h' for more information.\n", programName);
            return 1;
        }
        if (position + 1 >= argc) {
            fprintf(RtStderr(), "Try `%s --help' for more information.\n", programName);
            return 1;
        }
        // Refused rather than cut: a cut name or path would quietly name
        // another account or file.
        if (!CopyText(field, size, argv[position + 1])) {
            fprintf(RtStderr(), "The value of -%c is longer than %d characters.\n", letter,
                    static_cast<int>(size) - 1);
            return 1;
        }
        position += 2;
    }

    if (!ntMode) {
        ListLegacyEntries(request.homePath);
        return 0;
    }
    if (request.windowsUserName[0] == '\0') {
        fputs("Specify which user to add with -u option\n", RtStderr());
        return 1;
    }
    return RunNtWorker(&request);
}
