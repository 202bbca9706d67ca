// The option loop on any command line (the input's NUL bytes separate the
// words). The machine has no accounts, so every run that gets past the
// options ends at the account lookup: no file may be touched, every status
// is 0 or 1, and every failure says why on standard error.
#include <dirent.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/acctmap.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

namespace {

std::string g_ntProfile;
std::string g_legacyProfile;

// Entries of the machine's only drive, "." and ".." aside.
int DriveEntries() {
    int count = 0;
    DIR* folder = opendir(ScratchFolder().c_str());
    while (struct dirent* entry = readdir(folder)) {
        count += entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && entry->d_name[1] != '.');
    }
    closedir(folder);
    return count;
}

void Load(const std::string& profile) {
    char error[512];
    if (!SimLoadProfileText(profile.c_str(), nullptr, error, sizeof error)) {
        fprintf(stderr, "%s\n", error);
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string drive = "[drives]\nC = '" + ScratchFolder() + "'\n";
    g_ntProfile = "family = \"nt\"\n" + drive;
    g_legacyProfile = "family = \"95\"\nlogged_on_user = 'joe'\n" + drive;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the run mode; the rest are the words.
    const bool legacy = size > 0 && (data[0] & 1) != 0;
    std::vector<std::string> words = {"acctmap"};
    if (size > 1) {
        words.emplace_back();
        for (size_t i = 1; i < size && words.size() <= 64; ++i) {
            if (data[i] == '\0') {
                words.emplace_back();
            } else {
                words.back() += static_cast<char>(data[i]);
            }
        }
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    Load(legacy ? g_legacyProfile : g_ntProfile);
    StartCapture();
    int status = AcctmapMain(static_cast<int>(words.size()), argv.data());
    std::string out;
    std::string err;
    StopCapture(&out, &err);

    FUZZ_CHECK(status == 0 || status == 1, "status %d", status);
    FUZZ_CHECK(DriveEntries() == 0, "a run without an account touched the drive");
    FUZZ_CHECK(SimOutstandingBuffers() == 0 && SimOutstandingLocalBuffers() == 0,
               "a buffer or key was not given back");
    FUZZ_CHECK(SimBadReleases() == 0, "something was given back twice");
    if (status == 1) {
        FUZZ_CHECK(out.empty() && !err.empty(), "a failure without a message");
    } else {
        FUZZ_CHECK(err.empty(), "a success with a message: %s", err.c_str());
        const std::string usage =
            "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home "
            "path> -f <passwd file>\r\n";
        // In NT mode only the help ends well on a machine without accounts.
        FUZZ_CHECK(legacy || out == usage, "NT mode ended well: %s", out.c_str());
        FUZZ_CHECK(out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0,
                   "output without its line end");
    }
    return 0;
}
