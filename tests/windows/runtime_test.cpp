// The Windows runtime layer on a real Win32 implementation (Wine): text mode
// as the C runtime does it, Windows error codes from failed opens, and the
// replace and lock calls that the passwd rewrite's safety rests on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

class Runtime : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        static int serial = 0;
        dir_ = std::string(temp) + "acctmap runtime " + std::to_string(GetCurrentProcessId()) +
               "." + std::to_string(++serial);
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL));
    }
    void TearDown() override {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((dir_ + "\\*").c_str(), &found);
        while (search != INVALID_HANDLE_VALUE) {
            std::string path = dir_ + "\\" + found.cFileName;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryA(path.c_str());
            } else {
                DeleteFileA(path.c_str());
            }
            if (!FindNextFileA(search, &found)) {
                FindClose(search);
                break;
            }
        }
        RemoveDirectoryA(dir_.c_str());
    }
    std::string Path(const char* name) const {
        return dir_ + "\\" + name;
    }
    void Write(const char* name, const std::string& bytes) {
        FILE* file = fopen(Path(name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    std::string Read(const char* name, const char* mode = "rb") {
        FILE* file = RtOpenFile(Path(name).c_str(), mode);
        if (file == NULL) {
            return "<none>";
        }
        std::string bytes;
        for (int c; (c = fgetc(file)) != EOF;) {
            bytes.push_back(static_cast<char>(c));
        }
        fclose(file);
        return bytes;
    }
    std::string dir_;
};

TEST_F(Runtime, TextModeWritesAndReadsCrLf) {
    FILE* text = RtOpenFile(Path("text").c_str(), "w");
    ASSERT_NE(text, nullptr);
    fputs("a\nb\n", text);
    EXPECT_EQ(RtCommitFile(text), 0u);
    fclose(text);
    EXPECT_EQ(Read("text"), "a\r\nb\r\n");
    EXPECT_EQ(Read("text", "r"), "a\nb\n");

    FILE* binary = RtOpenFile(Path("binary").c_str(), "wb");
    ASSERT_NE(binary, nullptr);
    fputs("a\nb\x1a\n", binary);
    fclose(binary);
    EXPECT_EQ(Read("binary"), "a\nb\x1a\n");
    // Text mode ends at Ctrl-Z, which is why the passwd filter reads binary.
    EXPECT_EQ(Read("binary", "r"), "a\nb");
}

// (A read-only file is no case here: Wine leaves that attribute to the Unix
// permissions, which do not stop root, who runs CI.)
TEST_F(Runtime, FailedOpensLeaveTheWindowsCode) {
    ASSERT_TRUE(CreateDirectoryA(Path("folder").c_str(), NULL));
    const struct {
        const char* name;
        const char* mode;
        DWORD error;
    } cases[] = {
        {"missing", "r", ERROR_FILE_NOT_FOUND},
        {"missing\\file", "w", ERROR_PATH_NOT_FOUND},
        {"folder", "w", ERROR_ACCESS_DENIED},
        {"missing", "a", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(RtOpenFile(Path(c.name).c_str(), c.mode), nullptr) << c.name << " " << c.mode;
        EXPECT_EQ(GetLastError(), c.error) << c.name << " " << c.mode;
    }
    EXPECT_EQ(RtRemoveFile(Path("missing").c_str()), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Runtime, TellsWhatIsThereAndWhatIsReadOnly) {
    Write("plain", "x");
    Write("readonly", "x");
    ASSERT_TRUE(SetFileAttributesA(Path("readonly").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RtPathExists(Path("plain").c_str()));
    EXPECT_TRUE(RtPathExists((dir_ + "\\").c_str()));
    EXPECT_FALSE(RtPathExists(Path("missing").c_str()));
    EXPECT_TRUE(RtIsReadOnly(Path("readonly").c_str()));
    EXPECT_FALSE(RtIsReadOnly(Path("plain").c_str()));
    EXPECT_FALSE(RtIsReadOnly(Path("missing").c_str()));
}

TEST_F(Runtime, ReplacesAnExistingFileAndKeepsTheOldOneAsBackup) {
    Write("passwd", "old");
    Write("passwd.new", "new");
    Write("passwd.bak", "older");
    EXPECT_EQ(RtReplaceFile(Path("passwd").c_str(), Path("passwd.new").c_str(),
                            Path("passwd.bak").c_str()),
              0u);
    EXPECT_EQ(Read("passwd"), "new");
    EXPECT_EQ(Read("passwd.bak"), "old");
    EXPECT_FALSE(RtPathExists(Path("passwd.new").c_str()));
}

TEST_F(Runtime, MovesTheReplacementInWhereNoFileWas) {
    Write("passwd.new", "new");
    EXPECT_EQ(RtReplaceFile(Path("passwd").c_str(), Path("passwd.new").c_str(),
                            Path("passwd.bak").c_str()),
              0u);
    EXPECT_EQ(Read("passwd"), "new");
    EXPECT_FALSE(RtPathExists(Path("passwd.bak").c_str()));
}

TEST_F(Runtime, ReplacesByRelativePaths) {
    Write("passwd", "old");
    Write("passwd.new", "new");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    DWORD result = RtReplaceFile("passwd", "passwd.new", "passwd.bak");
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Read("passwd"), "new");
    EXPECT_EQ(Read("passwd.bak"), "old");
}

TEST_F(Runtime, FailedReplaceLeavesTheTargetAsItWas) {
    Write("readonly", "old");
    Write("readonly.new", "new");
    ASSERT_TRUE(SetFileAttributesA(Path("readonly").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(RtReplaceFile(Path("readonly").c_str(), Path("readonly.new").c_str(),
                            Path("readonly.bak").c_str()),
              0u);
    EXPECT_EQ(Read("readonly"), "old");
    EXPECT_EQ(Read("readonly.new"), "new");

    Write("passwd", "old");
    EXPECT_NE(
        RtReplaceFile(Path("passwd").c_str(), Path("missing").c_str(), Path("passwd.bak").c_str()),
        0u);
    EXPECT_EQ(Read("passwd"), "old");
}

// A replacement held open without delete sharing cannot be moved in. Whether
// the system finds that out before or after it has moved the old file to the
// backup name, the old file must be under its own name afterwards.
TEST_F(Runtime, ReplaceOfAHeldReplacementLeavesTheOldFile) {
    Write("passwd", "old");
    Write("passwd.new", "new");
    HANDLE held = CreateFileA(Path("passwd.new").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD result = RtReplaceFile(Path("passwd").c_str(), Path("passwd.new").c_str(),
                                 Path("passwd.bak").c_str());
    CloseHandle(held);
    EXPECT_NE(result, 0u);
    EXPECT_EQ(Read("passwd"), "old");
    EXPECT_EQ(Read("passwd.new"), "new");
}

TEST_F(Runtime, LockIsExclusiveWaitsAndGoesAway) {
    const std::string lock = Path("passwd.lock");
    RtLockHandle first = RT_NO_LOCK;
    ASSERT_EQ(RtLockFile(lock.c_str(), 0, &first), RT_LOCK_TAKEN);
    EXPECT_TRUE(RtPathExists(lock.c_str()));

    RtLockHandle second = RT_NO_LOCK;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RtLockFile(lock.c_str(), 200, &second), RT_LOCK_BUSY);
    EXPECT_GE(GetTickCount64() - start, 200u);
    EXPECT_EQ(second, RT_NO_LOCK);

    RtUnlockFile(first);
    EXPECT_FALSE(RtPathExists(lock.c_str()));
    ASSERT_EQ(RtLockFile(lock.c_str(), 0, &second), RT_LOCK_TAKEN);
    RtUnlockFile(second);
}

// A lock that can never be had fails at once instead of waiting out the
// timeout.
TEST_F(Runtime, LockThatCannotBeMadeFailsAtOnce) {
    ASSERT_TRUE(CreateDirectoryA(Path("folder").c_str(), NULL));
    for (const char* name : {"missing\\passwd.lock", "folder"}) {
        RtLockHandle handle = RT_NO_LOCK;
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(RtLockFile(Path(name).c_str(), 5000, &handle), RT_LOCK_FAILED) << name;
        EXPECT_LT(GetTickCount64() - start, 2000u) << name;
        EXPECT_EQ(handle, RT_NO_LOCK);
    }
}

}  // namespace
