#include "home/home_paths.h"

#include <cstring>

#include "home/home.h"
#include "text.h"

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Windows names ignore the case of ASCII letters, and either slash
// separates components.
static char FoldPathChar(char c) {
    if (c == '/') {
        return '\\';
    }
    return static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
}

// Length of the mount directory without its trailing separators.
static size_t MountLength(const char* mountDirectory) {
    size_t length = strlen(mountDirectory);
    while (length > 0 && IsSeparator(mountDirectory[length - 1])) {
        --length;
    }
    return length;
}

bool JoinFallbackDirectory(const char* mountDirectory, char* out, size_t size) {
    if (size == 0) {
        return false;
    }
    size_t length = MountLength(mountDirectory);
    if (length >= size) {
        CopyText(out, size, mountDirectory);
        return false;
    }
    memcpy(out, mountDirectory, length);
    out[length] = '\0';
    return AppendText(out, size, "\\" FALLBACK_DIRECTORY_NAME);
}

bool RewriteUnderHome(const char* path, const char* mountDirectory, char* out, size_t size) {
    size_t length = MountLength(mountDirectory);
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == '\0' || FoldPathChar(path[i]) != FoldPathChar(mountDirectory[i])) {
            return CopyText(out, size, path);
        }
    }
    if (path[length] != '\0' && !IsSeparator(path[length])) {
        return CopyText(out, size, path);
    }
    return FormatText(out, size, "/home%s", path + length);
}

// "X:" at the start of a path, X an ASCII letter.
static bool HasDriveLetter(const char* path) {
    const char first = path[0];
    const bool asciiLetter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    return asciiLetter && path[1] == ':';
}

bool IsDriveRelative(const char* path) {
    return HasDriveLetter(path) && path[2] != '\0' && !IsSeparator(path[2]);
}

bool ToPosixPath(const char* windowsPath, char* posixPath, size_t size) {
    if (size == 0) {
        return false;
    }
    const char* rest = windowsPath;
    bool fits = true;
    posixPath[0] = '\0';
    const char first = windowsPath[0];
    if (HasDriveLetter(windowsPath)) {
        fits = FormatText(posixPath, size, "/cygdrive/%c", first);
        rest += 2;
    }
    size_t used = strlen(posixPath);
    for (; fits && *rest != '\0'; ++rest) {
        if (used + 1 >= size) {
            fits = false;
            break;
        }
        posixPath[used++] = (*rest == '\\') ? '/' : *rest;
    }
    posixPath[used] = '\0';
    return fits;
}
