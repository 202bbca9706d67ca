// Home directory: from the account's profile (or -p, or the shared fallback
// directory) to the path the POSIX side reaches it by.
#pragma once

#include <cstddef>

#include "account/account.h"
#include "request.h"
#include "text.h"

struct HomeLocation {
    char windowsPath[kPathSize];
    char posixPath[kPathSize];
};

// Fills `home`; 0 to go on, 1 to end the run (a message was written).
int ResolveHomeDirectory(const UserRequest* request, const AccountInfo* account,
                         HomeLocation* home);

// Windows path to Cygwin path: "X:" becomes "/cygdrive/X", backslashes become
// slashes, but the second byte of a double-byte character (`lead`: the code
// page's lead bytes). Returns false when the result does not fit `size`
// bytes (the output is then cut, still terminated, at a whole character).
bool ToPosixPath(const char* windowsPath, const LeadBytes* lead, char* posixPath, size_t size);
