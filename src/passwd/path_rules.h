// What a full Windows path may hold: the rules that decide, before the file
// system is asked, whether a passwd path names one file and no other.
#pragma once

#include <cstddef>

#include "text.h"

// Length of the part of a full path that names no file: "C:\",
// "\\server\share\", "\\?\C:\", "\\.\C:\" or "\\?\UNC\server\share\".
template <typename C>
size_t PathRootLength(const C* path) {
    auto startsWith = [path](const char* prefix) {
        size_t i = 0;
        for (; prefix[i] != '\0'; ++i) {
            if (path[i] != C(prefix[i])) {
                return false;
            }
        }
        return true;
    };
    size_t at = 0;
    int names = 0;  // server and share names still to skip
    if (startsWith("\\\\?\\UNC\\")) {
        at = 8;
        names = 2;
    } else if (startsWith("\\\\?\\") || startsWith("\\\\.\\")) {
        at = 4;
    } else if (startsWith("\\\\")) {
        at = 2;
        names = 2;
    }
    if (names == 0) {
        return HasDriveLetter(path + at) ? at + (path[at + 2] == C('\\') ? 3 : 2) : at;
    }
    for (; names > 0 && path[at] != C(0); --names) {
        while (path[at] != C(0) && path[at] != C('\\')) {
            ++at;
        }
        if (path[at] == C('\\')) {
            ++at;
        }
    }
    return at;
}

// A character no Windows file name holds: the file system's wildcards
// (* ? and < > ", which it reads as DOS_STAR, DOS_QM and DOS_DOT), '|', a
// ':' (it would name a stream), and control characters.
template <typename C>
bool IsForbiddenInName(C c) {
    return static_cast<unsigned long>(c) < 0x20 || c == C('<') || c == C('>') || c == C('"') ||
           c == C('|') || c == C('?') || c == C('*') || c == C(':');
}

// True when nothing after the root of the full path `path` could match or
// name another file than the one it spells.
template <typename C>
bool NamesOneFile(const C* path) {
    for (const C* c = path + PathRootLength(path); *c != C(0); ++c) {
        if (IsForbiddenInName(*c)) {
            return false;
        }
    }
    return true;
}
