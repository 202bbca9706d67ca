// The line filter of the passwd rewrite: every line but those of one login
// name, each carried over whole, however long it is.
#include "passwd/filter.h"

#include <cstring>

#include "platform/bounded_text.h"

// Lines go over in pieces of this size, so no line is ever held whole.
static const size_t kPieceSize = 1024;

// Login names are at most 255 characters; one more tells a longer name apart.
static const size_t kNameCompareLimit = 256;

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

// Bytes of a stream taken a block at a time: a read call per byte would
// cost more than all the rest of the rewrite.
struct ByteReader {
    FILE* stream;
    size_t position;
    size_t length;
    unsigned char bytes[16384];
};

static void StartReader(ByteReader* reader, FILE* stream) {
    reader->stream = stream;
    reader->position = 0;
    reader->length = 0;
}

// False at the end of the stream (or on a read error, which ferror tells).
static bool HaveBytes(ByteReader* reader) {
    if (reader->position < reader->length) {
        return true;
    }
    reader->position = 0;
    reader->length = fread(reader->bytes, 1, sizeof reader->bytes, reader->stream);
    return reader->length > 0;
}

// Reads up to `size` bytes of the current line, stopping after its line feed.
// A CR LF pair comes in as one line feed; every other byte, Ctrl-Z and NUL
// included, is data (a text-mode read would stop at the Ctrl-Z and drop every
// later line). `*lineEnded` tells whether the line ends with this piece.
static size_t ReadPiece(ByteReader* reader, char* piece, size_t size, bool* lineEnded) {
    size_t length = 0;
    *lineEnded = false;
    while (length < size) {
        if (!HaveBytes(reader)) {
            *lineEnded = true;
            break;
        }
        // Everything up to the next CR or LF goes over as it is.
        const unsigned char* run = reader->bytes + reader->position;
        size_t count = reader->length - reader->position;
        if (count > size - length) {
            count = size - length;
        }
        const void* lineFeed = memchr(run, '\n', count);
        if (lineFeed != NULL) {
            count = static_cast<size_t>(static_cast<const unsigned char*>(lineFeed) - run);
        }
        const void* carriageReturn = memchr(run, '\r', count);
        if (carriageReturn != NULL) {
            count = static_cast<size_t>(static_cast<const unsigned char*>(carriageReturn) - run);
        }
        memcpy(piece + length, run, count);
        length += count;
        reader->position += count;
        if (length == size || reader->position == reader->length) {
            continue;
        }
        char c = static_cast<char>(reader->bytes[reader->position++]);
        if (c == '\r' && HaveBytes(reader) && reader->bytes[reader->position] == '\n') {
            ++reader->position;
            c = '\n';
        }
        piece[length++] = c;
        if (c == '\n') {
            *lineEnded = true;
            break;
        }
    }
    return length;
}

// Reads the rest of the current line, carrying it over to `target` unless
// that is NULL.
static bool PassRestOfLine(ByteReader* source, FILE* target, char* piece, bool lineEnded) {
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
static bool DecideNextLine(ByteReader* lookahead, const char* loginName, char* piece, bool* keep) {
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
    // Static: two blocks are more than a small stack should carry, and the
    // program runs one filter at a time.
    static ByteReader sourceReader;
    static ByteReader lookaheadReader;
    StartReader(&sourceReader, source);
    StartReader(&lookaheadReader, lookahead);
    char piece[kPieceSize];
    bool keep = false;
    while (DecideNextLine(&lookaheadReader, loginName, piece, &keep)) {
        if (!PassRestOfLine(&sourceReader, keep ? target : NULL, piece, false)) {
            return false;
        }
    }
    return ferror(source) == 0 && ferror(lookahead) == 0 && ferror(target) == 0;
}
