// The line filter of the passwd rewrite, in one pass over the old file: each
// line is found in a block and judged by its name; the kept ones
// are gathered and written a block at a time. A line longer than a block
// streams through whole.
#include "passwd/filter.h"

#include <cstring>

#include "text.h"

namespace {

// Login names are at most 255 characters; one more tells a longer name apart.
const size_t kNameCompareLimit = 256;

// True when the name (the `length` bytes before a line's first ':') is the
// login name: ASCII letters in either case, every other byte exactly.
bool NameMatches(const char* name, size_t length, const char* loginName) {
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

// A line's first ':', or NULL: it comes within a few bytes of the line's
// start, so a plain loop finds it before a search call would have begun.
const char* FindColon(const char* line, size_t length) {
    for (const char* end = line + length; line < end; ++line) {
        if (*line == ':') {
            return line;
        }
    }
    return NULL;
}

// The new file's bytes, gathered before they are written. Kept lines that
// follow each other in the read block go over as one run, a large one
// straight from there.
struct Output {
    RtFile* file;
    char* bytes;
    size_t size;
    size_t used;
    const char* run;  // kept bytes in the read block, not yet put
    size_t runLength;
    bool afterCarriageReturn;  // the last byte kept was a CR
    DWORD error;
};

void Flush(Output* out) {
    if (out->error == 0 && out->used > 0) {
        out->error = RtWriteFile(out->file, out->bytes, out->used);
    }
    out->used = 0;
}

void Put(Output* out, const char* data, size_t length) {
    while (length > 0) {
        if (out->used == out->size) {
            Flush(out);
        }
        size_t room = out->size - out->used;
        size_t count = length < room ? length : room;
        memcpy(out->bytes + out->used, data, count);
        out->used += count;
        data += count;
        length -= count;
    }
}

// Puts the run of kept bytes, before the read block changes: all but a
// small run goes to the file as it lies, without a copy.
void PutRun(Output* out) {
    if (out->runLength >= out->size / 16) {
        Flush(out);
        if (out->error == 0) {
            out->error = RtWriteFile(out->file, out->run, out->runLength);
        }
    } else {
        Put(out, out->run, out->runLength);
    }
    out->runLength = 0;
}

// A piece of a kept line, up to and including its line feed if it has one:
// a line feed that no CR precedes goes out as CR LF.
void PutLine(Output* out, const char* piece, size_t length) {
    if (length == 0) {
        return;
    }
    const bool lineFeed = piece[length - 1] == '\n';
    const bool afterCarriageReturn =
        length > 1 ? piece[length - 2] == '\r' : out->afterCarriageReturn;
    if (out->run + out->runLength != piece) {
        PutRun(out);
        out->run = piece;
    }
    out->runLength += length;
    if (lineFeed && !afterCarriageReturn) {
        out->runLength -= 1;
        PutRun(out);
        Put(out, "\r\n", 2);
    }
    out->afterCarriageReturn = piece[length - 1] == '\r';
}

// Formatted text: every line feed goes out as CR LF, as the Windows runtime
// writes text.
void PutText(Output* out, const char* text) {
    PutRun(out);
    for (const char* lineFeed; (lineFeed = strchr(text, '\n')) != NULL; text = lineFeed + 1) {
        Put(out, text, static_cast<size_t>(lineFeed - text));
        Put(out, "\r\n", 2);
    }
    Put(out, text, strlen(text));
}

// Where the filter stands in the old file.
enum Mode {
    kLineStart,  // at the first byte of a line
    kKeeping,    // inside a line that stays
    kDropping,   // inside a line that goes
    kScanning,   // inside a line longer than a block with no ':' yet
};

}  // namespace

DWORD FilterPasswdLines(RtFile* source, RtFile* target, const char* loginName, const char* tail,
                        const FilterBuffers* buffers) {
    if (buffers->inSize < kFilterBlockMinimum || buffers->outSize == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    Output out = {target, buffers->out, buffers->outSize, 0, NULL, 0, false, 0};
    char* const in = buffers->in;
    const size_t size = buffers->inSize;
    size_t have = 0;       // bytes in `in`
    uint64_t offset = 0;   // where in[0] lies in the old file
    uint64_t scanned = 0;  // where the line being scanned begins
    bool ended = false;
    Mode mode = kLineStart;
    while (out.error == 0) {
        if (!ended && have < size) {
            size_t got = 0;
            DWORD error = RtReadFile(source, in + have, size - have, &got);
            if (error != 0) {
                return error;
            }
            ended = got == 0;
            have += got;
        }
        size_t position = 0;
        bool reread = false;
        while (position < have && !reread) {
            const char* at = in + position;
            const char* lineFeed = RtFindByte(at, have - position, '\n');
            const size_t length = lineFeed != NULL ? lineFeed + 1 - at : have - position;
            if (mode == kLineStart) {
                // A line begun but not ended is read on, unless it fills the
                // whole block: it is then judged by what the block holds.
                if (lineFeed == NULL && !ended && (position > 0 || have < size)) {
                    break;
                }
                const char* colon = FindColon(at, length);
                if (colon != NULL || lineFeed != NULL || ended) {
                    const bool keep = colon != NULL && !NameMatches(at, colon - at, loginName);
                    if (keep) {
                        PutLine(&out, at, length);
                    }
                    mode = lineFeed != NULL ? kLineStart : keep ? kKeeping : kDropping;
                } else {
                    mode = kScanning;
                    scanned = offset + position;
                }
            } else if (mode == kScanning) {
                // A ':' after a whole block gives a name longer than any login
                // name: the line stays, and is read again from its start.
                if (RtFindByte(at, length, ':') != NULL) {
                    DWORD error = RtSeekFile(source, scanned);
                    if (error != 0) {
                        return error;
                    }
                    offset = scanned;
                    have = 0;
                    ended = false;
                    mode = kKeeping;
                    reread = true;
                    continue;
                }
                mode = lineFeed != NULL ? kLineStart : kScanning;
            } else {
                if (mode == kKeeping) {
                    PutLine(&out, at, length);
                }
                mode = lineFeed != NULL ? kLineStart : mode;
            }
            position += length;
        }
        PutRun(&out);
        if (reread) {
            continue;
        }
        memmove(in, in + position, have - position);
        offset += position;
        have -= position;
        if (ended && have == 0) {
            break;
        }
    }
    out.afterCarriageReturn = false;
    PutText(&out, tail);
    Flush(&out);
    return out.error;
}
