#include "support/run_acctmap.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "acctmap-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Read-only files of a test must not block the clean-up.
    for (auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
    fs::path file = fs::path(path_) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream << content;
    return file.string();
}

std::string TempDir::Read(const std::string& relative) const {
    std::ifstream stream(fs::path(path_) / relative, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

bool TempDir::Exists(const std::string& relative) const {
    return fs::exists(fs::path(path_) / relative);
}

RunResult RunAcctmap(const TempDir& dir, const std::string& profile,
                     const std::vector<std::string>& words, const std::string& argv0) {
    std::string machine;
    if (!profile.empty()) {
        machine = dir.Write("machine.toml", profile);
    }
    std::string outPath = dir.path() + "/.stdout";
    std::string errPath = dir.path() + "/.stderr";

    pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) {
            _exit(125);
        }
        FILE* out = freopen(outPath.c_str(), "wb", stdout);
        FILE* err = freopen(errPath.c_str(), "wb", stderr);
        if (out == nullptr || err == nullptr) {
            _exit(125);
        }
        if (machine.empty()) {
            unsetenv("ACCTMAP_MACHINE");
        } else {
            setenv("ACCTMAP_MACHINE", machine.c_str(), 1);
        }
        std::vector<std::string> all;
        all.push_back(argv0.empty() ? std::string(ACCTMAP_BINARY) : argv0);
        all.insert(all.end(), words.begin(), words.end());
        std::vector<char*> argv;
        for (auto& word : all) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        execv(ACCTMAP_BINARY, argv.data());
        _exit(126);
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = dir.Read(".stdout");
    result.err = dir.Read(".stderr");
    fs::remove(outPath);
    fs::remove(errPath);
    return result;
}

std::string Crlf(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') {
            result += '\r';
        }
        result += c;
    }
    return result;
}
