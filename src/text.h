// Bounded text over fixed-size buffers, and the byte rules of names and
// passwd lines. Each copy always leaves a NUL-terminated text in the
// destination and reports whether the whole text fit; the caller decides
// what a cut text means.
#pragma once

#include <cstddef>
#include <cstdint>

#include "printf_format.h"

// Copies `source` into `destination` (capacity `size` bytes, terminator
// included). Returns true when it fit; otherwise the text is cut to fit.
bool CopyText(char* destination, size_t size, const char* source);

// Appends `source` to the text already in `destination`.
bool AppendText(char* destination, size_t size, const char* source);

// printf-style formatting into `destination`.
bool FormatText(char* destination, size_t size, const char* format, ...) ACCTMAP_PRINTF(3, 4);

// A to Z folded to a to z, every other byte as it is. Only a byte that is a
// character of its own may be folded: see FoldCharByte.
inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// The lead bytes of the ANSI code page's double-byte characters (932, 936,
// 949, 950), one bit each. A lead byte and the byte after it are one
// character, and that second byte may be a backslash or a letter. Empty for the
// single-byte code pages and for UTF-8, none of whose bytes above 0x7F
// stands for an ASCII character.
struct LeadBytes {
    uint64_t bits[4];
    bool any;
};

// The table of `ranges`: first and last lead byte of each range, as the
// system lists them, ended by a pair of zeros or by `count` bytes.
LeadBytes MakeLeadBytes(const unsigned char* ranges, size_t count);

inline bool IsLeadByte(const LeadBytes* lead, unsigned char c) {
    return lead->any && (lead->bits[c / 64] >> (c % 64) & 1) != 0;
}

// The number of bytes of the character at `text` (NUL-terminated): 2 for a
// lead byte with a byte after it, else 1.
inline size_t CharBytes(const LeadBytes* lead, const char* text) {
    return IsLeadByte(lead, static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

// Folds the bytes of ANSI text one by one as names are compared: `*trail`
// carries, from one byte to the next, that the byte is the second of a
// double-byte character, which is never folded. Start with it false.
inline unsigned char FoldCharByte(const LeadBytes* lead, unsigned char c, bool* trail) {
    if (*trail) {
        *trail = false;
        return c;
    }
    *trail = IsLeadByte(lead, c);
    return FoldAscii(c);
}

// "X:" at the start of a path, X an ASCII letter: a drive, in ANSI text or
// in UTF-16.
template <typename C>
bool HasDriveLetter(const C* path) {
    const unsigned long first = static_cast<unsigned long>(path[0]);
    return ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) && path[1] == C(':');
}

// A byte that moves a terminal's cursor or ends a line: 0x00-0x1F and DEL.
inline bool IsControlByte(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A byte that would end a passwd field (':') or line (a control byte). Read
// byte by byte, whatever the code page: no double-byte code page has such a
// byte as the second of a character (they start at 0x40), so a byte-wise
// look finds every one and takes no character for one.
inline bool BreaksPasswdLine(unsigned char c) {
    return c == ':' || IsControlByte(c);
}

// True when no byte of the text breaks a passwd line.
bool FitsPasswdField(const char* text);
