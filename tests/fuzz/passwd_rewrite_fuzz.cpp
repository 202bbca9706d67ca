// The whole passwd rewrite on a drive of the simulated machine, for any
// passwd bytes, login name and starting state of the folder: the new file is
// the old one's other lines with the entry last, the backup is the old file,
// and every way the file cannot take the entry leaves it as it was.
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/passwd_model.h"
#include "passwd/passwd.h"
#include "platform/bounded_text.h"

namespace {

std::string Path(const char* name) {
    return ScratchFolder() + "/" + name;
}

bool Exists(const char* name) {
    struct stat status;
    return stat(Path(name).c_str(), &status) == 0;
}

std::string Read(const char* name) {
    std::ifstream stream(Path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

void Write(const char* name, const std::string& bytes) {
    std::ofstream stream(Path(name), std::ios::binary | std::ios::trunc);
    stream << bytes;
}

const char* const kFiles[] = {"passwd", "passwd.bak", "passwd.acctmap-new", "passwd.lock"};

// How the folder looks when the run starts (the low two bits of the first
// byte).
enum Start { kWritable, kReadOnly, kOnlyBackup, kNothing };

bool Breaks(const std::string& login) {
    for (unsigned char c : login) {
        if (c == ':' || c < 0x20) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string profile = "family = \"nt\"\n[drives]\nC = '" + ScratchFolder() + "'\n";
    char error[512];
    if (!SimLoadProfileText(profile.c_str(), nullptr, error, sizeof error)) {
        fprintf(stderr, "%s\n", error);
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const Start start = static_cast<Start>(data[0] & 3);
    const bool leftover = (data[0] & 4) != 0;
    const bool olderBackup = (data[0] & 8) != 0;
    std::string login;
    std::string old;
    SplitLoginAndFile(data + 1, size - 1, &login, &old);
    if (login.find('\0') != std::string::npos) {
        return 0;  // a command line cannot carry one
    }

    for (const char* name : kFiles) {
        unlink(Path(name).c_str());
    }
    if (start == kWritable || start == kReadOnly) {
        Write("passwd", old);
        if (olderBackup) {
            Write("passwd.bak", "stale:1\n");
        }
        if (start == kReadOnly) {
            chmod(Path("passwd").c_str(), 0444);
        }
    } else if (start == kOnlyBackup) {
        Write("passwd.bak", old);
    }
    if (leftover) {
        Write("passwd.acctmap-new", "what a killed run left");
    }
    const std::string passwdBefore = Read("passwd");
    const std::string backupBefore = Read("passwd.bak");
    const bool passwdExisted = Exists("passwd");
    const bool backupExisted = Exists("passwd.bak");

    UserRequest request = {};
    CopyText(request.passwdFile, sizeof request.passwdFile, "C:\\passwd");
    AccountInfo account = {};
    CopyText(account.accountName, sizeof account.accountName, "SALES\\jdoe");
    CopyText(account.userName, sizeof account.userName, "jdoe");
    CopyText(account.fullName, sizeof account.fullName, "Jane Doe");
    CopyText(account.referencedDomain, sizeof account.referencedDomain, "SALES");
    account.userId = 1107;
    account.groupId = 10513;
    // S-1-5-21-111-222-333-1107
    const BYTE sid[] = {1, 5, 0,   0, 0, 0, 0,  5, 21, 0, 0,  0, 111, 0,
                        0, 0, 222, 0, 0, 0, 77, 1, 0,  0, 83, 4, 0,   0};
    memcpy(account.sid, sid, sizeof sid);
    account.sidFound = true;
    // A name that -s cannot carry can still come from a domain and a user.
    if (login.size() < sizeof request.sshLoginName) {
        CopyText(request.sshLoginName, sizeof request.sshLoginName, login.c_str());
    } else if (login.size() < sizeof account.accountName) {
        CopyText(account.accountName, sizeof account.accountName, login.c_str());
    } else {
        return 0;
    }
    const std::string name = login.empty() ? "SALES\\jdoe" : login;
    HomeLocation home = {};
    CopyText(home.windowsPath, sizeof home.windowsPath, "C:\\cygwin\\home\\jdoe");
    CopyText(home.posixPath, sizeof home.posixPath, "/home/jdoe");

    StartCapture();
    int status = RewritePasswdFile(&request, &account, &home);
    std::string out;
    std::string err;
    StopCapture(&out, &err);

    const std::string entry = "\n" + name +
                              ":unused_by_nt/2000/xp:1107:10513:Jane "
                              "Doe,U-SALES\\jdoe,S-1-5-21-111-222-333-1107:/home/jdoe:/bin/switch";
    FUZZ_CHECK(!Exists("passwd.lock"), "the lock file stayed");
    if (name.size() > 255 || Breaks(name)) {
        FUZZ_CHECK(status == 1 && out.empty() && !err.empty(),
                   "a login name that breaks the line went through");
        FUZZ_CHECK(Read("passwd") == passwdBefore && Read("passwd.bak") == backupBefore &&
                       Exists("passwd") == passwdExisted && Exists("passwd.bak") == backupExisted &&
                       Exists("passwd.acctmap-new") == leftover,
                   "a refused login name touched a file");
        return 0;
    }
    FUZZ_CHECK(status == 0 && err.empty(), "status %d, stderr '%s'", status, err.c_str());
    switch (start) {
        case kWritable: {
            std::string want = TextMode(KeptLines(old, name) + entry);
            std::string got = Read("passwd");
            FUZZ_CHECK(out.empty(), "the entry went to standard output");
            FUZZ_CHECK(got == want, "passwd: %s", FirstDifference(got, want).c_str());
            FUZZ_CHECK(Read("passwd.bak") == old, "the backup is not the old file");
            FUZZ_CHECK(!Exists("passwd.acctmap-new"), "the new file stayed");
            break;
        }
        case kReadOnly:
            FUZZ_CHECK(out == TextMode(entry), "the entry is not on standard output");
            FUZZ_CHECK(Read("passwd") == old, "a read-only passwd file changed");
            FUZZ_CHECK(Read("passwd.bak") == old, "the backup is not the old file");
            // Nothing was written, so a killed run's file is still there.
            FUZZ_CHECK(Exists("passwd.acctmap-new") == leftover, "new file");
            break;
        case kOnlyBackup: {
            std::string want = TextMode(KeptLines(old, name) + entry);
            std::string got = Read("passwd");
            FUZZ_CHECK(out.empty(), "the entry went to standard output");
            FUZZ_CHECK(got == want, "passwd from backup: %s", FirstDifference(got, want).c_str());
            FUZZ_CHECK(Read("passwd.bak") == old, "the backup changed");
            FUZZ_CHECK(!Exists("passwd.acctmap-new"), "the new file stayed");
            break;
        }
        case kNothing:
            FUZZ_CHECK(out == TextMode(entry), "the entry is not on standard output");
            FUZZ_CHECK(!Exists("passwd") && !Exists("passwd.bak"), "a file was made from nothing");
            FUZZ_CHECK(Exists("passwd.acctmap-new") == leftover, "new file");
            break;
    }
    return 0;
}
