// What the Wine runs of acctmap.exe cannot show of the Windows runtime layer:
// replaces that Wine refuses, and a lock that stays busy.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const char* bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class Runtime : public ::testing::Test {
  protected:
    void SetUp() override {
        static int serial = 0;
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir_ = std::string(temp) + "acctmap runtime " + std::to_string(GetCurrentProcessId()) +
               "." + std::to_string(++serial) + "\\";
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string dir_;
};

// A refused replace must leave the old file under its own name. (Wine
// refuses these before it moves the old file to the backup name; Windows may
// refuse a held replacement after, which only Windows can show.)
TEST_F(Runtime, RefusedReplaceLeavesTheOldFile) {
    const struct {
        const char* name;
        DWORD attributes;  // of the old file
        bool replacement;  // the new file is there
        bool held;         // and held open without delete sharing
    } cases[] = {
        {"ReadOnlyTarget", FILE_ATTRIBUTE_READONLY, true, false},
        {"MissingReplacement", FILE_ATTRIBUTE_NORMAL, false, false},
        {"ReplacementHeld", FILE_ATTRIBUTE_NORMAL, true, true},
    };
    for (const auto& c : cases) {
        const std::string passwd = dir_ + c.name;
        Write(passwd, "old");
        ASSERT_TRUE(SetFileAttributesA(passwd.c_str(), c.attributes));
        if (c.replacement) {
            Write(passwd + ".new", "new");
        }
        HANDLE held = c.held ? CreateFileA((passwd + ".new").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           NULL, OPEN_EXISTING, 0, NULL)
                             : NULL;
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_NE(
            RtReplaceFile(passwd.c_str(), (passwd + ".new").c_str(), (passwd + ".bak").c_str()), 0u)
            << c.name;
        CloseHandle(held);
        SetFileAttributesA(passwd.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(Read(passwd), "old") << c.name;
        EXPECT_EQ(Read(passwd + ".new"), c.replacement ? "new" : "") << c.name;
    }
}

TEST_F(Runtime, LockStaysBusyWhileHeldAndGoesAwayWithItsHolder) {
    const std::string lock = dir_ + "passwd.lock";
    RtLockHandle first = RT_NO_LOCK;
    ASSERT_EQ(RtLockFile(lock.c_str(), 0, &first), RT_LOCK_TAKEN);
    RtLockHandle second = RT_NO_LOCK;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RtLockFile(lock.c_str(), 200, &second), RT_LOCK_BUSY);
    EXPECT_GE(GetTickCount64() - start, 200u);
    EXPECT_EQ(second, RT_NO_LOCK);
    RtUnlockFile(first);
    EXPECT_FALSE(RtPathExists(lock.c_str()));
}

}  // namespace
