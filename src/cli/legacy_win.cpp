// Legacy listing mode: the administrator and the logged-on user get entries
// with fixed ids and a user id made from the user name.
#include "cli/legacy.h"
#include "passwd/passwd.h"
#include "platform/platform.h"

void ListLegacyEntries(const char* homePath) {
    const char* homePrefix = homePath[0] != '\0' ? homePath : "/home/";
    WriteAdminEntry(homePrefix);

    char userName[kNameSize];
    DWORD size = sizeof userName;
    if (!GetUserNameA(userName, &size) || userName[0] == '\0') {
        return;
    }
    WriteUserEntry(userName, LegacyUid(userName), homePrefix);
}
