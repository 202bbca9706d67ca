// The passwd line filter for any passwd bytes and set of login names, held
// against an independent model, with blocks small enough that lines outgrow
// them, reads that stop short at any length, and a name table small enough
// that its probes wrap and collide; in a single-byte code page, or in code
// page 932, whose second bytes include A-Z.
// Input: byte 0 the longest read (1 + its value), bytes 1-2 the filter's
// block sizes (an odd byte 1: code page 932), the login names
// (tab-separated) up to a line feed, then the passwd file.
#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "memory_io.h"
#include "passwd/filter.h"

namespace {

bool g_doubleByte = false;

// A-Z to a-z, but the byte after a lead byte of code page 932 (81-9F,
// E0-FC) when g_doubleByte.
std::string Folded(std::string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (g_doubleByte && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c + 32);
        }
    }
    return text;
}

// The model: every line (up to its line feed) that has a ':' and whose name
// is none of the login names (folded, all distinct), or that holds a CR not
// followed by a LF, a bare line feed made CR LF.
std::string Model(const std::string& passwd, const std::vector<std::string>& logins) {
    std::string out;
    for (size_t start = 0, end; start < passwd.size(); start = end) {
        end = std::min(passwd.find('\n', start), passwd.size() - 1) + 1;
        std::string line = passwd.substr(start, end - start);
        const size_t colon = line.find(':');
        bool loneCr = false;
        for (size_t cr = line.find('\r'); cr != std::string::npos; cr = line.find('\r', cr + 1)) {
            loneCr = loneCr || cr + 1 == line.size() || line[cr + 1] != '\n';
        }
        if (loneCr || (colon != std::string::npos &&
                       std::find(logins.begin(), logins.end(), Folded(line.substr(0, colon))) ==
                           logins.end())) {
            const size_t lf = line.size() - 1;
            out += line[lf] == '\n' && (lf == 0 || line[lf - 1] != '\r')
                       ? line.substr(0, lf) + "\r\n"
                       : line;
        }
    }
    return out;
}

// The names between tabs, an empty one too.
std::vector<std::string> Split(const std::string& names) {
    std::vector<std::string> parts;
    std::istringstream in(names + '\t');
    for (std::string part; std::getline(in, part, '\t');) {
        parts.push_back(part);
    }
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string old(reinterpret_cast<const char*>(data), size);
    const size_t lineFeed = old.find('\n', 3);
    if (size < 3 || lineFeed == std::string::npos || old.find('\0', 3) < lineFeed) {
        return 0;
    }
    // The set holds the names' bytes, not copies: they outlive the filter.
    const std::vector<std::string> given = Split(old.substr(3, lineFeed - 3));
    old.erase(0, lineFeed + 1);

    // Names of 1 to 255 bytes, as the program lets through; the set refuses
    // a second name equal to one it holds, and a ninth in 16 slots.
    static const unsigned char k932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    g_doubleByte = (data[1] & 1) != 0;
    const LeadBytes lead = MakeLeadBytes(k932, g_doubleByte ? sizeof k932 : 0);
    static NameSlot slots[16];
    NameSet set;
    InitNameSet(&set, slots, 16, &lead);
    std::vector<std::string> logins;  // folded
    for (const std::string& name : given) {
        if (name.empty() || name.size() > 255) {
            return 0;
        }
        const bool twice = std::find(logins.begin(), logins.end(), Folded(name)) != logins.end();
        uint32_t tag = 0;
        const NameAddResult added =
            AddName(&set, name.c_str(), name.size(), static_cast<uint32_t>(logins.size()), &tag);
        Check(added == (logins.size() == 8 ? kNameSetFull
                        : twice            ? kNameTaken
                                           : kNameAdded),
              "the set adds each new name while half its slots are free");
        if (added == kNameAdded) {
            logins.push_back(Folded(name));
        } else if (added == kNameTaken) {
            Check(logins[tag] == Folded(name), "a taken name tells which name holds it");
        }
    }

    static char in[kFilterBlockMinimum + 255 * 9];
    static char out[256];
    const FilterBuffers buffers = {in, kFilterBlockMinimum + data[1] * 9u, out, 1 + data[2] % 255u};
    MemorySource source = {&old, 0, 1 + data[0] * 37u};
    std::string written;
    const FilterIo io = MemoryIo(&source, &written);
    Check(FilterPasswdLines(&io, &set, "\n-tail-", &buffers) == 0, "filter");
    Check(written == Model(old, logins) + "\r\n-tail-", "the filter keeps the model's lines");
    return 0;
}
