// The option loop on any command line (the input's NUL bytes separate the
// words). The machine has no accounts, so every run that gets past the
// options ends at the account lookup: no file may be touched, every status
// is 0 or 1, and every failure says why on standard error.
#include <vector>

#include "cli/acctmap.h"
#include "fuzz/fuzz_support.h"

// The first byte picks the run mode; the rest are the words.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool legacy = size > 0 && (data[0] & 1) != 0;
    std::vector<std::string> words = {"acctmap"};
    std::istringstream input(size > 1 ? std::string(data + 1, data + size) + '\0' : "");
    for (std::string word; words.size() <= 64 && std::getline(input, word, '\0');) {
        words.push_back(word);
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    LoadMachine(legacy ? "family = \"95\"\nlogged_on_user = 'joe'" : "family = \"nt\"");
    Outcome run = Run([&] { return AcctmapMain(static_cast<int>(words.size()), argv.data()); });

    FUZZ_CHECK(run.status == 0 || run.status == 1, "status %d", run.status);
    FUZZ_CHECK(std::filesystem::is_empty(ScratchFolder()), "a run without an account wrote a file");
    CheckReleases();
    if (run.status == 1) {
        FUZZ_CHECK(run.out.empty() && !run.err.empty(), "a failure without a message");
        return 0;
    }
    FUZZ_CHECK(run.err.empty(), "a success with a message: %s", run.err.c_str());
    // In NT mode only the help ends well on a machine without accounts.
    FUZZ_CHECK(legacy || run.out ==
                             "Usage: acctmap -s <ssh username> -u <windows username> -d "
                             "<domain name> -p <home path> -f <passwd file>\r\n",
               "NT mode ended well: %s", run.out.c_str());
    FUZZ_CHECK(run.out.size() >= 2 && run.out.compare(run.out.size() - 2, 2, "\r\n") == 0,
               "output without its line end");
    return 0;
}
