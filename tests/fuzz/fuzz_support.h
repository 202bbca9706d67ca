// What the fuzz targets share: a failed check that stops the fuzzer with the
// input, a scratch folder, and captured standard streams.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sim/sim_machine.h"

// A broken promise is a finding: libFuzzer keeps the input that led to it.
#define FUZZ_CHECK(condition, ...)                                                        \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                                 \
            fputc('\n', stderr);                                                          \
            abort();                                                                      \
        }                                                                                 \
    } while (0)

// A folder of this process for the machine's drive, in memory when the host
// has a tmpfs: the rewrite flushes every file to the disk.
inline const std::string& ScratchFolder() {
    static std::string folder = [] {
        std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                              "/acctmap-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            perror("mkdtemp");
            abort();
        }
        return pattern;
    }();
    return folder;
}

// The program's standard output and error, caught in memory files.
struct CapturedStreams {
    int out = memfd_create("stdout", 0);
    int err = memfd_create("stderr", 0);
};

inline CapturedStreams& Captured() {
    static CapturedStreams streams;
    return streams;
}

// Empties both memory files and points the program's streams at them.
inline void StartCapture() {
    CapturedStreams& streams = Captured();
    for (int fd : {streams.out, streams.err}) {
        if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
            abort();
        }
    }
    SimSetStandardStreams(streams.out, streams.err);
}

inline std::string ReadAll(int fd) {
    std::string bytes;
    char chunk[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<size_t>(got));
    }
    return bytes;
}

// Flushes the program's streams (by switching them back) and returns what
// each one received.
inline void StopCapture(std::string* out, std::string* err) {
    SimSetStandardStreams(1, 2);
    *out = ReadAll(Captured().out);
    *err = ReadAll(Captured().err);
}

// As the Windows runtime writes text: every line feed goes out as CR LF.
inline std::string TextMode(const std::string& text) {
    std::string bytes;
    for (char c : text) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    return bytes;
}

// The first difference of two byte strings, for a failure message.
inline std::string FirstDifference(const std::string& got, const std::string& want) {
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) {
        ++at;
    }
    return std::to_string(got.size()) + " bytes instead of " + std::to_string(want.size()) +
           ", first difference at " + std::to_string(at);
}
