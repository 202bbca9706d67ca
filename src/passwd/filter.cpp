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

// True when the name (the `length` bytes before a line's first ':') is the
// login name: ASCII letters in either case, every other byte exactly.
static bool NameMatches(const char* name, size_t length, const char* loginName) {
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

// Reads the rest of the current line, carrying it over to `target` unless
// that is NULL.
static bool PassRestOfLine(FILE* source, FILE* target, char* piece, bool lineEnded) {
    while (!lineEnded) {
        size_t length = ReadPiece(source, piece, kPieceSize, &lineEnded);
        if (target != NULL && fwrite(piece, 1, length, target) != length) {
            return false;
        }
    }
    return true;
}

// Reads the next line of `lookahead` and tells whether it stays. False at
// the end of the file.
static bool DecideNextLine(FILE* lookahead, const char* loginName, char* piece, bool* keep) {
    bool lineEnded = false;
    size_t length = ReadPiece(lookahead, piece, kPieceSize, &lineEnded);
    if (length == 0) {
        return false;
    }
    const char* colon = static_cast<const char*>(memchr(piece, ':', length));
    if (colon != NULL) {
        *keep = !NameMatches(piece, static_cast<size_t>(colon - piece), loginName);
    } else {
        // Whatever name the line has is longer than any login name, so it
        // stays exactly when a ':' comes later.
        *keep = false;
        while (!lineEnded && !*keep) {
            length = ReadPiece(lookahead, piece, kPieceSize, &lineEnded);
            *keep = memchr(piece, ':', length) != NULL;
        }
    }
    PassRestOfLine(lookahead, NULL, piece, lineEnded);
    return true;
}

bool FilterPasswdLines(FILE* source, FILE* lookahead, FILE* target, const char* loginName) {
    char piece[kPieceSize];
    bool keep = false;
    while (DecideNextLine(lookahead, loginName, piece, &keep)) {
        if (!PassRestOfLine(source, keep ? target : NULL, piece, false)) {
            return false;
        }
    }
    return ferror(source) == 0 && ferror(lookahead) == 0 && ferror(target) == 0;
}
