// The end-to-end suite's machine: Wine's registry, file system, user and SID;
// only the account database is ours (a test-only netapi32.dll fed each row's
// account lines). Faults are real too: the preload library in every process
// (see cmake/wine-run.sh.in) makes the disk full, a flush fail or
// acctmap.exe die at a chosen byte, as the control file says.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using Words = std::vector<std::string>;

struct Outcome {
    std::string out;  // the bytes, CR LF and all
    std::string err;
    unsigned long status = ~0ul;
    unsigned long milliseconds = 0;  // from its start to its end
};

// One test's machine: a folder of its own (a blank in its name, as Windows
// paths often have) with acctmap.exe in bin\, the stand-in in the system
// folder, Cygwin's mount table in the 32-bit view. At its end the registry is
// put back as Wine made it.
class Machine {
  public:
    Machine();
    ~Machine();

    // Tokens, expanded innermost first: $(user) $(dom) $(sid) $(rid) $(dir)
    // $(domsid) (the SID of the user's domain)
    // and $(sys:N) (its text for error N, without its line end) are the
    // machine's; $(N*t) is the text t N times, $(len:N) a path of N
    // characters in the machine's folder, $(short:P) the 8.3 short name of
    // the path P, $(pw) the passwd file, $(acp) the ANSI code page,
    // $(fields) the default entry from its password to its home field,
    // $(printed:X) the user's entry under the login name X as the program
    // prints it (a line feed first) and $(filed:X) as it reaches the file
    // (CR LF first).
    std::string Expand(std::string text) const;
    // A set-up step, "<verb>[:<path>][=<value>]" (see the table).
    void Arrange(const std::string& step);
    // Runs started together, each to its end.
    std::vector<Outcome> Run(const std::vector<Words>& runs);
    Outcome Run(const Words& words) {
        return Run(std::vector<Words>{words})[0];
    }
    // A file's bytes, "<dir>" or "<none>"; "<path>?attributes" its hidden and
    // system attributes ("HS"), "<path>?name" the name its folder stores,
    // "<path>?acl" its access list as SDDL text.
    std::string FileState(const std::string& path) const;
    // No run leaves a file of its own behind beside `passwd`.
    void ExpectNoLeftovers(const std::string& passwd) const;

  private:
    std::string dir_;
    std::vector<HANDLE> held_;
    std::string faults_;  // the control file's lines for the preload library
    std::string pw_;      // the passwd file when not $(dir)\etc\passwd
    std::string cwd_;     // the runs' current folder when not $(dir)
    int runs_ = 0;
    bool outFails_ = false;
};

// What the C runtime's text mode makes of a text: every "\n" a CR LF.
std::string TextMode(std::string text);
// Byte for byte; a failure shows where the two part, not a large file whole.
::testing::AssertionResult Same(const std::string& got, const std::string& want);

// A row runs on the 64-bit exe, the 32-bit exe, or both.
enum : unsigned { kWine64 = 1, kWine32 = 2, kBoth = 3 };
constexpr unsigned kThisExe = sizeof(void*) == 8 ? kWine64 : kWine32;

struct Row {
    const char* name;
    unsigned where;
    std::string words;    // blank-separated
    std::string machine;  // set-up steps, separated by '|'
    std::string out;      // each "\n" as the runtime writes it: CR LF
    std::string err;
    int status;
    std::string files = "";  // "<path>=<bytes>", "<dir>" or "<none>", separated by '|'
};

void PrintTo(const Row& row, std::ostream* out);
// Runs the row on a machine of its own and checks all it says.
void CheckRow(const Row& row);
