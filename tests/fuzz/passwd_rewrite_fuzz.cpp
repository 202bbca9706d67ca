// The whole passwd rewrite on a drive of the simulated machine, for any
// passwd bytes, login name and starting state of the folder: the new file is
// the old one's other lines with the entry last, the backup is the old file,
// and every way the file cannot take the entry leaves it as it was.
#include <sys/stat.h>

#include "fuzz/fuzz_support.h"
#include "fuzz/passwd_model.h"
#include "passwd/passwd.h"
#include "platform/bounded_text.h"

namespace {

const char* const kFiles[] = {"passwd", "passwd.bak", "passwd.acctmap-new", "passwd.lock"};

std::string Folder() {
    std::string state;
    for (const char* name : kFiles) {
        state += FileState(name) + '\0';
    }
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadMachine("family = \"nt\"");
    return 0;
}

// The first byte's low two bits pick how the folder starts: 0 a writable
// passwd file, 1 a read-only one, 2 only a backup, 3 nothing. Bit 2 adds a
// killed run's new file, bit 3 an older backup beside the passwd file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int start = data[0] & 3;
    const bool leftover = (data[0] & 4) != 0;
    std::string login, old;
    SplitLoginAndFile(data + 1, size - 1, &login, &old);
    if (login.find('\0') != std::string::npos) {
        return 0;  // a command line cannot carry one
    }
    for (const char* name : kFiles) {
        unlink((ScratchFolder() + "/" + name).c_str());
    }
    if (start < 2) {
        WriteFile("passwd", old);
        if (data[0] & 8) {
            WriteFile("passwd.bak", "stale:1\n");
        }
        chmod((ScratchFolder() + "/passwd").c_str(), start == 1 ? 0444 : 0644);
    } else if (start == 2) {
        WriteFile("passwd.bak", old);
    }
    if (leftover) {
        WriteFile("passwd.acctmap-new", "what a killed run left");
    }
    const std::string before = Folder();

    UserRequest request = {};
    CopyText(request.passwdFile, sizeof request.passwdFile, "C:\\passwd");
    AccountInfo account = {"SALES\\jdoe", "jdoe",  1107,   10513, "Jane Doe", {},
                           true,          "SALES", nullptr};
    const BYTE sid[] = {1, 5, 0,   0, 0, 0, 0,  5, 21, 0, 0,  0, 111, 0,
                        0, 0, 222, 0, 0, 0, 77, 1, 0,  0, 83, 4, 0,   0};
    memcpy(account.sid, sid, sizeof sid);  // S-1-5-21-111-222-333-1107
    // A name that -s cannot carry can still come from a domain and a user.
    if (login.size() < sizeof request.sshLoginName) {
        CopyText(request.sshLoginName, sizeof request.sshLoginName, login.c_str());
    } else if (login.size() < sizeof account.accountName) {
        CopyText(account.accountName, sizeof account.accountName, login.c_str());
    } else {
        return 0;
    }
    const std::string name = login.empty() ? "SALES\\jdoe" : login;
    HomeLocation home = {"C:\\cygwin\\home\\jdoe", "/home/jdoe"};

    Outcome run = Run([&] { return RewritePasswdFile(&request, &account, &home); });

    FUZZ_CHECK(FileState("passwd.lock") == "-", "the lock file stayed");
    const bool breaks = name.size() > 255 || std::any_of(name.begin(), name.end(), [](char c) {
                            return c == ':' || static_cast<unsigned char>(c) < 0x20;
                        });
    if (breaks) {
        FUZZ_CHECK(run.status == 1 && run.out.empty() && !run.err.empty(),
                   "a login name that breaks the line went through");
        FUZZ_CHECK(Folder() == before, "a refused login name touched a file");
        return 0;
    }
    FUZZ_CHECK(run.status == 0 && run.err.empty(), "status %d: %s", run.status, run.err.c_str());
    const std::string entry = TextMode(
        "\n" + name +
        ":unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,S-1-5-21-111-222-333-1107:"
        "/home/jdoe:/bin/switch");
    // A read-only file, or none, takes nothing: the entry goes to standard
    // output and a killed run's file stays, as nothing was written.
    const bool takes = start == 0 || start == 2;
    const std::string passwd =
        takes ? "+" + TextMode(KeptLines(old, name)) + entry : (start == 1 ? "+" + old : "-");
    const std::string got = FileState("passwd");
    FUZZ_CHECK(got == passwd, "passwd: %s", FirstDifference(got, passwd).c_str());
    FUZZ_CHECK(run.out == (takes ? "" : entry), "standard output: %s", run.out.c_str());
    FUZZ_CHECK(FileState("passwd.bak") == (start == 3 ? "-" : "+" + old), "the backup");
    FUZZ_CHECK(
        FileState("passwd.acctmap-new") == (!takes && leftover ? "+what a killed run left" : "-"),
        "the new file");
    return 0;
}
