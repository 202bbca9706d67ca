// The path arithmetic of the home stage.
#include <gtest/gtest.h>

#include <string>

#include "home/home.h"
#include "home/home_paths.h"

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
    // A drive path grows by nine characters: 250 of them still fit 259.
    for (const std::string& windows : {"C:" + std::string(248, 'x'), "C:" + std::string(249, 'x'),
                                       std::string(259, 'x'), std::string(260, 'x')}) {
        char posix[261];
        posix[260] = '#';
        const bool fits = windows.size() == 250 || windows.size() == 259;
        EXPECT_EQ(ToPosixPath(windows.c_str(), posix, 260), fits) << windows.size();
        EXPECT_EQ(posix[260], '#');
        EXPECT_LE(std::string(posix).size(), 259u);
    }
}

// The home stage's own table covers the common rows; these are the corners.
TEST(RewriteUnderHome, MatchesWholeComponentsOnly) {
    const struct {
        const char* path;
        const char* mount;
        const char* result;
    } cases[] = {
        {"D:/cygwin/home/user1", "D:\\cygwin\\home", "/home/user1"},
        {"D:\\cygwin\\home\\user1", "D:/cygwin/home//", "/home\\user1"},
        {"D:\\cyg", "D:\\cygwin\\home", "D:\\cyg"},
        {"C:\\tarnwick", "C:\\", "/home\\tarnwick"},
        // Only ASCII letters fold: other bytes must match exactly.
        {"D:\\\xc9t\xe9\\x", "D:\\\xe9t\xe9", "D:\\\xc9t\xe9\\x"},
    };
    char out[260];
    for (const auto& c : cases) {
        EXPECT_TRUE(RewriteUnderHome(c.path, c.mount, out, sizeof out)) << c.path;
        EXPECT_STREQ(out, c.result) << c.path << " under " << c.mount;
    }
    // A mount directory shorter than "/home" lengthens the path.
    const std::string path = "C:\\" + std::string(256, 'x');
    EXPECT_FALSE(RewriteUnderHome(path.c_str(), "C:", out, sizeof out));
}

}  // namespace
