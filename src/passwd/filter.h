// The line filter of the passwd rewrite: which lines of the old file go into
// the new one, and with which line ends. It reads and writes through the
// functions it is given, so it works on files and on memory alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "passwd/name_set.h"

// Where the filter's bytes come from and go to. Each function returns 0, or
// the Windows error code of the step that failed.
struct FilterIo {
    void* source;
    void* target;
    // Up to `size` bytes; `*got` is 0 at the end of the source.
    uint32_t (*read)(void* source, char* buffer, size_t size, size_t* got);
    // Back to `offset` bytes from the source's start.
    uint32_t (*seek)(void* source, uint64_t offset);
    uint32_t (*write)(void* target, const char* data, size_t size);
};

// The filter's work space: lines are found in blocks read into `in`; the
// kept ones are gathered in `out`, which goes to the target in one write
// when full. Any sizes from kFilterBlockMinimum serve; larger ones cost
// fewer system calls.
struct FilterBuffers {
    char* in;
    size_t inSize;
    char* out;
    size_t outSize;
};
enum { kFilterBlockMinimum = 512 };

// ERROR_INVALID_PARAMETER: buffers below the minimum.
enum { kFilterBadBuffers = 87 };

// Writes to the target the lines of the source but those without a ':' and
// those whose name is in `names`, each whole however long, and then `tail` (the
// entry). A line that holds a CR not followed by a LF is kept, whatever its
// name. A line feed of a kept line that no CR precedes goes out as CR LF,
// as does every line feed of `tail`; all other bytes go out as they are.
// Returns 0, or the error code of the read or write that failed.
uint32_t FilterPasswdLines(const FilterIo* io, const NameSet* names, const char* tail,
                           const FilterBuffers* buffers);
