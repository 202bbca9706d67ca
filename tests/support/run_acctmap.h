// What the host tests share: a temporary folder, the real acctmap binary run
// on a machine profile (the end-to-end tests compare bytes, CR LF included),
// the machine of the passwd tests and a fixture that loads a machine in-process.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

// A fresh folder for one test, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const {
        return path_;
    }
    // Writes a file (creating folders) relative to the folder; returns its path.
    std::string Write(const std::string& relative, const std::string& content) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

  private:
    std::string path_;
};

// Starts the binary in the folder without waiting, on <dir>/machine.toml when
// it exists (else on the built-in example machine). Its standard output and
// error go to <dir>/<tag>.out and <dir>/<tag>.err. `argv0` replaces word 0.
pid_t StartAcctmap(const TempDir& dir, const std::vector<std::string>& words,
                   const std::string& tag, const std::string& argv0 = "");
// The exit status, or 128 + the signal that ended the process.
int WaitFor(pid_t child);

// Runs the binary to its end. `profile` is the machine's TOML text; an empty
// profile runs the built-in example machine.
RunResult RunAcctmap(const TempDir& dir, const std::string& profile,
                     const std::vector<std::string>& words, const std::string& argv0 = "");

// Byte for byte, but a failure on a large file is reported by its first
// difference rather than printed whole.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want);

// The machine of the passwd tests: the domain account SALES\jdoe, whose
// profile lies under the home mount, a local jdoe without an identifier, and
// od:d, whose fields test the entry's edges. It ends in [domains], so a test
// may add a domain by appending a line.
extern const char kPasswdMachine[];

// SALES\jdoe's entry under a login name, as it reaches a file or the console.
std::string JdoeEntry(const std::string& login = "SALES\\jdoe");

// Runs acctmap for SALES\jdoe with the words given after -u and -d.
RunResult RunJdoe(const TempDir& dir, const std::vector<std::string>& words,
                  const std::string& profile = kPasswdMachine);

// A simulated machine loaded in this process, with standard error captured.
class SimMachineTest : public ::testing::Test {
  protected:
    void TearDown() override;
    // Drive folders resolve against the test's own folder; standard error
    // starts empty.
    void Load(const std::string& toml);
    std::string Stderr();

    TempDir dir_;
    int errFd_ = -1;
};
