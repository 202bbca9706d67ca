// The passwd rewrite for any passwd bytes and login name, held against an
// independent model: the line filter with blocks small enough that lines
// outgrow them, and the whole rewrite on a drive of the simulated machine.
// Input: byte 0 the start (bits 0-1: 0 a writable passwd file, 1 a read-only
// one, 2 only a backup, 3 nothing; bit 2 a killed run's leftover; bit 3 an
// older backup), bytes 1-2 the filter's block sizes, the login name up to a
// line feed, then the passwd file.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "passwd/filter.h"
#include "passwd/passwd.h"
#include "platform/sim/sim_machine.h"

namespace {

// A broken promise is a finding: libFuzzer keeps the input that led to it.
void Check(bool kept, const char* promise) {
    if (!kept) {
        fprintf(stderr, "check failed: %s\n", promise);
        abort();
    }
}

// The machine's drive C:, in memory.
const std::string kDrive = [] {
    char folder[] = "/dev/shm/acctmap-fuzz-XXXXXX";
    return std::string(mkdtemp(folder));
}();

// A file of the drive, or "-" when there is none.
std::string State(const std::string& name) {
    std::ifstream stream(kDrive + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return stream ? "+" + bytes.str() : "-";
}

void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(kDrive + "/" + name, std::ios::binary) << bytes;
}

// The model: every line (up to its line feed) that has a ':' and whose name
// is not the login name, a bare line feed made CR LF; then the tail, every
// line feed made CR LF.
std::string Model(const std::string& passwd, const std::string& login, const std::string& tail) {
    const auto folded = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        return text;
    };
    std::string out;
    for (size_t start = 0, end; start < passwd.size(); start = end) {
        end = std::min(passwd.find('\n', start), passwd.size() - 1) + 1;
        std::string line = passwd.substr(start, end - start);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && folded(line.substr(0, colon)) != folded(login)) {
            const size_t lf = line.size() - 1;
            out += line[lf] == '\n' && (lf == 0 || line[lf - 1] != '\r')
                       ? line.substr(0, lf) + "\r\n"
                       : line;
        }
    }
    for (char c : tail) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
}

std::string Caught(int fd) {
    std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    Check(pread(fd, &text[0], text.size(), 0) == static_cast<ssize_t>(text.size()), "read back");
    Check(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0, "memfd");
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char error[512];
    const std::string profile = "[drives]\nC = '" + kDrive + "'\n";
    Check(SimLoadProfileText(profile.c_str(), nullptr, error, sizeof error), error);
    atexit([] { (void)!system(("rm -rf " + kDrive).c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string old(reinterpret_cast<const char*>(data), size);
    const size_t lineFeed = old.find('\n', 3);
    if (size < 3 || lineFeed == std::string::npos || lineFeed > 258 || lineFeed == 3 ||
        old.find('\0', 3) < lineFeed) {
        return 0;  // a login name of 1 to 255 bytes, as the program lets through
    }
    const int start = data[0] & 3;
    const std::string login = old.substr(3, lineFeed - 3);
    old.erase(0, lineFeed + 1);

    // The filter alone, with small blocks.
    static char in[kFilterBlockMinimum + 255 * 9];
    static char out[256];
    const FilterBuffers buffers = {in, kFilterBlockMinimum + data[1] * 9u, out, 1 + data[2] % 255u};
    Put("in", old);
    RtFile* source = RtOpenFile("C:\\in");
    RtFile* target = RtCreateNewFile("C:\\out");
    Check(FilterPasswdLines(source, target, login.c_str(), "\n-tail-", &buffers) == 0, "filter");
    RtCloseFile(source);
    RtCloseFile(target);
    Check(State("out") == "+" + Model(old, login, "\n-tail-"),
          "the filter keeps the model's lines");

    // The whole rewrite, from the start the input picks.
    for (const char* name : {"passwd", "passwd.bak", "passwd.acctmap-new", "passwd.lock"}) {
        unlink((kDrive + "/" + name).c_str());
    }
    if (start < 2) {
        Put("passwd", old);
        chmod((kDrive + "/passwd").c_str(), start == 1 ? 0444 : 0644);
    }
    if (start == 2 || (data[0] & 8)) {
        Put("passwd.bak", start == 2 ? old : "stale:1\n");
    }
    if (data[0] & 4) {
        Put("passwd.acctmap-new", "what a killed run left");
    }
    const std::string backup = State("passwd.bak");
    UserRequest request = {};
    memcpy(request.sshLoginName, login.c_str(), login.size() + 1);
    memcpy(request.passwdFile, "C:\\passwd", sizeof "C:\\passwd");
    const AccountInfo account = {"SALES\\jdoe", "jdoe", 1107,   10513, "Jane Doe", {},
                                 false,         "",     nullptr};
    const HomeLocation home = {"C:\\home\\jdoe", "/home/jdoe"};
    char entry[kPasswdEntrySize];
    FormatPasswdEntry(entry, sizeof entry, login.c_str(), &account, &home);
    static const int outFd = memfd_create("out", 0);
    static const int errFd = memfd_create("err", 0);
    SimSetStandardStreams(outFd, errFd);
    Check(RewritePasswdFile(&request, &account, &home) == 0, "the status is 0");
    SimSetStandardStreams(1, 2);

    // The file takes the entry unless it is read-only, or missing without a
    // backup to make it again from; a killed run's leftover goes with the
    // next new file.
    const bool takes = start == 0 || (start != 1 && backup != "-");
    const std::string kept = start == 0 ? old : backup.substr(1);
    Check(State("passwd") == (takes        ? "+" + Model(kept, login, entry)
                              : start == 1 ? "+" + old
                                           : "-"),
          "the passwd file");
    Check(State("passwd.bak") == (start == 0 ? "+" + old : backup), "the backup");
    Check(Caught(outFd) == (takes ? "" : Model("", "", entry)), "standard output");
    Check(Caught(errFd).empty() == takes, "a message exactly when the file did not take the entry");
    Check(
        State("passwd.acctmap-new") == ((data[0] & 4) && !takes ? "+what a killed run left" : "-"),
        "the new file");
    Check(State("passwd.lock") == "-", "no lock left");
    return 0;
}
