#include "account/account.h"

#include <cstring>

#include "text.h"

static char g_sidText[kSidTextSize];

const char* SidPartsToText(unsigned authority, const uint32_t* subAuthorities, unsigned count) {
    // Only the low byte of the authority is shown: every authority the
    // system hands out fits in it.
    FormatText(g_sidText, sizeof g_sidText, "S-1-%u", authority & 0xFFu);
    // A valid SID has at most 15 sub-authorities; stopping there keeps a
    // damaged count from reading past the SID.
    for (unsigned index = 0; index < count && index < kSidSubAuthorityMax; ++index) {
        char number[16];
        FormatText(number, sizeof number, "-%lu",
                   static_cast<unsigned long>(subAuthorities[index]));
        AppendText(g_sidText, sizeof g_sidText, number);
    }
    return g_sidText;
}

// A SID as the system lays it out: revision, sub-authority count, six bytes
// of identifier authority, then the sub-authorities, each a DWORD.
bool AppendRid(const unsigned char* domainSid, uint32_t rid, unsigned char* sid, size_t size) {
    const unsigned count = domainSid[1];
    const size_t length = 8 + 4 * count;
    if (count >= kSidSubAuthorityMax || length + 4 > size) {
        return false;
    }
    memcpy(sid, domainSid, length);
    sid[1] = static_cast<unsigned char>(count + 1);
    memcpy(sid + length, &rid, sizeof rid);
    return true;
}
