// The Cygwin path of a Windows path at every buffer size around the result,
// and the /home rewrite, the fallback join and the drive-relative test, in a
// single-byte code page and in each double-byte one (the rest of the home
// stage: the Wine table).
#include <gtest/gtest.h>

#include <string>

#include "code_pages.h"
#include "home/home.h"
#include "home/home_paths.h"

namespace {

// `sbcs`: the result in a single-byte code page, where differing.
struct PathRow {
    std::string path, mount, dbcs, sbcs = "";
    const std::string& Want(const LeadBytes& lead) const {
        return lead.any || sbcs.empty() ? dbcs : sbcs;
    }
};

// True when `at` is where a character of `text` starts, or its end.
bool AtCharacterStart(const LeadBytes* lead, const std::string& text, size_t at) {
    size_t position = 0;
    while (position < at) {
        position += CharBytes(lead, text.c_str() + position);
    }
    return position == at;
}

// The Cygwin path at every buffer size around it; the /home rewrite (whole
// components, single-byte ASCII letters folded, either slash) and the
// fallback join, each at its exact size.
TEST(HomePaths, InEveryCodePage) {
    const PathRow conversions[] = {
        {"D:\\Documents and Settings\\user1", "", "/cygdrive/D/Documents and Settings/user1"},
        {"D:", "", "/cygdrive/D"},
        {"e:/a\\", "", "/cygdrive/e/a/"},
        {"/home\\user1", "", "/home/user1"},
        {"1:\\x", "", "1:/x"},
        {"", "", ""},
        {"\\\\server\\share\\u", "", "//server/share/u"},
        {"\xc4:\\x", "", "\xc4:/x"},
        {"C:" + std::string(248, 'x'), "", "/cygdrive/C" + std::string(248, 'x')},
        {"C:\\Users\\" + kTable, "", "/cygdrive/C/Users/" + kTable, "/cygdrive/C/Users/\x95/"},
        {"C:\\" + kSo + "\\x", "", "/cygdrive/C/" + kSo + "/x", "/cygdrive/C/\x83//x"},
        {"C:\\" + kTable + kSo, "", "/cygdrive/C/" + kTable + kSo, "/cygdrive/C/\x95/\x83/"},
    };
    const PathRow rewrites[] = {
        {"D:\\cygwin\\home\\u1", "D:\\cygwin\\home", "/home\\u1"},
        {"d:\\CYGWIN\\HOME\\u1", "D:/cygwin/home//", "/home\\u1"},
        {"D:\\cygwin\\home", "D:\\cygwin\\home\\", "/home"},
        {"D:\\cygwin\\homework\\x", "D:\\cygwin\\home", "D:\\cygwin\\homework\\x"},
        {"D:\\cyg", "D:\\cygwin\\home", "D:\\cyg"},
        {"D:\\\xc9\\u", "D:\\\xe9", "D:\\\xc9\\u"},
        {"C:\\cyg\\" + kTable + "\\tarnwick", "C:\\cyg\\" + kTable, "/home\\tarnwick",
         "/home\\\\tarnwick"},
        {"C:\\" + kA + "\\u", "C:\\" + kDi, "C:\\" + kA + "\\u", "/home\\u"},
        {"C:\\" + kSo + "x", "C:\\" + kSo, "C:\\" + kSo + "x", "/home\\x"},
    };
    for (const CodePage& page : AllCodePages()) {
        // Exact when it fits, a cut prefix of whole characters when not,
        // never past the end.
        for (const PathRow& c : conversions) {
            const std::string& posix = c.Want(page.lead);
            for (size_t size = 0; size <= posix.size() + 2; ++size) {
                std::string out(size + 1, '#');
                const bool fits = ToPosixPath(c.path.c_str(), &page.lead, &out[0], size);
                const std::string got = size > 0 ? out.c_str() : "";
                const bool whole = AtCharacterStart(&page.lead, posix, got.size());
                ASSERT_TRUE(fits == (size > posix.size()) && out[size] == '#' && whole &&
                            posix.compare(0, fits ? posix.size() : got.size(), got) == 0)
                    << page.number << ": " << c.path << " in " << size << ": " << got;
            }
        }
        for (const PathRow& c : rewrites) {
            const std::string& want = c.Want(page.lead);
            std::string out(want.size() + 1, '#');
            EXPECT_TRUE(RewriteUnderHome(c.path.c_str(), c.mount.c_str(), &page.lead, &out[0],
                                         out.size()) &&
                        out.c_str() == want)
                << page.number << ": " << c.path << " gives " << out.c_str();
            EXPECT_FALSE(
                RewriteUnderHome(c.path.c_str(), c.mount.c_str(), &page.lead, &out[0], want.size()))
                << c.path;
        }
        char joined[32];
        const std::string mount = "C:\\cyg\\" + kTable;
        EXPECT_TRUE(JoinFallbackDirectory(mount.c_str(), &page.lead, joined, sizeof joined));
        EXPECT_EQ(joined, page.lead.any ? mount + "\\tarnwick" : "C:\\cyg\\\x95\\tarnwick");
        EXPECT_TRUE(JoinFallbackDirectory("C:\\home\\\\", &page.lead, joined, sizeof joined));
        EXPECT_STREQ(joined, "C:\\home\\tarnwick");
        EXPECT_FALSE(JoinFallbackDirectory("C:\\home", &page.lead, joined, 16));
    }
}

TEST(HomeRules, DriveRelative) {
    for (const char* relative : {"D:Users\\jane", "c:home", "C:.", "C:\x1b"}) {
        EXPECT_TRUE(IsDriveRelative(relative)) << relative;
    }
    for (const char* whole : {"C:", "C:\\", "C:/x", "\\\\s\\x", "1:x", "/home/u"}) {
        EXPECT_FALSE(IsDriveRelative(whole)) << whole;
    }
}

}  // namespace
