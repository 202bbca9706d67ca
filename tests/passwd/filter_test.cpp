// The line filter keeps its memory to its blocks, however long a line: a
// line of 50 MB streams through, whole, without the filter holding it. The
// login names fold single-byte letters only, in every code page, and a line
// with a lone CR stays wherever its CR falls.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "code_pages.h"
#include "memory_io.h"
#include "passwd/filter.h"

namespace {

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
    // A name of 50 MB, its ':' and the rest of the line, then a line of the
    // login name; held before the peak is taken, so that only the filter's
    // own memory could raise it.
    const std::string old = std::string(50u << 20, 'n') + ":1\nbob:2\n";
    MemorySource source = {&old, 0, old.size()};
    std::string tail;
    const FilterIo io = {&source, &tail, ReadMemory, SeekMemory, CountWritten};
    NameSlot slots[2];
    NameSet names;
    const LeadBytes lead = NoLeadBytes();
    InitNameSet(&names, slots, 2, &lead);
    uint32_t unused = 0;
    AddName(&names, "bob", 3, 0, &unused);
    const long before = PeakKilobytes();
    ASSERT_EQ(FilterPasswdLines(&io, &names, "\n-tail-", &buffers), 0u);
    EXPECT_EQ(tail.substr(tail.size() - 14), "nn:1\r\n\r\n-tail-");
    EXPECT_LT(PeakKilobytes() - before, 5 * 1024);
}

// Two names, and whether the set takes them for one in a single-byte code
// page and in a double-byte one: ア/ヂ (932), 丄/乤 (936).
TEST(NameSet, FoldsSingleByteLettersOnly) {
    const struct {
        std::string a, b;
        bool sameSingle, sameDouble;
    } pairs[] = {
        {kA, kDi, true, false},
        {"\x81\x41", "\x81\x61", true, false},
        {kA + "Bob", kA + "bOB", true, true},
        {"Bob" + kTable, "bOB" + kTable, true, true},
        {"\xc9", "\xe9", false, false},
    };
    for (const CodePage& page : AllCodePages()) {
        for (const auto& pair : pairs) {
            NameSlot slots[4];
            NameSet names;
            InitNameSet(&names, slots, 4, &page.lead);
            uint32_t tag = 0;
            ASSERT_EQ(AddName(&names, pair.a.data(), pair.a.size(), 1, &tag), kNameAdded);
            const bool same = page.lead.any ? pair.sameDouble : pair.sameSingle;
            EXPECT_EQ(HasName(&names, pair.b.data(), pair.b.size()), same) << page.number << pair.b;
            EXPECT_EQ(AddName(&names, pair.b.data(), pair.b.size(), 2, &tag),
                      same ? kNameTaken : kNameAdded)
                << page.number << pair.b;
        }
    }
}

// Lines of "root" go, but one with a CR that no LF follows: in a line, at the
// end of a block of 512 (the line then longer), or at the end of the file.
TEST(Filter, KeepsALineWithALoneCr) {
    const std::string x506(506, 'x');
    const struct {
        std::string old, kept;
    } rows[] = {
        {"root:1\rbob:2\rcarol:3\r", "root:1\rbob:2\rcarol:3\r"},
        {"root:1\r\nbob:2\n", "bob:2\r\n"},
        {"root:" + x506 + "\r\nbob:2", "bob:2"},
        {"root:" + x506 + "\ry\nbob:2", "root:" + x506 + "\ry\r\nbob:2"},
        {"root:" + x506 + "\r", "root:" + x506 + "\r"},
        {"root:" + x506 + x506 + "\rb:1\n", "root:" + x506 + x506 + "\rb:1\r\n"},
        {x506 + x506 + "\rb\n", x506 + x506 + "\rb\r\n"},
        {x506 + x506 + "\r\n", ""},
    };
    static char in[kFilterBlockMinimum];
    static char out[64];
    const FilterBuffers buffers = {in, sizeof in, out, sizeof out};
    const LeadBytes lead = NoLeadBytes();
    for (const auto& row : rows) {
        NameSlot slots[2];
        NameSet names;
        InitNameSet(&names, slots, 2, &lead);
        uint32_t unused = 0;
        AddName(&names, "root", 4, 0, &unused);
        MemorySource source = {&row.old, 0, row.old.size()};
        std::string written;
        const FilterIo io = MemoryIo(&source, &written);
        ASSERT_EQ(FilterPasswdLines(&io, &names, "\n-", &buffers), 0u);
        EXPECT_EQ(written, row.kept + "\r\n-") << row.old.substr(0, 20);
    }
}

}  // namespace
