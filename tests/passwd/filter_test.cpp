// The rewrite's line filter over plain streams: which lines stay, and that
// every line that stays arrives whole, whatever its length or bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "passwd/filter.h"

namespace {

struct FilterCase {
    const char* name;
    std::string login;
    std::string input;
    std::string expected;
};

std::string Filter(const std::string& login, const std::string& input, bool* ok) {
    FILE* source = tmpfile();
    FILE* target = tmpfile();
    EXPECT_NE(source, nullptr);
    EXPECT_NE(target, nullptr);
    fwrite(input.data(), 1, input.size(), source);
    rewind(source);
    *ok = FilterPasswdLines(source, target, login.c_str());
    std::string output(static_cast<size_t>(ftell(target)), '\0');
    rewind(target);
    EXPECT_EQ(fread(&output[0], 1, output.size(), target), output.size());
    fclose(source);
    fclose(target);
    return output;
}

// Names the case in failure reports instead of dumping its bytes.
void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class PasswdFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(PasswdFilter, KeepsExactlyTheOtherNamedLines) {
    const FilterCase& c = GetParam();
    bool ok = false;
    std::string output = Filter(c.login, c.input, &ok);
    EXPECT_TRUE(ok);
    // Compared by size first: a failure on a 5000-byte line prints unreadably.
    ASSERT_EQ(output.size(), c.expected.size());
    EXPECT_EQ(output, c.expected);
}

const std::string kLong(5000, 'x');
const std::string kLongName(3000, 'n');
const std::string kBytes = std::string("alice:\x1a\n", 8) + std::string("carol:\0z\n", 9);

INSTANTIATE_TEST_SUITE_P(
    Lines, PasswdFilter,
    ::testing::Values(
        FilterCase{"CaseOfAsciiLettersOnly", "bob", "bob:1\nBOB:2\nbobby:3\nBob:4\nbo:5\n",
                   "bobby:3\nbo:5\n"},
        FilterCase{"AccentedLettersByteForByte", "b\xe9o", "b\xc9o:1\nb\xe9o:2\nB\xe9O:3\n",
                   "b\xc9o:1\n"},
        FilterCase{"DomainName", "SALES\\jdoe", "SALES\\jdoe:1\nsales\\JDOE:2\njdoe:3\n",
                   "jdoe:3\n"},
        FilterCase{"WholeTextBeforeFirstColonIsTheName", "bob",
                   "bob smith:1\nbob :2\n:3\nbob:x:bob\nalice:bob:\n",
                   "bob smith:1\nbob :2\n:3\n"
                   "alice:bob:\n"},
        FilterCase{"LinesWithoutColonVanish", "bob", "# comment\n\nalice:1\n   \nbob\ntail",
                   "alice:1\n"},
        FilterCase{"CrLfComesInAsLineFeed", "bob", "alice:1\r\nbob:2\r\ncarol:3",
                   "alice:1\ncarol:3"},
        FilterCase{"LoneCarriageReturnsAreData", "bob", "al\rice:1\r\r\nbob\r:2\n",
                   "al\rice:1\r\nbob\r:2\n"},
        FilterCase{"CtrlZAndNulAreData", "bob", kBytes + "bob:\x1a\n" + kBytes, kBytes + kBytes},
        FilterCase{"LastLineKeepsItsMissingLineFeed", "bob", "alice:1\nbob:2\ncarol:3",
                   "alice:1\ncarol:3"},
        FilterCase{"EmptyFile", "bob", "", ""},
        FilterCase{"LongLineOfTheLoginNameGoesWhole", "bob",
                   "bob:" + kLong + "\nalice:1\nBOB:" + kLong, "alice:1\n"},
        FilterCase{"LongLineOfAnotherNameStaysWhole", "bob",
                   "alice:" + kLong + "\r\nbob:1\ncarol:" + kLong,
                   "alice:" + kLong + "\ncarol:" + kLong},
        FilterCase{"NameLongerThanAPiece", "bob",
                   kLongName + ":" + kLong + "\n" + kLongName + "\nbob:1\n" + kLongName + ":end",
                   kLongName + ":" + kLong + "\n" + kLongName + ":end"},
        FilterCase{"CrLfSplitAcrossPieces", "bob",
                   "a:" + std::string(1022, 'y') + "\r\nb:" + std::string(1021, 'y') + "\r\nbob:1",
                   "a:" + std::string(1022, 'y') + "\nb:" + std::string(1021, 'y') + "\n"},
        FilterCase{"AtMost256CharactersCompared", std::string(255, 'a'),
                   std::string(255, 'A') + ":1\n" + std::string(256, 'a') + ":2\n" +
                       std::string(254, 'a') + ":3\n",
                   std::string(256, 'a') + ":2\n" + std::string(254, 'a') + ":3\n"}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

}  // namespace
