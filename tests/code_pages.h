// The lead-byte ranges that GetCPInfo gives for the double-byte ANSI code
// pages, so that the host tables run the rules as those Windows run them.
// Every byte from 0x81 to 0x9F is a lead byte in all four.
#pragma once

#include <vector>

#include "text.h"

struct CodePage {
    unsigned number;
    LeadBytes lead;
};

inline std::vector<CodePage> DoubleByteCodePages() {
    static const unsigned char k932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    static const unsigned char kOthers[] = {0x81, 0xFE, 0, 0};
    return {{932, MakeLeadBytes(k932, sizeof k932)},
            {936, MakeLeadBytes(kOthers, sizeof kOthers)},
            {949, MakeLeadBytes(kOthers, sizeof kOthers)},
            {950, MakeLeadBytes(kOthers, sizeof kOthers)}};
}

// A single-byte code page (1252) or UTF-8: no lead bytes.
inline LeadBytes NoLeadBytes() {
    return MakeLeadBytes(nullptr, 0);
}

// The double-byte code pages, and 1252 last.
inline std::vector<CodePage> AllCodePages() {
    std::vector<CodePage> pages = DoubleByteCodePages();
    pages.push_back({1252, NoLeadBytes()});
    return pages;
}
