#include <gtest/gtest.h>

#include <string>

#include "home/home.h"

namespace {

TEST(ToPosixPath, ConvertsEveryRow) {
    const struct {
        std::string windows;
        std::string posix;
    } cases[] = {
        {"D:\\Documents and Settings\\user1", "/cygdrive/D/Documents and Settings/user1"},
        {"e:\\home\\user1", "/cygdrive/e/home/user1"},
        {"D:", "/cygdrive/D"},
        {"D:\\", "/cygdrive/D/"},
        {"D:user1\\x", "/cygdrive/Duser1/x"},
        {"D:/a/b", "/cygdrive/D/a/b"},
        {"/home\\user1", "/home/user1"},
        {"/home/user1", "/home/user1"},
        {"1:\\x", "1:/x"},
        {":\\x", ":/x"},
        {"", ""},
        {"\\\\server\\share\\u", "//server/share/u"},
        {"C:\\a\\\\b\\", "/cygdrive/C/a//b/"},
        {"\xc4:\\x", "\xc4:/x"},
        {"C:\\a:b", "/cygdrive/C/a:b"},
    };
    for (const auto& c : cases) {
        char posix[260];
        EXPECT_TRUE(ToPosixPath(c.windows.c_str(), posix, sizeof posix)) << c.windows;
        EXPECT_EQ(posix, c.posix) << c.windows;
    }
}

TEST(ToPosixPath, RefusesWhatDoesNotFit) {
    // A drive path grows by nine characters: 250 of them still fit 259.
    const struct {
        std::string windows;
        bool fits;
    } cases[] = {{"C:" + std::string(248, 'x'), true},
                 {"C:" + std::string(249, 'x'), false},
                 {std::string(259, 'x'), true},
                 {std::string(260, 'x'), false}};
    for (const auto& c : cases) {
        char posix[261];
        posix[260] = '#';
        EXPECT_EQ(ToPosixPath(c.windows.c_str(), posix, 260), c.fits) << c.windows.size();
        EXPECT_EQ(posix[260], '#');
        EXPECT_LE(std::string(posix).size(), 259u);
    }
}

}  // namespace
