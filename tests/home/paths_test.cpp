// The Cygwin path of a Windows path at every buffer size around the result
// (the /home rewrite and the rest of the home stage: the Wine table).
#include <gtest/gtest.h>

#include <string>

#include "home/home.h"

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

}  // namespace
