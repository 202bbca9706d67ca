// An independent model of the passwd line filter, for the fuzz targets to
// hold the program to.
#pragma once

#include "fuzz/fuzz_support.h"

// The lines that must reach the new file, in order: every line with a ':'
// whose name (the text before its first ':') is not the login name, ASCII
// letters compared without case. A CR LF pair reads as a line feed; each
// line keeps its own line feed, the last one none if the file had none.
inline std::string KeptLines(std::string passwd, const std::string& login) {
    for (size_t at = 0; (at = passwd.find("\r\n", at)) != std::string::npos;) {
        passwd.erase(at, 1);
    }
    std::string kept;
    for (size_t start = 0, end; start < passwd.size(); start = end) {
        end = std::min(passwd.find('\n', start), passwd.size() - 1) + 1;
        std::string line = passwd.substr(start, end - start);
        size_t colon = line.find(':');
        if (colon != std::string::npos && FoldAscii(line.substr(0, colon)) != FoldAscii(login)) {
            kept += line;
        }
    }
    return kept;
}

// Splits the fuzz input into a login name (the bytes before the first line
// feed, when there is one within 300 bytes) and the passwd file bytes.
inline void SplitLoginAndFile(const unsigned char* data, size_t size, std::string* login,
                              std::string* passwd) {
    *passwd = std::string(reinterpret_cast<const char*>(data), size);
    size_t end = passwd->find('\n');
    *login = end > 300 ? "bob" : passwd->substr(0, end);
    passwd->erase(0, end > 300 ? 0 : end + 1);
}
