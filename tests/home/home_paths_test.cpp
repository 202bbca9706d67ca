#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "home/home_paths.h"

namespace {

struct RewriteCase {
    const char* path;
    const char* mount;
    const char* result;
};

TEST(RewriteUnderHome, MatchesWholeComponentsOnly) {
    const std::vector<RewriteCase> cases = {
        {"D:\\cygwin\\home\\tarnwick", "D:\\cygwin\\home", "/home\\tarnwick"},
        {"d:\\CYGWIN\\HOME\\user1", "D:\\cygwin\\home", "/home\\user1"},
        {"D:\\cygwin\\home", "D:\\cygwin\\home", "/home"},
        {"D:\\cygwin\\homework\\x", "D:\\cygwin\\home", "D:\\cygwin\\homework\\x"},
        {"D:\\cygwin\\home\\user1", "D:\\cygwin\\home\\", "/home\\user1"},
        {"D:/cygwin/home/user1", "D:\\cygwin\\home", "/home/user1"},
        {"D:\\cygwin\\home\\user1", "D:/cygwin/home//", "/home\\user1"},
        {"D:\\Documents and Settings\\user1", "D:\\cygwin\\home",
         "D:\\Documents and Settings\\user1"},
        {"D:\\cyg", "D:\\cygwin\\home", "D:\\cyg"},
        {"C:\\tarnwick", "C:\\", "/home\\tarnwick"},
        // Only ASCII letters fold: other bytes must match exactly.
        {"D:\\\xc9t\xe9\\x", "D:\\\xe9t\xe9", "D:\\\xc9t\xe9\\x"},
    };
    for (const RewriteCase& c : cases) {
        char out[260];
        EXPECT_TRUE(RewriteUnderHome(c.path, c.mount, out, sizeof out)) << c.path;
        EXPECT_STREQ(out, c.result) << c.path << " under " << c.mount;
    }
}

TEST(RewriteUnderHome, ReportsAResultThatDoesNotFit) {
    // A mount directory shorter than "/home" lengthens the path.
    std::string path = "C:\\" + std::string(256, 'x');
    char out[260];
    EXPECT_FALSE(RewriteUnderHome(path.c_str(), "C:", out, sizeof out));
    EXPECT_TRUE(RewriteUnderHome(path.c_str(), "D:\\cygwin\\home", out, sizeof out));
}

TEST(JoinFallbackDirectory, UsesExactlyOneBackslash) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"D:\\cygwin\\home", "D:\\cygwin\\home\\tarnwick"},
        {"D:\\cygwin\\home\\", "D:\\cygwin\\home\\tarnwick"},
        {"D:/cygwin/home/", "D:/cygwin/home\\tarnwick"},
        {"C:\\", "C:\\tarnwick"},
    };
    for (const auto& c : cases) {
        char out[260];
        EXPECT_TRUE(JoinFallbackDirectory(c.first, out, sizeof out)) << c.first;
        EXPECT_STREQ(out, c.second) << c.first;
    }
}

TEST(JoinFallbackDirectory, ReportsADirectoryThatDoesNotFit) {
    char out[260];
    EXPECT_TRUE(JoinFallbackDirectory(std::string(250, 'm').c_str(), out, sizeof out));
    EXPECT_FALSE(JoinFallbackDirectory(std::string(251, 'm').c_str(), out, sizeof out));
    EXPECT_EQ(std::string(out).size(), 259u);
}

}  // namespace
