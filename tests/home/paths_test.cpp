// The Cygwin path of a Windows path at every buffer size around the result
// (the /home rewrite and the rest of the home stage: the Wine table).
#include <gtest/gtest.h>

#include <string>

#include "home/home.h"
#include "home/home_paths.h"

namespace {

TEST(ToPosixPath, ConvertsEveryRowAtEverySize) {
    const struct {
        std::string windows;
        std::string posix;
    } cases[] = {
        {"D:\\Documents and Settings\\user1", "/cygdrive/D/Documents and Settings/user1"},
        {"D:", "/cygdrive/D"},
        {"e:/a\\", "/cygdrive/e/a/"},
        {"/home\\user1", "/home/user1"},
        {"1:\\x", "1:/x"},
        {"", ""},
        {"\\\\server\\share\\u", "//server/share/u"},
        {"\xc4:\\x", "\xc4:/x"},
        {"C:" + std::string(248, 'x'), "/cygdrive/C" + std::string(248, 'x')},
    };
    // Exact when it fits, a cut prefix when not, never past the end.
    for (const auto& c : cases) {
        for (size_t size = 0; size <= c.posix.size() + 2; ++size) {
            std::string out(size + 1, '#');
            const bool fits = ToPosixPath(c.windows.c_str(), &out[0], size);
            const std::string got = size > 0 ? out.c_str() : "";
            ASSERT_TRUE(fits == (size > c.posix.size()) && out[size] == '#' &&
                        c.posix.compare(0, fits ? c.posix.size() : got.size(), got) == 0)
                << c.windows << " in " << size << ": " << got;
        }
    }
}

// The /home rewrite (whole components, ASCII case folded, either slash), the
// fallback join and the drive-relative test, each row at its exact size.
TEST(HomeRules, RewriteJoinAndDriveRelative) {
    const struct {
        const char* path;
        const char* mount;
        const char* rewritten;
    } rewrites[] = {
        {"D:\\cygwin\\home\\u1", "D:\\cygwin\\home", "/home\\u1"},
        {"d:\\CYGWIN\\HOME\\u1", "D:/cygwin/home//", "/home\\u1"},
        {"D:\\cygwin\\home", "D:\\cygwin\\home\\", "/home"},
        {"D:\\cygwin\\homework\\x", "D:\\cygwin\\home", "D:\\cygwin\\homework\\x"},
        {"D:\\cyg", "D:\\cygwin\\home", "D:\\cyg"},
        {"D:\\\xc9\\u", "D:\\\xe9", "D:\\\xc9\\u"},
    };
    for (const auto& c : rewrites) {
        const std::string want = c.rewritten;
        std::string out(want.size() + 1, '#');
        EXPECT_TRUE(RewriteUnderHome(c.path, c.mount, &out[0], out.size()) && out.c_str() == want)
            << c.path;
        EXPECT_FALSE(RewriteUnderHome(c.path, c.mount, &out[0], want.size())) << c.path;
    }
    char joined[32];
    EXPECT_TRUE(JoinFallbackDirectory("C:\\home\\\\", joined, sizeof joined));
    EXPECT_STREQ(joined, "C:\\home\\tarnwick");
    EXPECT_FALSE(JoinFallbackDirectory("C:\\home", joined, 16));
    for (const char* relative : {"D:Users\\jane", "c:home", "C:.", "C:\x1b"}) {
        EXPECT_TRUE(IsDriveRelative(relative)) << relative;
    }
    for (const char* whole : {"C:", "C:\\", "C:/x", "\\\\s\\x", "1:x", "/home/u"}) {
        EXPECT_FALSE(IsDriveRelative(whole)) << whole;
    }
}

}  // namespace
