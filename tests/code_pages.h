// The lead-byte ranges that GetCPInfo gives for the double-byte ANSI code
// pages, so that the host tables run the rules as those Windows run them.
// Every byte from 0x81 to 0x9F is a lead byte in all four.
#pragma once

#include <string>
#include <vector>

#include "text.h"

// Code page 932's 表 (95 5C) and ソ (83 5C) end in a backslash; ア is 83 41
// and ヂ 83 61. The same bytes are one character in 936, 949 and 950 too.
const std::string kTable = "\x95\x5c", kSo = "\x83\x5c", kA = "\x83\x41", kDi = "\x83\x61";

struct CodePage {
    unsigned number;
    LeadBytes lead;
};

// A single-byte code page (1252) or UTF-8: no lead bytes.
inline LeadBytes NoLeadBytes() {
    return MakeLeadBytes(nullptr, 0);
}

// The double-byte code pages, and 1252 last.
inline std::vector<CodePage> AllCodePages() {
    static const unsigned char k932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    static const unsigned char kOthers[] = {0x81, 0xFE, 0, 0};
    return {{932, MakeLeadBytes(k932, sizeof k932)},
            {936, MakeLeadBytes(kOthers, sizeof kOthers)},
            {949, MakeLeadBytes(kOthers, sizeof kOthers)},
            {950, MakeLeadBytes(kOthers, sizeof kOthers)},
            {1252, NoLeadBytes()}};
}
