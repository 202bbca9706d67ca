// A line of the accounts file, read as the command line is read: the C
// runtime's words, the last occurrence of an option counting, only its
// second character read, each value refused when longer than its field.
#include <cstring>

#include "cli/acctmap.h"
#include "cli/batch.h"
#include "cli/words.h"
#include "diag/report.h"
#include "messages.h"

AccountsEncoding DetectAccountsEncoding(const char* bytes, size_t size, size_t* markLength) {
    if (size >= 3 && memcmp(bytes, "\xef\xbb\xbf", 3) == 0) {
        *markLength = 3;
        return kAccountsUtf8;
    }
    if (size >= 2 && memcmp(bytes, "\xff\xfe", 2) == 0) {
        *markLength = 2;
        return kAccountsUtf16;
    }
    *markLength = 0;
    return kAccountsAnsi;
}

AccountLineResult ReadAccountLine(const char* line, UserRequest* request) {
    size_t at = 0;
    while (IsWordBlank(line[at])) {
        ++at;
    }
    if (line[at] == '\0' || line[at] == '#') {
        return kLineSkipped;
    }
    // As long as the line: no word outgrows it.
    char word[kAccountLineSize];
    char value[kAccountLineSize];
    while (NextWord(line, &at, word, sizeof word) != kNoMoreWords) {
        // The run's own options (-b, -f, -h) stay on the command line.
        if (word[0] != '-' || word[1] == '\0' || strchr("dpsu", word[1]) == NULL) {
            PrintError(MSG_LINE_NOT_OPTION, word);
            return kLineRefused;
        }
        if (NextWord(line, &at, value, sizeof value) == kNoMoreWords) {
            PrintError(MSG_LINE_NO_VALUE, word);
            return kLineRefused;
        }
        if (StoreOption(request, word[1], value) != kOptionStored) {
            return kLineRefused;
        }
    }
    if (request->windowsUserName[0] == '\0') {
        PrintError(MSG_NO_USER);
        return kLineRefused;
    }
    return kLineAccount;
}
