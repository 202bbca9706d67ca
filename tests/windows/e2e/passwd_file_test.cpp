// The passwd rewrite on Wine's file system and C runtime, checked as bytes:
// the backup is the old file byte for byte, the new file has CR LF line ends.
#include "windows/e2e/passwd_fixture.h"

namespace {

TEST_F(PasswdFile, RewritesWithABackup) {
    const std::string before =
        "alice:x:1001:513::/home/alice:/bin/sh\n"
        "SSHUSER:x:1:1:old entry:/home/sshuser:/bin/sh\r\n"
        "# a comment without a colon\n"
        "bob:x:1002:513::/home/bob:/bin/sh";
    WriteBytes(passwd_, before);
    ProcessResult run = AddSshUser();
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(
        ReadBytes(passwd_),
        "alice:x:1001:513::/home/alice:/bin/sh\r\nbob:x:1002:513::/home/bob:/bin/sh" + Entry());
    EXPECT_EQ(ReadBytes(passwd_ + ".bak"), before);
    EXPECT_EQ(EtcFiles(), (std::vector<std::string>{"passwd", "passwd.bak"}));

    // Again: still one entry, and the backup holds the first run's result.
    // The line before the entry now has a line end of its own, so an empty
    // line comes between (the next run drops it).
    const std::string first = ReadBytes(passwd_);
    EXPECT_EQ(AddSshUser().status, 0u);
    EXPECT_EQ(
        ReadBytes(passwd_),
        "alice:x:1001:513::/home/alice:/bin/sh\r\nbob:x:1002:513::/home/bob:/bin/sh\r\n" + Entry());
    EXPECT_EQ(ReadBytes(passwd_ + ".bak"), first);
}

// The runtime's text mode would stop reading at Ctrl-Z and lose every later
// line.
TEST_F(PasswdFile, KeepsLinesAfterCtrlZ) {
    WriteBytes(passwd_, "a:1\x1a:x\n\x1a\nb:2\n");
    EXPECT_EQ(AddSshUser().status, 0u);
    EXPECT_EQ(ReadBytes(passwd_), "a:1\x1a:x\r\nb:2\r\n" + Entry());
}

TEST_F(PasswdFile, LeavesAReadOnlyFileAlone) {
    WriteBytes(passwd_, "alice:x:1001:513::/home/alice:/bin/sh\n");
    ASSERT_TRUE(SetFileAttributesA(passwd_.c_str(), FILE_ATTRIBUTE_READONLY));
    ProcessResult run = AddSshUser();
    EXPECT_EQ(run.out, Entry());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(ReadBytes(passwd_), "alice:x:1001:513::/home/alice:/bin/sh\n");
    EXPECT_TRUE(GetFileAttributesA(passwd_.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(PasswdFile, MakesNoFileWithoutPasswdOrBackup) {
    ProcessResult run = AddSshUser();
    EXPECT_EQ(run.out, Entry());
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(EtcFiles(), std::vector<std::string>{});
}

TEST_F(PasswdFile, RebuildsAMissingFileFromItsBackup) {
    WriteBytes(passwd_ + ".bak",
               "alice:x:1001:513::/home/alice:/bin/sh\nsshuser:x:1:1::/:/bin/sh\n");
    EXPECT_EQ(AddSshUser().status, 0u);
    EXPECT_EQ(ReadBytes(passwd_), "alice:x:1001:513::/home/alice:/bin/sh\r\n" + Entry());
}

}  // namespace
