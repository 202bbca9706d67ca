// The option loop: every word of the command line into a UserRequest, or the
// one message that ends the run.
#include <cstring>

#include "cli/acctmap.h"
#include "diag/report.h"
#include "messages.h"
#include "text.h"

void PrintUsage(FILE* stream) {
    fputs(MSG_USAGE, stream);
}

// Where an option letter's value goes; NULL for a letter that takes none.
static char* OptionField(UserRequest* request, char letter, size_t* size) {
    switch (letter) {
        case 'b':
            *size = sizeof request->accountsFile;
            return request->accountsFile;
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

OptionResult StoreOption(UserRequest* request, char letter, const char* value) {
    size_t size = 0;
    char* field = OptionField(request, letter, &size);
    if (field == NULL) {
        return kOptionUnknown;
    }
    // Refused rather than cut: a cut name or path would quietly name
    // another account or file.
    if (!CopyText(field, size, value)) {
        PrintError(MSG_VALUE_TOO_LONG, letter, static_cast<unsigned>(size - 1));
        return kOptionTooLong;
    }
    return kOptionStored;
}

// Help as Windows users ask for it (/?) and as the long-help hint names it.
static bool AsksForHelp(const char* word) {
    return strcmp(word, "/?") == 0 || strcmp(word, "--help") == 0 || word[1] == 'h';
}

int ReadOptions(int argc, char** argv, bool ntMode, UserRequest* request) {
    const char* programName = (argc > 0 && argv[0] != NULL) ? argv[0] : "acctmap";
    if (ntMode && argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    // Each option takes the word after it as its value, but -a, which takes
    // none.
    for (int position = 1; position < argc; position += 2) {
        const char* word = argv[position];
        if (strcmp(word, "-a") == 0) {
            request->allAccounts = true;
            position -= 1;
            continue;
        }
        if (strcmp(word, "/?") != 0 && word[0] != '-') {
            PrintUsage(stderr);
            return 1;
        }
        if (AsksForHelp(word)) {
            PrintUsage(stdout);
            return 0;
        }
        if (strcmp(word, "--version") == 0) {
            printf(MSG_VERSION, ACCTMAP_VERSION);
            return 0;
        }
        size_t size = 0;
        if (OptionField(request, word[1], &size) == NULL) {
            PrintError(MSG_SHORT_HINT, programName);
            return 1;
        }
        if (position + 1 >= argc) {
            PrintError(MSG_LONG_HINT, programName);
            return 1;
        }
        if (StoreOption(request, word[1], argv[position + 1]) != kOptionStored) {
            return 1;
        }
    }
    return kGoOn;
}

int RequireUser(const UserRequest* request) {
    if (request->windowsUserName[0] == '\0') {
        PrintError(MSG_NO_USER);
        return 1;
    }
    return 0;
}
