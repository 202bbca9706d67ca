// The line filter of the passwd rewrite: which lines of the old file go into
// the new one, and with which line ends.
#pragma once

#include "platform/platform.h"

// The filter's work space: lines are found in blocks read into `in`; the
// kept ones are gathered in `out`, which goes to the new file in one write
// when full. Any sizes from kFilterBlockMinimum serve; larger ones cost
// fewer system calls.
struct FilterBuffers {
    char* in;
    size_t inSize;
    char* out;
    size_t outSize;
};
enum { kFilterBlockMinimum = 512 };

// Writes to `target` the lines of `source` but those without a ':' and those
// named `loginName`, each whole however long, and then `tail` (the entry).
// A line feed of a kept line that no CR precedes goes out as CR LF, as does
// every line feed of `tail`; all other bytes go out as they are. Returns 0,
// or the Windows error code of the read or write that failed.
DWORD FilterPasswdLines(RtFile* source, RtFile* target, const char* loginName, const char* tail,
                        const FilterBuffers* buffers);
