// The path rules of the home stage: the Cygwin path of a Windows path at
// every buffer size around the result, the /home rewrite, the fallback join,
// and the drive-relative paths that are refused.
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

TEST(HomePaths, RewriteJoinAndDriveRelative) {
    const struct {
        const char* path;
        const char* mount;
        const char* rewritten;  // the /home rewrite of path under mount
    } rewrites[] = {
        {"C:\\cygwin\\home\\u", "c:/CYGWIN/home/", "/home\\u"},
        {"C:\\cygwin\\home", "C:\\cygwin\\home", "/home"},
        {"C:\\cygwin\\homework\\x", "C:\\cygwin\\home", "C:\\cygwin\\homework\\x"},
        {"C:\\cygwin\\hom", "C:\\cygwin\\home", "C:\\cygwin\\hom"},
    };
    for (const auto& r : rewrites) {
        char out[64];
        EXPECT_TRUE(RewriteUnderHome(r.path, r.mount, out, sizeof out));
        EXPECT_STREQ(out, r.rewritten) << r.path;
    }
    char joined[32];
    EXPECT_TRUE(JoinFallbackDirectory("D:\\cygwin\\home\\\\", joined, sizeof joined));
    EXPECT_STREQ(joined, "D:\\cygwin\\home\\tarnwick");
    EXPECT_FALSE(JoinFallbackDirectory("D:\\cygwin\\home", joined, 23));

    for (const char* refused : {"D:Users\\jane", "c:home", "C:."}) {
        EXPECT_TRUE(IsDriveRelative(refused)) << refused;
    }
    for (const char* taken : {"C:", "C:\\x", "C:/x", "/home/u", "\\\\s\\x", ":x", "1:x"}) {
        EXPECT_FALSE(IsDriveRelative(taken)) << taken;
    }
}

}  // namespace
