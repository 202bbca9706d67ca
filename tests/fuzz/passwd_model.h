// An independent model of the passwd line filter, for the fuzz targets to
// hold the program to.
#pragma once

#include <string>

inline char FoldAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The lines that must reach the new file, in order: every line with a ':'
// whose name (the text before its first ':') is not the login name, ASCII
// letters compared without case. A CR LF pair reads as a line feed; each
// line keeps its own line feed, the last one none if the file had none.
inline std::string KeptLines(const std::string& passwd, const std::string& login) {
    std::string kept;
    std::string line;
    auto decide = [&]() {
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            bool same = colon == login.size();
            for (size_t i = 0; same && i < colon; ++i) {
                same = FoldAsciiLetter(line[i]) == FoldAsciiLetter(login[i]);
            }
            if (!same) {
                kept += line;
            }
        }
        line.clear();
    };
    for (size_t i = 0; i < passwd.size(); ++i) {
        if (passwd[i] == '\r' && i + 1 < passwd.size() && passwd[i + 1] == '\n') {
            continue;  // the line feed that follows ends the line
        }
        line += passwd[i];
        if (passwd[i] == '\n') {
            decide();
        }
    }
    if (!line.empty()) {
        decide();
    }
    return kept;
}

// Splits the fuzz input into a login name (the bytes before the first line
// feed, when there is one within 300 bytes) and the passwd file bytes.
inline void SplitLoginAndFile(const unsigned char* data, size_t size, std::string* login,
                              std::string* passwd) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t end = all.find('\n');
    if (end == std::string::npos || end > 300) {
        *login = "bob";
        *passwd = all;
        return;
    }
    *login = all.substr(0, end);
    *passwd = all.substr(end + 1);
}
