// The simulated machine's disks and runtime streams: drive mapping, text
// mode in both directions, the read-only rule, the full disk and the lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

namespace {

class SimFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("c-drive/.keep", "");
        Load("");
    }
    void TearDown() override {
        SimForgetMachine();
    }
    void Load(const std::string& extra) {
        std::string toml = "[drives]\nC = 'c-drive'\n" + extra;
        char error[512];
        ASSERT_TRUE(SimLoadProfileText(toml.c_str(), dir_.path().c_str(), error, sizeof error))
            << error;
    }
    std::string Host(const std::string& relative) const {
        return dir_.path() + "/" + relative;
    }
    std::string ReadAll(const char* path, const char* mode) {
        FILE* file = RtOpenFile(path, mode);
        EXPECT_NE(file, nullptr) << path;
        std::string text;
        for (int c; file != nullptr && (c = getc(file)) != EOF;) {
            text.push_back((char)c);
        }
        if (file != nullptr) {
            fclose(file);
        }
        return text;
    }
    bool WriteAll(const char* path, const char* mode, const std::string& text) {
        FILE* file = RtOpenFile(path, mode);
        if (file == nullptr) {
            return false;
        }
        fwrite(text.data(), 1, text.size(), file);
        DWORD committed = RtCommitFile(file);
        return (fclose(file) == 0) && committed == 0;
    }
    TempDir dir_;
};

TEST_F(SimFiles, DriveLettersMapToFolders) {
    dir_.Write("c-drive/Cygwin/Home/.keep", "");
    struct Case {
        const char* windows;
        std::string host;
    } cases[] = {
        {"C:\\cygwin\\home\\x", Host("c-drive/Cygwin/Home/x")},  // existing case is found
        {"c:\\a\\\\b\\.\\..\\c", Host("c-drive/a/c")},           // folded as Windows does
        {"C:", Host("c-drive")},
        {"relative\\path", "relative/path"},
        {"/abs/\xE9", "/abs/\xC3\xA9"},  // 1252 bytes become the host's UTF-8
    };
    for (const Case& c : cases) {
        char host[512];
        ASSERT_TRUE(SimMapPath(c.windows, host, sizeof host)) << c.windows;
        EXPECT_EQ(host, c.host) << c.windows;
    }
    char host[512];
    EXPECT_FALSE(SimMapPath("D:\\x", host, sizeof host));
    EXPECT_FALSE(RtPathExists("D:\\x"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(RtPathExists("C:\\CYGWIN\\home"));
}

TEST_F(SimFiles, CreateDirectoryResults) {
    dir_.Write("c-drive/home/.keep", "");
    EXPECT_TRUE(CreateDirectoryA("C:\\home\\new", nullptr));
    EXPECT_TRUE(dir_.Exists("c-drive/home/new"));
    struct Case {
        const char* path;
        DWORD error;
    } cases[] = {
        {"C:\\home\\new", ERROR_ALREADY_EXISTS},
        {"C:\\missing\\new", ERROR_PATH_NOT_FOUND},
        {"Q:\\new", ERROR_PATH_NOT_FOUND},
        {"C:\\home\\a*b", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(CreateDirectoryA(c.path, nullptr)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    Load("[faults]\ncreate_directory = 5\n");
    EXPECT_FALSE(CreateDirectoryA("C:\\home\\other", nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

TEST_F(SimFiles, TextModeBothWays) {
    ASSERT_TRUE(WriteAll("C:\\t", "w", "a\nb\r\nc"));
    EXPECT_EQ(dir_.Read("c-drive/t"), "a\r\nb\r\r\nc");
    ASSERT_TRUE(WriteAll("C:\\b", "wb", "a\nb"));
    EXPECT_EQ(dir_.Read("c-drive/b"), "a\nb");

    struct Case {
        std::string disk;
        std::string text;
    } cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"lone\rcr\r", "lone\rcr\r"},
        {"stop\x1Ahere\r\n", "stop"},
        {"cr\r\x1A", "cr\r"},
        // A CR LF split across two reads of the disk.
        {std::string(4095, 'x') + "\r\n" + "y", std::string(4095, 'x') + "\ny"},
    };
    for (const Case& c : cases) {
        dir_.Write("c-drive/r", c.disk);
        EXPECT_EQ(ReadAll("C:\\r", "r"), c.text);
        EXPECT_EQ(ReadAll("C:\\r", "rb"), c.disk);
    }
}

TEST_F(SimFiles, StandardStreamsWriteCrLf) {
    std::string path = Host("captured");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    SimSetStandardStreams(fd, fd);
    fprintf(RtStdout(), "out\n");
    fflush(RtStdout());
    fprintf(RtStderr(), "err\r\n");
    SimSetStandardStreams(1, 2);
    close(fd);
    EXPECT_EQ(dir_.Read("captured"), "out\r\nerr\r\r\n");
}

TEST_F(SimFiles, ReadOnlyFilesRefuseWriting) {
    dir_.Write("c-drive/ro", "old");
    dir_.Write("c-drive/new", "new");
    chmod(Host("c-drive/ro").c_str(), 0444);
    EXPECT_TRUE(RtIsReadOnly("C:\\ro"));
    EXPECT_FALSE(RtIsReadOnly("C:\\new"));
    EXPECT_EQ(RtOpenFile("C:\\ro", "w"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CopyFileA("C:\\new", "C:\\ro", FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RtReplaceFile("C:\\ro", "C:\\new", nullptr), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(RtRemoveFile("C:\\ro"), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(dir_.Read("c-drive/ro"), "old");

    // A copy takes the source's attributes, read-only among them.
    EXPECT_TRUE(CopyFileA("C:\\ro", "C:\\copy", FALSE));
    EXPECT_TRUE(RtIsReadOnly("C:\\copy"));
}

TEST_F(SimFiles, CopyAndReplace) {
    dir_.Write("c-drive/src", "source");
    dir_.Write("c-drive/target", "target");
    chmod(Host("c-drive/target").c_str(), 0600);
    EXPECT_TRUE(CopyFileA("C:\\src", "C:\\target", FALSE));
    EXPECT_EQ(dir_.Read("c-drive/target"), "source");
    EXPECT_FALSE(CopyFileA("C:\\src", "C:\\target", TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
    EXPECT_FALSE(CopyFileA("C:\\absent", "C:\\x", FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    dir_.Write("c-drive/old", "old");
    chmod(Host("c-drive/old").c_str(), 0640);
    dir_.Write("c-drive/fresh", "fresh");
    EXPECT_EQ(RtReplaceFile("C:\\old", "C:\\fresh", "C:\\old.bak"), 0u);
    EXPECT_EQ(dir_.Read("c-drive/old"), "fresh");
    // The host replaces in one step and leaves the backup name alone.
    EXPECT_FALSE(dir_.Exists("c-drive/old.bak"));
    EXPECT_FALSE(dir_.Exists("c-drive/fresh"));
    struct stat status;
    ASSERT_EQ(stat(Host("c-drive/old").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);

    Load("[faults]\ncopy_file = 32\n");
    EXPECT_FALSE(CopyFileA("C:\\src", "C:\\other", FALSE));
    EXPECT_EQ(GetLastError(), 32u);
    EXPECT_FALSE(dir_.Exists("c-drive/other"));
}

TEST_F(SimFiles, WriteLimitFillsTheDisk) {
    Load("[faults]\nwrite_limit = 10\n");
    ASSERT_TRUE(WriteAll("C:\\a", "w", "abcd\n"));  // 6 bytes on disk
    EXPECT_EQ(SimBytesWritten(), 6u);
    dir_.Write("c-drive/five", "12345");
    EXPECT_FALSE(CopyFileA("C:\\five", "C:\\copy", FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_FALSE(dir_.Exists("c-drive/copy"));  // no half copy left behind

    FILE* file = RtOpenFile("C:\\b", "w");
    ASSERT_NE(file, nullptr);
    fputs("x", file);
    EXPECT_EQ(RtCommitFile(file), (DWORD)ERROR_DISK_FULL);
    fclose(file);

    Load("[faults]\nwrite_limit = 4\n");
    ASSERT_TRUE(WriteAll("C:\\c", "w", "abc"));
    EXPECT_FALSE(WriteAll("C:\\c", "w", "abcde"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
}

TEST_F(SimFiles, FailuresSetTheLastError) {
    dir_.Write("c-drive/dir/.keep", "");
    struct Case {
        const char* path;
        const char* mode;
        DWORD error;
    } cases[] = {
        {"C:\\dir\\absent", "r", ERROR_FILE_NOT_FOUND},
        {"C:\\nodir\\absent", "r", ERROR_PATH_NOT_FOUND},
        {"C:\\nodir\\new", "w", ERROR_PATH_NOT_FOUND},
        {"C:\\dir", "w", ERROR_ACCESS_DENIED},
        {"C:\\dir\\x", "a", ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RtOpenFile(c.path, c.mode), nullptr) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

TEST_F(SimFiles, LockIsExclusiveAndLeavesNoFile) {
    RtLockHandle first = RT_NO_LOCK;
    RtLockHandle second = RT_NO_LOCK;
    ASSERT_EQ(RtLockFile("C:\\passwd.lock", 0, &first), RT_LOCK_TAKEN);
    EXPECT_TRUE(dir_.Exists("c-drive/passwd.lock"));
    EXPECT_EQ(RtLockFile("C:\\passwd.lock", 30, &second), RT_LOCK_BUSY);
    RtUnlockFile(first);
    EXPECT_FALSE(dir_.Exists("c-drive/passwd.lock"));
    ASSERT_EQ(RtLockFile("C:\\passwd.lock", 0, &second), RT_LOCK_TAKEN);
    RtUnlockFile(second);
    EXPECT_EQ(RtLockFile("C:\\nodir\\passwd.lock", 0, &first), RT_LOCK_FAILED);
}

}  // namespace
