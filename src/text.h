// Bounded text over fixed-size buffers, and the byte rules of names and
// passwd lines. Each copy always leaves a NUL-terminated text in the
// destination and reports whether the whole text fit; the caller decides
// what a cut text means.
#pragma once

#include <cstddef>

#include "platform/printf_format.h"

// Copies `source` into `destination` (capacity `size` bytes, terminator
// included). Returns true when it fit; otherwise the text is cut to fit.
bool CopyText(char* destination, size_t size, const char* source);

// Appends `source` to the text already in `destination`.
bool AppendText(char* destination, size_t size, const char* source);

// printf-style formatting into `destination`.
bool FormatText(char* destination, size_t size, const char* format, ...) ACCTMAP_PRINTF(3, 4);

// A to Z folded to a to z, every other byte as it is: how Windows compares
// names, independent of any locale or code page.
inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// A byte that moves a terminal's cursor or ends a line: 0x00-0x1F and DEL.
inline bool IsControlByte(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A byte that would end a passwd field (':') or line (a control byte).
inline bool BreaksPasswdLine(unsigned char c) {
    return c == ':' || IsControlByte(c);
}

// True when no byte of the text breaks a passwd line.
bool FitsPasswdField(const char* text);
