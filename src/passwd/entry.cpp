// The passwd entry layouts: the NT-mode entry of one account and the two
// lines of the legacy listing, and the login name the entry goes under.
#include <cstring>

#include "diag/report.h"
#include "messages.h"
#include "passwd/passwd.h"
#include "text.h"

// The fixed ids of the legacy listing.
static const unsigned long kAdministratorUid = 500;
static const unsigned long kLegacyGid = 544;

// A ':' or a control byte in a comment text would split the entry into
// more fields or lines; there it is written as a blank instead.
static void CopyBlanked(char* destination, size_t size, const char* source) {
    size_t length = strnlen(source, size - 1);
    for (size_t i = 0; i < length; ++i) {
        destination[i] = BreaksPasswdLine(static_cast<unsigned char>(source[i])) ? ' ' : source[i];
    }
    destination[length] = '\0';
}

size_t FormatPasswdEntry(char* buffer, size_t size, const char* loginName,
                         const AccountInfo* account, const char* sidText,
                         const HomeLocation* home) {
    char fullName[sizeof account->fullName];
    char domain[sizeof account->referencedDomain];
    char userName[sizeof account->userName];
    CopyBlanked(fullName, sizeof fullName, account->fullName);
    CopyBlanked(domain, sizeof domain, account->sidFound ? account->referencedDomain : "");
    CopyBlanked(userName, sizeof userName, account->userName);
    bool fits = FormatText(buffer, size, LAYOUT_ENTRY, loginName,
                           static_cast<unsigned long>(account->userId),
                           static_cast<unsigned long>(account->groupId), fullName,
                           fullName[0] ? "," : "", "U-", domain, domain[0] ? "\\" : "", userName,
                           account->sidFound ? "," : "", sidText, home->posixPath);
    return fits ? strlen(buffer) : 0;
}

size_t EntryLoginLength(const char* entry) {
    // The login name holds no ':' (CheckLoginName), and the layout puts one
    // after it.
    return static_cast<size_t>(strchr(entry + 1, ':') - (entry + 1));
}

void WriteAdminEntry(const char* homePrefix) {
    printf(LAYOUT_ADMIN, kAdministratorUid, kLegacyGid, homePrefix);
}

void WriteUserEntry(const char* userName, uint32_t userId, const char* homePrefix) {
    printf(LAYOUT_USER, userName, static_cast<unsigned long>(userId), kLegacyGid, userName,
           homePrefix, userName);
}

const char* LoginName(const UserRequest* request, const AccountInfo* account) {
    return request->sshLoginName[0] != '\0' ? request->sshLoginName : account->accountName;
}

int CheckLoginName(const char* loginName) {
    if (strlen(loginName) > kLoginNameMax) {
        PrintError(MSG_LOGIN_TOO_LONG, static_cast<unsigned>(kLoginNameMax), loginName);
        return 1;
    }
    if (!FitsPasswdField(loginName)) {
        PrintError(MSG_LOGIN_INVALID, loginName);
        return 1;
    }
    return 0;
}
