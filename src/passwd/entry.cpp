// The passwd entry layouts: the NT-mode entry of one account and the two
// lines of the legacy listing.
#include <cstring>

#include "passwd/passwd.h"
#include "platform/platform.h"

// A ':' or a control byte in a comment text would split the entry into more
// fields or lines; there it is written as a blank instead.
static void CopyBlanked(char* destination, size_t size, const char* source) {
    size_t length = strnlen(source, size - 1);
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(source[i]);
        destination[i] = (c == ':' || c < 0x20) ? ' ' : source[i];
    }
    destination[length] = '\0';
}

void WritePasswdEntry(FILE* stream, const char* loginName, const AccountInfo* account,
                      const HomeLocation* home) {
    char fullName[sizeof account->fullName];
    char domain[sizeof account->referencedDomain];
    char userName[sizeof account->userName];
    CopyBlanked(fullName, sizeof fullName, account->fullName);
    CopyBlanked(domain, sizeof domain, account->sidFound ? account->referencedDomain : "");
    CopyBlanked(userName, sizeof userName, account->userName);

    // The identifier text lives in a buffer that the next call overwrites:
    // take it right before the line is written.
    const char* sidText = "";
    if (account->sidFound) {
        sidText = SidToText(const_cast<BYTE*>(account->sid));
    }
    fprintf(stream, "\n%s:unused_by_nt/2000/xp:%lu:%lu:%s%s%s%s%s%s%s%s:%s:/bin/switch", loginName,
            static_cast<unsigned long>(account->userId),
            static_cast<unsigned long>(account->groupId), fullName, fullName[0] ? "," : "", "U-",
            domain, domain[0] ? "\\" : "", userName, account->sidFound ? "," : "", sidText,
            home->posixPath);
}

void WriteAdminEntry(const char* homePrefix) {
    fprintf(RtStdout(), "admin:use_crypt:%lu:%lu:Administrator:%sadmin:/bin/bash\n", 500ul, 544ul,
            homePrefix);
}

void WriteUserEntry(const char* userName, DWORD userId, const char* homePrefix) {
    fprintf(RtStdout(), "%s:use_crypt:%lu:%lu:%s:%s%s:/bin/bash\n", userName,
            static_cast<unsigned long>(userId), 544ul, userName, homePrefix, userName);
}
