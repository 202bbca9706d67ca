// What the fuzz targets share: the standard headers they use, a failed check
// that stops the fuzzer with the input, a machine whose only drive is a
// scratch folder, runs with captured standard streams, and the state of files
// on that drive.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/sim/sim_machine.h"

// A broken promise is a finding: libFuzzer keeps the input that led to it.
#define FUZZ_CHECK(condition, ...)                                                                \
    ((condition) ? (void)0                                                                        \
                 : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), \
                    fprintf(stderr, __VA_ARGS__), fputc('\n', stderr), abort()))

// A folder of this process for the machine's drive, in memory when the host
// has a tmpfs (the rewrite flushes every file to the disk); removed at exit.
inline std::string ScratchFolder() {
    static char folder[64] = "";
    if (folder[0] == '\0') {
        snprintf(folder, sizeof folder, "%s/acctmap-fuzz-XXXXXX",
                 access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        FUZZ_CHECK(mkdtemp(folder) != nullptr, "mkdtemp");
        atexit([] { std::filesystem::remove_all(folder); });
    }
    return folder;
}

// Loads a machine that must load; `drive` adds the scratch folder as C:.
inline void LoadMachine(const std::string& profile, bool drive = true) {
    std::string text = profile + (drive ? "\n[drives]\nC = '" + ScratchFolder() + "'\n" : "");
    char error[512];
    FUZZ_CHECK(SimLoadProfileText(text.c_str(), nullptr, error, sizeof error), "%s", error);
}

struct Outcome {
    int status;
    std::string out, err;
};

// Runs `program` with its standard streams caught in memory files.
template <typename Program>
Outcome Run(Program program) {
    static const int out = memfd_create("stdout", 0);
    static const int err = memfd_create("stderr", 0);
    auto bytes = [](int fd) {
        std::string text(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
        FUZZ_CHECK(pread(fd, &text[0], text.size(), 0) == lseek(fd, 0, SEEK_END), "memfd");
        return text;
    };
    FUZZ_CHECK(ftruncate(out, 0) == 0 && ftruncate(err, 0) == 0 && lseek(out, 0, SEEK_SET) == 0 &&
                   lseek(err, 0, SEEK_SET) == 0,
               "memfd");
    SimSetStandardStreams(out, err);
    int status = program();
    SimSetStandardStreams(1, 2);  // flushes both
    return {status, bytes(out), bytes(err)};
}

// Every NetApi buffer, registry key and FormatMessage buffer given back once.
inline void CheckReleases() {
    FUZZ_CHECK(SimOutstandingBuffers() == 0 && SimOutstandingLocalBuffers() == 0,
               "a buffer or key was not given back");
    FUZZ_CHECK(SimBadReleases() == 0, "something was given back twice");
}

// A file of the drive as "+<bytes>", or "-" when it does not exist.
inline std::string FileState(const char* name) {
    std::ifstream stream(ScratchFolder() + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return stream ? "+" + bytes.str() : "-";
}

inline void WriteFile(const char* name, const std::string& bytes) {
    std::ofstream(ScratchFolder() + "/" + name, std::ios::binary) << bytes;
}

inline std::string FoldAscii(std::string text) {
    for (char& c : text) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    return text;
}

// As the Windows runtime writes text: every line feed goes out as CR LF.
inline std::string TextMode(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        bytes += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return bytes;
}

// Where two byte strings part, for a failure message.
inline std::string FirstDifference(const std::string& got, const std::string& want) {
    auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    return std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", apart at " + std::to_string(at);
}
