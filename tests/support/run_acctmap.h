// Runs the real acctmap binary on a machine profile and captures what it
// says: the end-to-end tests compare bytes, CR LF included.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

// A fresh folder for one test, removed by the caller's TempDir at the end.
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

// Runs the binary with the given words after word 0. `profile` is the TOML
// text of the machine, written to <dir>/machine.toml; an empty profile runs
// the built-in example machine. `argv0` replaces word 0 when not empty.
RunResult RunAcctmap(const TempDir& dir, const std::string& profile,
                     const std::vector<std::string>& words, const std::string& argv0 = "");

// "\n" -> "\r\n", for writing expectations as the program's text.
std::string Crlf(const std::string& text);
