// System error reports against the simulated machine's message table.
#ifndef _WIN32

#include "diag/report.h"

#include <string>

#include "support/run_acctmap.h"

namespace {

class ReportSystemErrorTest : public SimMachineTest {};

TEST_F(ReportSystemErrorTest, UsesTheSystemTextOrTheCode) {
    const struct {
        DWORD code;
        int line;
        std::string expected;
    } cases[] = {
        // Insert markers are not expanded; the system's own line end passes
        // through the text-mode stream.
        {4000, 7, "acctmap (7): [4000] Custom %1 text.\r\r\n"},
        // No text, or one too long for the buffer: the code alone, no line end.
        {2221, 301, "acctmap (301): error 2221"},
        {4001, 301, "acctmap (301): error 4001"},
        {0xFFFFFFFFu, -1, "acctmap (-1): error 4294967295"},
    };
    for (const auto& c : cases) {
        Load("[messages]\n4000 = \"Custom %1 text.\\r\\n\"\n4001 = \"" + std::string(5000, 'x') +
             "\\r\\n\"\n");
        ReportSystemError(c.code, c.line);
        EXPECT_EQ(Stderr(), c.expected) << c.code;
    }
}

}  // namespace

#endif
