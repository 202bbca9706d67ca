// Command-line words as the C runtime splits them, for the wide command line
// and for the lines of an accounts file alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/words.h"

namespace {

// The words of `line`, "|" between them; a word that did not fit `size`
// is marked "!".
template <typename C>
std::string Split(const std::basic_string<C>& line, size_t size, bool program) {
    std::string joined;
    const char* separator = "";
    size_t at = 0;
    std::vector<C> word(size + 1, C('#'));
    for (WordResult r;
         (r = NextWord(line.c_str(), &at, word.data(), size, program)) != kNoMoreWords;
         program = false) {
        EXPECT_EQ(word[size], C('#'));  // never past the buffer
        joined += separator +
                  std::string(word.data(), word.data() + std::char_traits<C>::length(word.data()));
        joined += r == kWordTooLong ? "!" : "";
        separator = "|";
    }
    return joined;
}

TEST(NextWord, SplitsAsTheRuntime) {
    const struct {
        const char* line;
        bool program;  // word 0 is the program's path
        const char* words;
    } cases[] = {
        {"  a\tb  ", false, "a|b"},
        {"\"a b c\" d e", false, "a b c|d|e"},
        {"\"ab\\\"c\" \"\\\\\" d", false, "ab\"c|\\|d"},
        {"a\\\\\\b d\"e f\"g h", false, "a\\\\\\b|de fg|h"},
        {"a\\\\\\\"b c d", false, "a\\\"b|c|d"},
        {"a\\\\\\\\\"b c\" d e", false, "a\\\\b c|d|e"},
        // A doubled quote in a group: a quote, and the group ends.
        {"a\"b\"\" c d", false, "ab\"|c|d"},
        {"\"\"\"\" x", false, "\" x"},
        {"\"\" x", false, "|x"},
        {"\"open to the end", false, "open to the end"},
        {"-p \"D:\\home\\Jane Doe\"", false, "-p|D:\\home\\Jane Doe"},
        {"end\\", false, "end\\"},
        // The program's path: quotes group, backslashes are only letters.
        {"\"C:\\Program Files\\a.exe\" -u x", true, "C:\\Program Files\\a.exe|-u|x"},
        {"C:\\t\\a\\\"b c", true, "C:\\t\\a\\b c"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Split(std::string(c.line), 64, c.program), c.words) << c.line;
        const std::string text(c.line);
        EXPECT_EQ(Split(std::wstring(text.begin(), text.end()), 64, c.program), c.words) << c.line;
    }
    // A word that does not fit is cut and said so, its neighbours whole.
    EXPECT_EQ(Split(std::string("abcdef \"g h\" ij"), 4, false), "abc!|g h|ij");
    EXPECT_EQ(Split(std::string("abc"), 1, false), "!");
}

}  // namespace
