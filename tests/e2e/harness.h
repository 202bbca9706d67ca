// The machine an end-to-end run of the table runs on: the host's simulated
// machine (support/host_harness.cpp) or Wine (windows/e2e/wine_harness.cpp),
// fresh for each object. Both say on standard error what a run did not give
// back.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Where a row of the table runs, and where this build's tests run.
enum : unsigned { kHost = 1, kWine64 = 2, kWine32 = 4, kWine = 6, kBoth = 7 };
#ifndef _WIN32
constexpr unsigned kThisMachine = kHost;
#elif defined(_WIN64)
constexpr unsigned kThisMachine = kWine64;
#else
constexpr unsigned kThisMachine = kWine32;
#endif

// A set-up step, "verb:name=value" or "key=value", in its parts.
struct Step {
    std::string key, verb, name, value;
};
inline Step ParseStep(const std::string& step) {
    const std::string key = step.substr(0, step.find('='));
    const size_t colon = key.find(':');
    const size_t equals = step.find('=');
    return {key, key.substr(0, colon), key.substr(colon + 1),
            equals == std::string::npos ? "" : step.substr(equals + 1)};
}

struct Outcome {
    std::string out;  // the bytes, CR LF and all
    std::string err;
    unsigned long status = ~0ul;
};

class Harness {
  public:
    Harness();
    ~Harness();
    // {user} {dom} {sid} {rid} {dir} of this machine, {sys:N} its text for
    // error N, and on the host {folder}, where its drive C: lies.
    std::string Token(const std::string& name) const;
    // One set-up step of a row (see the table).
    void Arrange(const std::string& step);
    Outcome Run(const std::vector<std::string>& words);
    // A file's bytes, "<dir>" or "<none>".
    std::string FileState(const std::string& path) const;

  private:
    struct State;
    State* state_;
};

#ifndef _WIN32
// Starts acctmap on <folder>/machine.toml without waiting, its output into
// <folder>/<tag>.out and .err.
// With `outFails`, its standard output is a full disk.
pid_t StartAcctmap(const std::string& folder, const std::vector<std::string>& words,
                   const std::string& tag, bool outFails = false);
// The exit status, or 128 + the signal that ended the process.
int WaitFor(pid_t child);
std::string ReadHostFile(const std::string& path);
#endif
