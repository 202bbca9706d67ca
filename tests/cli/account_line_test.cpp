// The lines of an accounts file: how they are cut from the file and which
// options each gives, as the command line would read them.
#include <gtest/gtest.h>

#include <string>

#include "cli/batch.h"
#include "cli/words.h"
#include "text.h"

namespace {

struct LineRow {
    std::wstring line;
    AccountLineResult result;
    std::string fields;  // -u|-d|-s|-p after a line not refused; the domain "CORP" before it
    std::string err;
};

// Code page 932 as far as the rows need it: Latin-1 for the units it
// shares with ASCII, 表 (95 5C) and ア (83 41); nothing else.
AnsiResult To932(const wchar_t* word, char* out, size_t size) {
    std::string text;
    for (; *word != L'\0'; ++word) {
        if (*word == L'\u8868' || *word == L'\u30a2') {
            text += *word == L'\u8868' ? "\x95\x5c" : "\x83\x41";
        } else if (*word < 0x80) {
            text += static_cast<char>(*word);
        } else {
            return kAnsiUnmappable;
        }
    }
    return CopyText(out, size, text.c_str()) ? kAnsiExact : kAnsiTooLong;
}

const std::wstring k259(259, L'p');

// clang-format off
const LineRow kLineRows[] = {
    {L"-u jane -d SALES -s jdoe -p \"D:\\home\\Jane Doe\"", kLineAccount, "jane|SALES|jdoe|D:\\home\\Jane Doe", ""},
    {L"-u jane", kLineAccount, "jane|CORP||", ""},
    {L"\t -u a -u b -user c -d \"\"", kLineAccount, "c|||", ""},
    {L"-u \"a \\\"b\\\\\" -p C:\\x\\\\", kLineAccount, "a \"b\\|CORP||C:\\x\\\\", ""},
    {L"-u a -p " + k259, kLineAccount, "a|CORP||" + std::string(259, 'p'), ""},
    {L"-u a -p " + k259 + L"p", kLineRefused, "", "The value of -p is longer than 259 characters.\n"},
    // Split before it is made ANSI: the 5C of 表 escapes no quote.
    {L"-u root -p \"D:\\home\\\u8868\" -s j", kLineAccount, "root|CORP|j|D:\\home\\\x95\x5c", ""},
    {L"-u a -s \u30a2 -d \"\"", kLineAccount, "a||\x83\x41|", ""},
    {L"-u \u015cam", kLineRefused, "", "The line holds a character that code page 932 cannot hold.\n"},
    {L"", kLineSkipped, "|CORP||", ""},
    {L" \t ", kLineSkipped, "|CORP||", ""},
    {L"  # -u jane \u015c", kLineSkipped, "|CORP||", ""},
    {L"-u a -f C:\\passwd", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -f\n"},
    {L"-b x -u a", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -b\n"},
    {L"-h", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -h\n"},
    {L"-u a jane", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: jane\n"},
    {L"- a", kLineRefused, "", "Only -u, -d, -s and -p may stand on a line: -\n"},
    {L"-u a -s", kLineRefused, "", "The option -s has no value.\n"},
    {L"-d SALES -s jdoe", kLineRefused, "", "Specify which user to add with -u option\n"},
    {L"-u \"\"", kLineRefused, "", "Specify which user to add with -u option\n"},
};
// clang-format on

TEST(AccountLine, GivesTheOptionsTheCommandLineWould) {
    const WordConversion conversion = {To932, 932};
    for (const LineRow& row : kLineRows) {
        UserRequest request = {};
        CopyText(request.domainName, sizeof request.domainName, "CORP");
        testing::internal::CaptureStderr();
        const AccountLineResult result = ReadAccountLine(row.line.c_str(), &conversion, &request);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.err) << row.fields;
        EXPECT_EQ(result, row.result) << row.fields;
        if (result != kLineRefused) {
            EXPECT_EQ(std::string(request.windowsUserName) + "|" + request.domainName + "|" +
                          request.sshLoginName + "|" + request.homePath,
                      row.fields);
        }
    }
    // Characters, not code units: a surrogate pair is one.
    const char16_t pair[] = u"\xd83d\xde00\xd83dx";
    EXPECT_EQ(CountCharacters(pair, 4), 3u);
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
    // Without a mark: UTF-8 when it holds a byte above 0x7F and is valid
    // (no overlong form, surrogate, or code point past U+10FFFF) as a whole.
    {"-s \xc3\x85sa\n\xf0\x9f\x98\x80", "utf8", "-s \xc3\x85sa|\xf0\x9f\x98\x80"},
    {"-s \xc5sa", "ansi", "-s \xc5sa"},
    {"\xc3\x85\xed\xa0\x80", "ansi", "\xc3\x85\xed\xa0\x80"},
    {"\xc0\xaf", "ansi", "\xc0\xaf"},
    {"\xf4\x90\x80\x80", "ansi", "\xf4\x90\x80\x80"},
    {"\xe3\x81", "ansi", "\xe3\x81"},
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
