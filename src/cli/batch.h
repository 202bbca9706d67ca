// The accounts file of -b: its encodings, its lines, and the options each
// line gives. The rules here call no Windows service; batch_win.cpp reads
// the file and resolves the accounts.
#pragma once

#include <cstddef>

#include "request.h"

// The longest line, line end excluded, and the terminator.
enum { kAccountLineSize = 4096 };

// As Notepad saves text: the ANSI code page, or UTF-8 or UTF-16LE behind a
// byte-order mark.
enum AccountsEncoding { kAccountsAnsi, kAccountsUtf8, kAccountsUtf16 };

// The file's encoding by its first bytes; `*markLength` gets the mark's.
AccountsEncoding DetectAccountsEncoding(const char* bytes, size_t size, size_t* markLength);

// The next line of `text` (`units` code units, a Ctrl-Z at its end not
// counted) at `*at`: its start and its length without its LF or CR LF.
// False when no line is left.
template <typename C>
bool NextAccountsLine(const C* text, size_t units, size_t* at, size_t* start, size_t* length) {
    if (units > 0 && text[units - 1] == C(0x1a)) {
        --units;
    }
    if (*at >= units) {
        return false;
    }
    size_t end = *at;
    while (end < units && text[end] != C('\n')) {
        ++end;
    }
    *start = *at;
    *length = end - *at;
    if (*length > 0 && text[end - 1] == C('\r')) {
        --*length;
    }
    *at = end < units ? end + 1 : end;
    return true;
}

enum AccountLineResult { kLineAccount, kLineSkipped, kLineRefused };

// The options of one line (NUL-terminated ANSI text) into `request`, which
// holds what the command line gives every line: kLineAccount; kLineSkipped
// for a blank or comment line; kLineRefused after the message.
AccountLineResult ReadAccountLine(const char* line, UserRequest* request);
