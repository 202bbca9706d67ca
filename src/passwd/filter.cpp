// The line filter of the passwd rewrite, in one pass over the old file: each
// line is found in a block and judged by its name; the kept ones
// are gathered and written a block at a time. A line longer than a block
// streams through whole.
#include "passwd/filter.h"

#include <cstring>

#include "platform/find_byte.h"

namespace {

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
    const FilterIo* io;
    char* bytes;
    size_t size;
    size_t used;
    const char* run;  // kept bytes in the read block, not yet put
    size_t runLength;
    bool afterCarriageReturn;  // the last byte kept was a CR
    uint32_t error;
};

void Flush(Output* out) {
    if (out->error == 0 && out->used > 0) {
        out->error = out->io->write(out->io->target, out->bytes, out->used);
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
            out->error = out->io->write(out->io->target, out->run, out->runLength);
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

// True when a CR among the `length` bytes at `piece` is followed by anything
// but a LF; `whole`: the piece ends its line, so a CR at its end is followed
// by nothing.
bool HoldsLoneCarriageReturn(const char* piece, size_t length, bool whole) {
    const char* end = piece + length;
    for (const char* cr = piece; (cr = FindByte(cr, end - cr, '\r')) != NULL; ++cr) {
        if (cr + 1 < end ? cr[1] != '\n' : whole) {
            return true;
        }
    }
    return false;
}

// Where the filter stands in the old file.
enum Mode {
    kLineStart,  // at the first byte of a line
    kKeeping,    // inside a line that stays
    kScanning,   // inside a line longer than a block, not yet judged
};

// The old file as the filter reads it: a block of it, and where that lies.
struct Input {
    char* bytes;
    size_t size;
    size_t have;       // bytes in `bytes`
    uint64_t offset;   // where bytes[0] lies in the old file
    uint64_t scanned;  // where the line being scanned begins
    bool named;        // the line being scanned had its ':' in its first block
    bool ended;
    Mode mode;
};

// Judges the lines of the block, putting the kept ones. Returns the bytes
// used up; `*reread` tells that the block is to be read again from the start
// of the line being scanned, which stays. A line stays when it has a ':'
// and its name is none of `names`, and also when it holds a CR that no LF
// follows (an old Mac editor's line ends): such a line is many entries or
// none, never the one a login name names.
size_t JudgeBlock(Input* in, Output* out, const NameSet* names, bool* reread) {
    size_t position = 0;
    while (position < in->have) {
        const char* at = in->bytes + position;
        const char* lineFeed = FindByte(at, in->have - position, '\n');
        const size_t length = lineFeed != NULL ? lineFeed + 1 - at : in->have - position;
        const bool whole = lineFeed != NULL || in->ended;
        if (in->mode == kLineStart) {
            // A line begun but not ended is read on, unless it fills the
            // whole block: it is then judged by what the block holds.
            if (!whole && (position > 0 || in->have < in->size)) {
                break;
            }
            const char* colon = FindColon(at, length);
            const bool keep = (colon != NULL && !HasName(names, at, colon - at)) ||
                              HoldsLoneCarriageReturn(at, length, whole);
            if (keep) {
                PutLine(out, at, length);
                in->mode = whole ? kLineStart : kKeeping;
            } else if (!whole) {
                // Its ':' (a name longer than any login name) or a lone CR
                // may still come.
                in->mode = kScanning;
                in->named = colon != NULL;
                in->scanned = in->offset + position;
            }
        } else if (in->mode == kScanning) {
            if (HoldsLoneCarriageReturn(at, length, whole) ||
                (!in->named && FindByte(at, length, ':') != NULL)) {
                *reread = true;
                return position;
            }
            in->mode = lineFeed != NULL ? kLineStart : kScanning;
        } else {
            PutLine(out, at, length);
            in->mode = lineFeed != NULL ? kLineStart : in->mode;
        }
        // A CR that ends a line being scanned is judged with the byte after
        // it, in the next block.
        if (in->mode == kScanning && !whole && at[length - 1] == '\r') {
            return position + length - 1;
        }
        position += length;
    }
    return position;
}

}  // namespace

uint32_t FilterPasswdLines(const FilterIo* io, const NameSet* names, const char* tail,
                           const FilterBuffers* buffers) {
    if (buffers->inSize < kFilterBlockMinimum || buffers->outSize == 0) {
        return kFilterBadBuffers;
    }
    Output out = {io, buffers->out, buffers->outSize, 0, NULL, 0, false, 0};
    Input in = {buffers->in, buffers->inSize, 0, 0, 0, false, false, kLineStart};
    while (out.error == 0) {
        if (!in.ended && in.have < in.size) {
            size_t got = 0;
            uint32_t error = io->read(io->source, in.bytes + in.have, in.size - in.have, &got);
            if (error != 0) {
                return error;
            }
            in.ended = got == 0;
            in.have += got;
        }
        bool reread = false;
        const size_t used = JudgeBlock(&in, &out, names, &reread);
        PutRun(&out);
        if (reread) {
            uint32_t error = io->seek(io->source, in.scanned);
            if (error != 0) {
                return error;
            }
            in.offset = in.scanned;
            in.have = 0;
            in.ended = false;
            in.mode = kKeeping;
            continue;
        }
        memmove(in.bytes, in.bytes + used, in.have - used);
        in.offset += used;
        in.have -= used;
        if (in.ended && in.have == 0) {
            break;
        }
    }
    out.afterCarriageReturn = false;
    PutText(&out, tail);
    Flush(&out);
    return out.error;
}
