#include "home/home_paths.h"

#include <cstring>

#include "home/home.h"
#include "text.h"

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The rewrite compares single-byte A-Z without case (Windows ignores the
// case of other letters too; a mount directory and a profile path spelt with
// other capitals are left alone), and either slash separates components; the
// second byte of a double-byte character is neither (`*trail`: see
// FoldCharByte).
static char FoldPathChar(const LeadBytes* lead, char c, bool* trail) {
    if (c == '/' && !*trail) {
        return '\\';
    }
    return static_cast<char>(FoldCharByte(lead, static_cast<unsigned char>(c), trail));
}

// Length of the mount directory without its trailing separators, found from
// the start: a backslash may be the second byte of a character (表 is 95 5C
// in code page 932).
static size_t MountLength(const char* mountDirectory, const LeadBytes* lead) {
    size_t length = 0;
    for (size_t at = 0; mountDirectory[at] != '\0';) {
        const size_t bytes = CharBytes(lead, mountDirectory + at);
        at += bytes;
        if (bytes == 2 || !IsSeparator(mountDirectory[at - 1])) {
            length = at;
        }
    }
    return length;
}

bool JoinFallbackDirectory(const char* mountDirectory, const LeadBytes* lead, char* out,
                           size_t size) {
    if (size == 0) {
        return false;
    }
    size_t length = MountLength(mountDirectory, lead);
    if (length >= size) {
        CopyText(out, size, mountDirectory);
        return false;
    }
    memcpy(out, mountDirectory, length);
    out[length] = '\0';
    return AppendText(out, size, "\\" FALLBACK_DIRECTORY_NAME);
}

bool RewriteUnderHome(const char* path, const char* mountDirectory, const LeadBytes* lead,
                      char* out, size_t size) {
    size_t length = MountLength(mountDirectory, lead);
    // Both texts are read a character at a time in step: while they agree,
    // a lead byte in one is the same lead byte in the other.
    bool trail = false;
    for (size_t i = 0; i < length; ++i) {
        bool mountTrail = trail;
        if (path[i] == '\0' || FoldPathChar(lead, path[i], &trail) !=
                                   FoldPathChar(lead, mountDirectory[i], &mountTrail)) {
            return CopyText(out, size, path);
        }
    }
    // A mount directory that ends in a lone lead byte has the path's next
    // byte as its second half: that is no separator.
    if (trail || (path[length] != '\0' && !IsSeparator(path[length]))) {
        return CopyText(out, size, path);
    }
    return FormatText(out, size, "/home%s", path + length);
}

bool IsDriveRelative(const char* path) {
    return HasDriveLetter(path) && path[2] != '\0' && !IsSeparator(path[2]);
}

bool ToPosixPath(const char* windowsPath, const LeadBytes* lead, char* posixPath, size_t size) {
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
    // A backslash that is the second byte of a character stays.
    while (fits && *rest != '\0') {
        const size_t bytes = CharBytes(lead, rest);
        if (used + bytes >= size) {
            fits = false;
            break;
        }
        posixPath[used++] = (bytes == 1 && *rest == '\\') ? '/' : rest[0];
        if (bytes == 2) {
            posixPath[used++] = rest[1];
        }
        rest += bytes;
    }
    posixPath[used] = '\0';
    return fits;
}
