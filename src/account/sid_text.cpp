#include "account/account.h"
#include "text.h"

static char g_sidText[kSidTextSize];

const char* SidToText(PSID sid) {
    CopyText(g_sidText, sizeof g_sidText, "S-1-");
    // Only the low byte of the authority is shown: every authority the
    // system hands out fits in it.
    char number[16];
    FormatText(number, sizeof number, "%u",
               static_cast<unsigned>(GetSidIdentifierAuthority(sid)->Value[5]));
    AppendText(g_sidText, sizeof g_sidText, number);
    // A valid SID has at most 15 sub-authorities; stopping there keeps a
    // damaged count from reading past the SID.
    for (DWORD index = 0; index < *GetSidSubAuthorityCount(sid) && index < SID_MAX_SUB_AUTHORITIES;
         ++index) {
        FormatText(number, sizeof number, "-%lu",
                   static_cast<unsigned long>(*GetSidSubAuthority(sid, index)));
        AppendText(g_sidText, sizeof g_sidText, number);
    }
    return g_sidText;
}
