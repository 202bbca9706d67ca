// The lines of an accounts file: how they are cut from the file and which
// options each gives, as the command line would read them.
#include <gtest/gtest.h>

#include <string>

#include "cli/batch.h"
#include "text.h"

namespace {

struct LineRow {
    std::string line;
    AccountLineResult result;
    std::string fields;  // -u|-d|-s|-p after a line not refused; the domain "CORP" before it
    std::string err;
};

const std::string k259(259, 'p');

// clang-format off
const LineRow kLineRows[] = {
    {"-u jane -d SALES -s jdoe -p \"D:\\home\\Jane Doe\"", kLineAccount, "jane|SALES|jdoe|D:\\home\\Jane Doe", ""},
    {"-u jane", kLineAccount, "jane|CORP||", ""},
    {"\t -u a -u b -user c -d \"\"", kLineAccount, "c|||", ""},
    {"-u \"a \\\"b\\\\\" -p C:\\x\\\\", kLineAccount, "a \"b\\|CORP||C:\\x\\\\", ""},
    {"-u a -p " + k259, kLineAccount, "a|CORP||" + k259, ""},
    {"-u a -p " + k259 + "p", kLineRefused, "", "The value of -p is longer than 259 characters.\n"},
    {"", kLineSkipped, "|CORP||", ""},
    {" \t ", kLineSkipped, "|CORP||", ""},
    {"  # -u jane", kLineSkipped, "|CORP||", ""},
    {"-u a -f C:\\passwd", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -f\n"},
    {"-b x -u a", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -b\n"},
    {"-h", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -h\n"},
    {"-u a jane", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: jane\n"},
    {"- a", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -\n"},
    {"-u a -s", kLineRefused, "", "The option -s has no value.\n"},
    {"-d SALES -s jdoe", kLineRefused, "", "Specify which user to add with -u option\n"},
    {"-u \"\"", kLineRefused, "", "Specify which user to add with -u option\n"},
};
// clang-format on

TEST(AccountLine, GivesTheOptionsTheCommandLineWould) {
    for (const LineRow& row : kLineRows) {
        UserRequest request = {};
        CopyText(request.domainName, sizeof request.domainName, "CORP");
        testing::internal::CaptureStderr();
        const AccountLineResult result = ReadAccountLine(row.line.c_str(), &request);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.err) << row.line;
        EXPECT_EQ(result, row.result) << row.line;
        if (result != kLineRefused) {
            EXPECT_EQ(std::string(request.windowsUserName) + "|" + request.domainName + "|" +
                          request.sshLoginName + "|" + request.homePath,
                      row.fields)
                << row.line;
        }
    }
}

// The file's text, its encoding by its mark, and its lines joined by '|'.
const std::string kFileRows[][3] = {
    {"a\r\nb\nc", "ansi", "a|b|c"},
    {"a\r\n\r\nb\r\n", "ansi", "a||b"},
    {"a\r\r\nb\r", "ansi", "a\r|b"},
    {"a\r\n\x1a", "ansi", "a"},
    {"a\x1a", "ansi", "a"},
    {"\x1a\x1a", "ansi", "\x1a"},
    {"a\x1a\nb", "ansi", "a\x1a|b"},
    {"\xef\xbb\xbf-u x\r\n", "utf8", "-u x"},
    {"\xef\xbb", "ansi", "\xef\xbb"},
    {"\xff\xfe", "utf16", ""},
    {"", "ansi", ""},
};

TEST(AccountLine, CutFromTheFileAtLfOrCrLf) {
    for (const auto& row : kFileRows) {
        size_t mark = 0;
        const AccountsEncoding encoding =
            DetectAccountsEncoding(row[0].data(), row[0].size(), &mark);
        EXPECT_EQ(encoding == kAccountsUtf8    ? "utf8"
                  : encoding == kAccountsUtf16 ? "utf16"
                                               : "ansi",
                  row[1])
            << row[0];
        std::string lines;
        size_t at = 0, start = 0, length = 0;
        const std::string text = row[0].substr(mark);
        while (NextAccountsLine(text.data(), text.size(), &at, &start, &length)) {
            lines += (lines.empty() && start == 0 ? "" : "|") + text.substr(start, length);
        }
        EXPECT_EQ(lines, row[2]) << row[0];
    }
}

}  // namespace
