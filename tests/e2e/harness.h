// The machine an end-to-end run of the table runs on: acctmap.exe under
// Wine (windows/e2e/wine_harness.cpp), fresh for each object.
#pragma once

#include <string>
#include <vector>

// Where a row of the table runs: the 64-bit exe, the 32-bit exe, or both.
enum : unsigned { kWine64 = 1, kWine32 = 2, kBoth = 3 };
#ifdef _WIN64
constexpr unsigned kThisExe = kWine64;
#else
constexpr unsigned kThisExe = kWine32;
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
    // error N.
    std::string Token(const std::string& name) const;
    // One set-up step of a row (see the table).
    void Arrange(const std::string& step);
    Outcome Run(const std::vector<std::string>& words);
    // Runs started together, each to its end.
    std::vector<Outcome> RunAtOnce(const std::vector<std::vector<std::string>>& runs);
    // A file's bytes, "<dir>" or "<none>"; "<path>?attributes" its hidden
    // and system attributes ("HS"), "<path>?name" the name its folder stores.
    std::string FileState(const std::string& path) const;

  private:
    struct State;
    State* state_;
};

// The table's tokens ($(pw), $(E:login), ...) in a text (runs_test.cpp).
std::string Expand(std::string text, const Harness& machine);
// What the C runtime's text mode makes of a text: every "\n" a CR LF.
std::string TextMode(const std::string& text);
// No run leaves a file of its own behind beside `passwd`.
void ExpectNoLeftovers(const Harness& machine, const std::string& passwd);
