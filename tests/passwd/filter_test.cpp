// The line filter keeps its memory to its blocks, however long a line: a
// line of 50 MB streams through, whole, without the filter holding it.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>

#include "passwd/filter.h"

namespace {

const size_t kLineLength = 50u << 20;

// A name of kLineLength bytes, its ':' and the rest of the line, made as it
// is read; then a line of the login name.
struct LongLine {
    size_t at = 0;
    size_t end = kLineLength + 3;
};

uint32_t ReadLongLine(void* context, char* buffer, size_t size, size_t* got) {
    LongLine* line = static_cast<LongLine*>(context);
    *got = 0;
    for (; *got < size && line->at < line->end + 6; ++*got, ++line->at) {
        const size_t at = line->at;
        buffer[*got] = at < kLineLength ? 'n'
                       : at < line->end ? ":1\n"[at - kLineLength]
                                        : "bob:2\n"[at - line->end];
    }
    return 0;
}

uint32_t SeekLongLine(void* context, uint64_t offset) {
    static_cast<LongLine*>(context)->at = offset;
    return 0;
}

// Counts what is written and keeps its last bytes.
uint32_t CountWritten(void* context, const char* data, size_t size) {
    std::string* tail = static_cast<std::string*>(context);
    tail->append(data, size);
    if (tail->size() > 64) {
        tail->erase(0, tail->size() - 64);
    }
    return 0;
}

long PeakKilobytes() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(Filter, StreamsALongLineWithinItsBlocks) {
    static char in[1 << 16];
    static char out[1 << 16];
    const FilterBuffers buffers = {in, sizeof in, out, sizeof out};
    LongLine line;
    std::string tail;
    const FilterIo io = {&line, &tail, ReadLongLine, SeekLongLine, CountWritten};
    NameSlot slots[2];
    NameSet names;
    InitNameSet(&names, slots, 2);
    uint32_t unused = 0;
    AddName(&names, "bob", 3, 0, &unused);
    const long before = PeakKilobytes();
    ASSERT_EQ(FilterPasswdLines(&io, &names, "\n-tail-", &buffers), 0u);
    EXPECT_EQ(tail.substr(tail.size() - 14), "nn:1\r\n\r\n-tail-");
    EXPECT_LT(PeakKilobytes() - before, 5 * 1024);
}

}  // namespace
