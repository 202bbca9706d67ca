// System error reports against the simulated machine's message table.
#ifndef _WIN32

#include "diag/report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/sim/sim_machine.h"

namespace {

std::string Report(DWORD code, int line) {
    const std::string longText(5000, 'x');
    const std::string profile =
        "[messages]\n"
        "4000 = \"Custom %1 text.\\r\\n\"\n"
        "4001 = \"" +
        longText + "\\r\\n\"\n";
    char error[256];
    EXPECT_TRUE(SimLoadProfileText(profile.c_str(), NULL, error, sizeof error)) << error;
    FILE* capture = tmpfile();
    SimSetStandardStreams(1, fileno(capture));
    ReportSystemError(code, line);
    SimSetStandardStreams(1, 2);
    SimForgetMachine();
    std::string text;
    rewind(capture);
    int c;
    while ((c = fgetc(capture)) != EOF) {
        text += static_cast<char>(c);
    }
    fclose(capture);
    return text;
}

TEST(ReportSystemError, UsesTheSystemTextOrTheCode) {
    struct Case {
        DWORD code;
        int line;
        std::string expected;
    } cases[] = {
        // The system's own line end passes through the text-mode stream.
        {1332, 301,
         "acctmap (301): [1332] No mapping between account names and security IDs was "
         "done.\r\r\n"},
        // Insert markers are not expanded.
        {4000, 7, "acctmap (7): [4000] Custom %1 text.\r\r\n"},
        // No text, or one too long for the buffer: the code alone, no line end.
        {2221, 301, "acctmap (301): error 2221"},
        {4001, 301, "acctmap (301): error 4001"},
        {0xFFFFFFFFu, -1, "acctmap (-1): error 4294967295"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Report(c.code, c.line), c.expected) << c.code;
    }
}

}  // namespace

#endif
