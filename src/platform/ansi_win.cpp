// The ANSI conversions without best fit, as Microsoft's security guidance
// for names asks: WC_NO_BEST_FIT_CHARS and the used-default flag checked.
#include "platform/ansi.h"

#include <cstring>

#include "platform/platform.h"

// WC_ERR_INVALID_CHARS, from Vista on: the only flag UTF-8 takes, and a
// UTF-8 ANSI code page is Windows 10's.
static const DWORD kFailOnInvalid = 0x80;

unsigned AnsiCodePage() {
    return GetACP();
}

AnsiResult WideToAnsi(const wchar_t* wide, char* out, size_t size, char replacement) {
    if (size == 0) {
        return kAnsiTooLong;
    }
    out[0] = '\0';
    const int room = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    // UTF-8 holds every character and takes no default character; what it
    // cannot hold is a lone surrogate, which it would turn into U+FFFD
    // without a word unless told to fail.
    const bool utf8 = GetACP() == CP_UTF8;
    const char fallback[2] = {replacement, '\0'};
    BOOL usedDefault = FALSE;
    // The flag is documented for CP_UTF8 only, not for CP_ACP that is UTF-8.
    const UINT page = utf8 ? CP_UTF8 : CP_ACP;
    int written =
        WideCharToMultiByte(page, utf8 ? kFailOnInvalid : WC_NO_BEST_FIT_CHARS, wide, -1, out, room,
                            utf8 ? NULL : fallback, utf8 ? NULL : &usedDefault);
    if (written <= 0 && utf8 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
        // Shown with U+FFFD in its place, and refused.
        usedDefault = TRUE;
        written = WideCharToMultiByte(page, 0, wide, -1, out, room, NULL, NULL);
    }
    if (written <= 0) {
        out[0] = '\0';
        return kAnsiTooLong;
    }
    out[written - 1] = '\0';
    return usedDefault ? kAnsiUnmappable : kAnsiExact;
}

bool AnsiToWide(const char* text, wchar_t* out, size_t units) {
    if (units == 0) {
        return false;
    }
    const int room = units > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(units);
    const int written = MultiByteToWideChar(CP_ACP, 0, text, -1, out, room);
    if (written <= 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

const LeadBytes* AnsiLeadBytes() {
    static LeadBytes lead;
    static bool known = false;
    if (!known) {
        CPINFO info;
        // Without an answer no byte is taken for a lead byte: the rules then
        // read bytes as a single-byte code page's.
        if (!GetCPInfo(CP_ACP, &info)) {
            memset(&info, 0, sizeof info);
        }
        lead = MakeLeadBytes(info.LeadByte, sizeof info.LeadByte);
        known = true;
    }
    return &lead;
}
