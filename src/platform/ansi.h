// Text between UTF-16 and the ANSI code page without "best fit": a character
// that the code page cannot hold is never turned into a look-alike (Ŝ into
// S, a fullwidth quote into a quote), which could name another account or
// file. Only the Windows build has it.
#pragma once

#include <cstddef>

#include "text.h"

enum AnsiResult {
    kAnsiExact,       // every character has its own form in the code page
    kAnsiUnmappable,  // at least one became `replacement` (U+FFFD in UTF-8)
    kAnsiTooLong,     // it did not fit; `out` holds the empty text
};

// `wide` (NUL-terminated) into `out` (`size` bytes), each character the code
// page cannot hold written as `replacement`.
AnsiResult WideToAnsi(const wchar_t* wide, char* out, size_t size, char replacement);

// ANSI text into UTF-16 (`units` code units); false when it does not fit.
bool AnsiToWide(const char* text, wchar_t* out, size_t units);

// The ANSI code page's number, for messages.
unsigned AnsiCodePage();

// The ANSI code page's lead bytes, asked of the system once a run.
const LeadBytes* AnsiLeadBytes();
