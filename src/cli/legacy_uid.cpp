// The legacy listing's user id: there is no account database to ask, so the
// id is made from the user name.
#include "cli/legacy.h"

// Computed user ids lie in 501..999, clear of the administrator's 500.
static const uint32_t kLegacyUidBase = 501;
static const uint32_t kLegacyUidSpan = 499;

uint32_t LegacyUid(const char* name) {
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
    return sum % kLegacyUidSpan + kLegacyUidBase;
}
