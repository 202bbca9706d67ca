// The line filter of the passwd rewrite: every line but those of one login
// name, each carried over whole, however long it is.
#include "passwd/filter.h"

#include <cstring>

// Lines go over in pieces of this size, so no line is ever held whole.
static const size_t kPieceSize = 1024;

// Login names are at most 255 characters; one more tells a longer name apart.
static const size_t kNameCompareLimit = 256;

static int FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool PasswdNameMatches(const char* name, size_t length, const char* loginName) {
    const unsigned char* login = reinterpret_cast<const unsigned char*>(loginName);
    for (size_t i = 0; i < kNameCompareLimit; ++i) {
        bool nameEnded = i >= length;
        bool loginEnded = login[i] == '\0';
        if (nameEnded || loginEnded) {
            return nameEnded && loginEnded;
        }
        if (FoldAscii(static_cast<unsigned char>(name[i])) != FoldAscii(login[i])) {
            return false;
        }
    }
    return true;
}

// Reads up to `size` bytes of the current line, stopping after its line feed.
// A CR LF pair comes in as one line feed; every other byte, Ctrl-Z and NUL
// included, is data (a text-mode read would stop at the Ctrl-Z and drop every
// later line). `*lineEnded` tells whether the line ends with this piece.
static size_t ReadPiece(FILE* source, char* piece, size_t size, bool* lineEnded) {
    size_t length = 0;
    *lineEnded = false;
    while (length < size) {
        int c = getc(source);
        if (c == EOF) {
            *lineEnded = true;
            break;
        }
        if (c == '\r') {
            int next = getc(source);
            if (next == '\n') {
                c = '\n';
            } else if (next != EOF) {
                ungetc(next, source);
            }
        }
        piece[length++] = static_cast<char>(c);
        if (c == '\n') {
            *lineEnded = true;
            break;
        }
    }
    return length;
}

// Carries the rest of the current line over to `target`, or skips it when
// `target` is NULL.
static bool PassRestOfLine(FILE* source, FILE* target, char* piece, bool lineEnded) {
    while (!lineEnded) {
        size_t length = ReadPiece(source, piece, kPieceSize, &lineEnded);
        if (target != NULL && fwrite(piece, 1, length, target) != length) {
            return false;
        }
    }
    return true;
}

bool FilterPasswdLines(FILE* source, FILE* target, const char* loginName) {
    char piece[kPieceSize];
    for (;;) {
        fpos_t lineStart;
        bool positioned = fgetpos(source, &lineStart) == 0;
        bool lineEnded = false;
        size_t length = ReadPiece(source, piece, sizeof piece, &lineEnded);
        if (length == 0) {
            break;
        }
        const char* colon = static_cast<const char*>(memchr(piece, ':', length));
        bool keep = false;
        if (colon != NULL) {
            keep = !PasswdNameMatches(piece, static_cast<size_t>(colon - piece), loginName);
        } else {
            // Whatever name the line has is longer than any login name, so it
            // stays exactly when a ':' comes later; look ahead, then go back
            // to copy it from its start.
            while (!lineEnded && !keep) {
                length = ReadPiece(source, piece, sizeof piece, &lineEnded);
                keep = memchr(piece, ':', length) != NULL;
            }
            if (keep) {
                if (!positioned || fsetpos(source, &lineStart) != 0) {
                    return false;
                }
                length = ReadPiece(source, piece, sizeof piece, &lineEnded);
            }
        }
        if (keep && fwrite(piece, 1, length, target) != length) {
            return false;
        }
        if (!PassRestOfLine(source, keep ? target : NULL, piece, lineEnded)) {
            return false;
        }
    }
    return ferror(source) == 0 && ferror(target) == 0;
}
