// A line of the accounts file, read as the command line is read: split into
// the C runtime's words in UTF-16, each word then made ANSI, the last
// occurrence of an option counting, only its second character read, each
// value refused when longer than its field.
#include <cstring>
#include <cwchar>

#include "cli/acctmap.h"
#include "cli/batch.h"
#include "cli/words.h"
#include "diag/report.h"
#include "messages.h"

bool IsUtf8(const char* bytes, size_t size) {
    const unsigned char* c = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = c + size;
    while (c < end) {
        if (*c < 0x80) {
            ++c;
            continue;
        }
        // The sequence's length, and the range its second byte takes, which
        // rules out overlong forms, surrogates and what lies past U+10FFFF.
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (*c >= 0xC2 && *c <= 0xDF) {
            length = 2;
        } else if (*c >= 0xE0 && *c <= 0xEF) {
            length = 3;
            low = *c == 0xE0 ? 0xA0 : 0x80;
            high = *c == 0xED ? 0x9F : 0xBF;
        } else if (*c >= 0xF0 && *c <= 0xF4) {
            length = 4;
            low = *c == 0xF0 ? 0x90 : 0x80;
            high = *c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (static_cast<size_t>(end - c) < length || c[1] < low || c[1] > high) {
            return false;
        }
        for (size_t i = 2; i < length; ++i) {
            if (c[i] < 0x80 || c[i] > 0xBF) {
                return false;
            }
        }
        c += length;
    }
    return true;
}

AccountsEncoding DetectAccountsEncoding(const char* bytes, size_t size, size_t* markLength) {
    *markLength = 0;
    if (size >= 3 && memcmp(bytes, "\xef\xbb\xbf", 3) == 0) {
        *markLength = 3;
        return kAccountsUtf8;
    }
    if (size >= 2 && memcmp(bytes, "\xff\xfe", 2) == 0) {
        *markLength = 2;
        return kAccountsUtf16;
    }
    bool beyondAscii = false;
    for (size_t i = 0; i < size && !beyondAscii; ++i) {
        beyondAscii = static_cast<unsigned char>(bytes[i]) >= 0x80;
    }
    return beyondAscii && IsUtf8(bytes, size) ? kAccountsUtf8 : kAccountsAnsi;
}

// A word of the line as ANSI text in `out` (`size` bytes); false after the
// message. A character the code page cannot hold is refused, never replaced
// by a look-alike that could name another account.
static bool WordToAnsi(const WordConversion* conversion, const wchar_t* word, char* out,
                       size_t size) {
    const AnsiResult result = conversion->toAnsi(word, out, size);
    if (result == kAnsiUnmappable) {
        PrintError(MSG_LINE_UNMAPPABLE, conversion->codePage);
    } else if (result == kAnsiTooLong) {
        PrintError(MSG_LINE_TOO_LONG, static_cast<unsigned>(kAccountLineSize - 1));
    }
    return result == kAnsiExact;
}

AccountLineResult ReadAccountLine(const wchar_t* line, const WordConversion* conversion,
                                  UserRequest* request) {
    if (IsBlankOrComment(line, wcslen(line))) {
        return kLineSkipped;
    }
    // As long as the line: no word outgrows it. Each UTF-16 unit takes at
    // most three ANSI bytes (UTF-8).
    static wchar_t word[kAccountLineUnits];
    static char option[3 * kAccountLineUnits];
    static char value[3 * kAccountLineUnits];
    size_t at = 0;
    while (NextWord(line, &at, word, kAccountLineUnits) != kNoMoreWords) {
        if (!WordToAnsi(conversion, word, option, sizeof option)) {
            return kLineRefused;
        }
        // The run's own options (-b, -f, -h) stay on the command line.
        if (option[0] != '-' || option[1] == '\0' || strchr("dpsu", option[1]) == NULL) {
            PrintError(MSG_LINE_NOT_OPTION, option);
            return kLineRefused;
        }
        if (NextWord(line, &at, word, kAccountLineUnits) == kNoMoreWords) {
            PrintError(MSG_LINE_NO_VALUE, option);
            return kLineRefused;
        }
        if (!WordToAnsi(conversion, word, value, sizeof value) ||
            StoreOption(request, option[1], value) != kOptionStored) {
            return kLineRefused;
        }
    }
    return RequireUser(request) != 0 ? kLineRefused : kLineAccount;
}
