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
        {"\x83\x41", "\x83\x61", true, false},
        {"\x81\x41", "\x81\x61", true, false},
        {"\x83\x41"
         "Bob",
         "\x83\x41"
         "bOB",
         true, true},
        {"Bob\x95\x5c", "bOB\x95\x5c", true, true},
        {"\xc9", "\xe9", false, false},
    };
    std::vector<CodePage> pages = DoubleByteCodePages();
    pages.push_back({1252, NoLeadBytes()});
    for (const CodePage& page : pages) {
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

uint32_t ReadString(void* context, char* buffer, size_t size, size_t* got) {
    auto* source = static_cast<std::pair<std::string, size_t>*>(context);
    *got = std::min(size, source->first.size() - source->second);
    memcpy(buffer, source->first.data() + source->second, *got);
    source->second += *got;
    return 0;
}

uint32_t SeekString(void* context, uint64_t offset) {
    static_cast<std::pair<std::string, size_t>*>(context)->second = offset;
    return 0;
}

uint32_t AppendString(void* context, const char* data, size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return 0;
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
        std::pair<std::string, size_t> source = {row.old, 0};
        std::string written;
        const FilterIo io = {&source, &written, ReadString, SeekString, AppendString};
        ASSERT_EQ(FilterPasswdLines(&io, &names, "\n-", &buffers), 0u);
        EXPECT_EQ(written, row.kept + "\r\n-") << row.old.substr(0, 20);
    }
}

}  // namespace
