// Which full paths name one file and no other: after the root, no wildcard,
// stream or control character.
#include <gtest/gtest.h>

#include "passwd/path_rules.h"

namespace {

TEST(NamesOneFile, RefusesWhatCouldNameAnother) {
    const struct {
        const char* path;
        size_t root;
        bool one;
    } cases[] = {
        {"C:\\cygwin\\etc\\passwd", 3, true},
        {"C:\\cygwin\\etc\\passwd:x", 3, false},
        {"C:\\cygwin\\e>c\\passwd", 3, false},
        {"C:\\cygwin\\etc\\>>>>>", 3, false},
        {"C:\\a\\b<", 3, false},
        {"C:\\a\\\"b", 3, false},
        {"C:\\a|b", 3, false},
        {"C:\\a?", 3, false},
        {"C:\\a*", 3, false},
        {"C:\\a\x1f", 3, false},
        {"C:\\\xe9t\xe9", 3, true},
        {"\\\\?\\C:\\etc\\passwd", 7, true},
        {"\\\\.\\C:\\etc\\passwd", 7, true},
        {"\\\\?\\UNC\\srv\\share\\passwd", 18, true},
        {"\\\\srv\\share\\etc\\passwd", 12, true},
        {"\\\\srv\\share\\etc\\pass?", 12, false},
        {"\\\\?\\C:\\etc\\pass:wd", 7, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathRootLength(c.path), c.root) << c.path;
        EXPECT_EQ(NamesOneFile(c.path), c.one) << c.path;
    }
}

}  // namespace
