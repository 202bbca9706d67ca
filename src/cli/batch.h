// The accounts file of -b: its encodings, its lines, and the options each
// line gives. The rules here call no Windows service; batch_win.cpp reads
// the file and resolves the accounts.
#pragma once

#include <cstddef>

#include "cli/words.h"
#include "platform/ansi.h"
#include "request.h"

// The longest line in characters, line end excluded, and the terminator.
enum { kAccountLineSize = 4096 };

// A line in UTF-16 code units: a character may take two.
enum { kAccountLineUnits = 2 * kAccountLineSize };

// As Notepad saves text: the ANSI code page; UTF-8 behind a byte-order mark,
// or without one (Notepad's default since Windows 10 version 1903); or
// UTF-16LE ("Unicode") behind its mark.
enum AccountsEncoding { kAccountsAnsi, kAccountsUtf8, kAccountsUtf16 };

// The file's encoding, and in `*markLength` its mark's length. Without a
// mark, a file that holds a byte above 0x7F and is UTF-8 as a whole is
// UTF-8, as Notepad guesses it; any other is ANSI.
AccountsEncoding DetectAccountsEncoding(const char* bytes, size_t size, size_t* markLength);

// True when the bytes are UTF-8 as the standard has it: no overlong form, no
// encoded surrogate, nothing beyond U+10FFFF.
bool IsUtf8(const char* bytes, size_t size);

// The next line of `text` (`units` code units, a Ctrl-Z at its end not
// counted) at `*at`: its start and its length without its LF or CR LF.
// False when no line is left. A LF or CR byte is never the second byte of
// a double-byte character, so bytes of any encoding but UTF-16 are cut
// alike.
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

// A blank line, or one whose first non-blank character is '#': skipped as
// its code units stand, before anything is decoded or checked. Blanks and
// '#' are characters of their own in every encoding.
template <typename C>
bool IsBlankOrComment(const C* line, size_t length) {
    size_t at = 0;
    while (at < length && IsWordBlank(line[at])) {
        ++at;
    }
    return at == length || line[at] == C('#');
}

// The characters of UTF-16 text: a surrogate pair is one.
template <typename C>
size_t CountCharacters(const C* text, size_t units) {
    size_t count = units;
    for (size_t i = 0; i + 1 < units; ++i) {
        const unsigned long unit = static_cast<unsigned long>(text[i]);
        const unsigned long next = static_cast<unsigned long>(text[i + 1]);
        if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            --count;
            ++i;
        }
    }
    return count;
}

// How the words of a line become ANSI text: the caller's conversion (on
// Windows without best fit) and the code page it makes, for the message.
struct WordConversion {
    AnsiResult (*toAnsi)(const wchar_t* word, char* out, size_t size);
    unsigned codePage;
};

enum AccountLineResult { kLineAccount, kLineSkipped, kLineRefused };

// The options of one line (NUL-terminated UTF-16, at most kAccountLineUnits
// units with the terminator) into `request`, which holds what the command
// line gives every line: kLineAccount; kLineSkipped for a blank or comment
// line; kLineRefused after the message. The line is split into words as the
// command line is, and only then is each word made ANSI.
AccountLineResult ReadAccountLine(const wchar_t* line, const WordConversion* conversion,
                                  UserRequest* request);
