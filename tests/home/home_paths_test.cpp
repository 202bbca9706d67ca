#include <gtest/gtest.h>

#include <string>

#include "home/home_paths.h"

namespace {

// The stage's own table covers the common rows; these are the corners.
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
    for (const auto& c : cases) {
        char out[260];
        EXPECT_TRUE(RewriteUnderHome(c.path, c.mount, out, sizeof out)) << c.path;
        EXPECT_STREQ(out, c.result) << c.path << " under " << c.mount;
    }
    // A mount directory shorter than "/home" lengthens the path.
    const std::string path = "C:\\" + std::string(256, 'x');
    char out[260];
    EXPECT_FALSE(RewriteUnderHome(path.c_str(), "C:", out, sizeof out));
}

}  // namespace
