// Legacy listing mode: no account database to ask, so the administrator and
// the logged-on user get entries with fixed ids and a user id made from the
// user name.
#include "cli/legacy.h"

#include <cstdint>

#include "passwd/passwd.h"

// Computed user ids lie in 501..999, clear of the administrator's 500.
static const uint32_t kLegacyUidBase = 501;
static const uint32_t kLegacyUidSpan = 499;

DWORD LegacyUid(const char* name) {
    uint32_t sum = 0;
    uint32_t k = 0;
    for (const char* c = name; *c != '\0'; ++c, ++k) {
        // Bytes above 0x7F enter as negative values, widened with their sign;
        // only a to z fold, whatever the code page.
        int32_t value = static_cast<signed char>(*c);
        if (value >= 'a' && value <= 'z') {
            value -= 'a' - 'A';
        }
        uint32_t shift = (6u * k) % 25u;
        sum += static_cast<uint32_t>(value) << shift;
    }
    return static_cast<DWORD>(sum % kLegacyUidSpan + kLegacyUidBase);
}

void ListLegacyEntries(const char* homePath) {
    const char* homePrefix = homePath[0] != '\0' ? homePath : "/home/";
    WriteAdminEntry(homePrefix);

    char userName[256];
    DWORD size = sizeof userName;
    if (!GetUserNameA(userName, &size) || userName[0] == '\0') {
        return;
    }
    WriteUserEntry(userName, LegacyUid(userName), homePrefix);
}
