// Account lookup through the account services (netapi32) and the SID lookup
// of advapi32.
#include "account/account.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "diag/report.h"
#include "messages.h"
#include "platform/ansi.h"
#include "platform/platform.h"
#include "text.h"

// Group ids of domain accounts are moved up by this much so that they do not
// collide with the local machine's groups.
static const DWORD kDomainGroupOffset = 10000;

static bool IsHighSurrogate(WCHAR unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

static bool IsLowSurrogate(WCHAR unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void WideToNarrow(const wchar_t* wide, char* destination, int size) {
    if (size <= 0) {
        return;
    }
    destination[0] = '\0';
    if (wide == NULL) {
        return;
    }
    // A character the code page cannot hold becomes a blank, as a control
    // byte does in the entry (under a UTF-8 code page, where only a lone
    // surrogate cannot be held, U+FFFD): a look-alike would name another
    // account.
    if (WideToAnsi(wide, destination, size, ' ') != kAnsiTooLong) {
        return;
    }
    // Too long: the longest run of whole characters that fits beside the
    // terminator, a surrogate pair being one character.
    static wchar_t cut[kAccountFieldSize];
    size_t units = wcslen(wide);
    units = units < ARRAYSIZE(cut) - 1 ? units : ARRAYSIZE(cut) - 1;
    for (; units > 0; --units) {
        if (IsHighSurrogate(wide[units - 1]) && IsLowSurrogate(wide[units])) {
            continue;
        }
        wmemcpy(cut, wide, units);
        cut[units] = 0;
        if (WideToAnsi(cut, destination, size, ' ') != kAnsiTooLong) {
            return;
        }
    }
    destination[0] = '\0';
}

// What the entry takes of an account's record, or of its listing.
static void CopyRecordFacts(const wchar_t* name, const wchar_t* fullName, uint32_t userId,
                            uint32_t groupId, AccountInfo* account) {
    account->userId = userId;
    account->groupId = groupId;
    WideToNarrow(name, account->userName, sizeof account->userName);
    WideToNarrow(fullName, account->fullName, sizeof account->fullName);
}

// Reads the account record from `server` (NULL: the local machine) and
// copies what later stages need. 0 to go on, 1 after a message.
static int ReadAccountRecord(LPCWSTR server, LPCWSTR userWide, const UserRequest* request,
                             DWORD groupOffset, AccountInfo* account) {
    LPBYTE buffer = NULL;
    NET_API_STATUS status = NetUserGetInfo(server, userWide, 3, &buffer);
    switch (status) {
        case NERR_Success:
            break;
        case ERROR_ACCESS_DENIED:
            PrintError(MSG_ACCESS_DENIED);
            return 1;
        case NERR_UserNotFound:
            PrintError(MSG_USER_NOT_FOUND);
            return 1;
        default:
            PrintError(MSG_LOOKUP_FAILED, request->domainName);
            return 1;
    }
    USER_INFO_3* record = reinterpret_cast<USER_INFO_3*>(buffer);
    account->accountRecord = record;
    CopyRecordFacts(record->usri3_name, record->usri3_full_name, record->usri3_user_id,
                    record->usri3_primary_group_id + groupOffset, account);
    return 0;
}

int FindAccountServer(const UserRequest* request, wchar_t* server) {
    server[0] = 0;
    if (request->domainName[0] == '\0') {
        return 0;
    }
    // The last domain's answer: the lines of a batch mostly name one domain,
    // and finding its controller may take a trip over the network.
    static char knownDomain[kNameSize];
    static NET_API_STATUS knownStatus;
    static WCHAR knownServer[kPathSize];
    if (knownDomain[0] == '\0' || strcmp(knownDomain, request->domainName) != 0) {
        WCHAR domain[kNameSize];
        AnsiToWide(request->domainName, domain, ARRAYSIZE(domain));
        LPBYTE controller = NULL;
        knownStatus = NetGetDCName(NULL, domain, &controller);
        const WCHAR* name = reinterpret_cast<const WCHAR*>(controller);
        const size_t length = knownStatus == NERR_Success && name != NULL ? wcslen(name) : 0;
        if (length > 0 && length < ARRAYSIZE(knownServer)) {
            wmemcpy(knownServer, name, length + 1);
        } else if (knownStatus == NERR_Success) {
            knownStatus = NERR_DCNotFound;
        }
        if (controller != NULL) {
            NetApiBufferFree(controller);
        }
        CopyText(knownDomain, sizeof knownDomain, request->domainName);
    }
    if (knownStatus == ERROR_INVALID_NAME) {
        PrintError(MSG_DOMAIN_INVALID, request->domainName);
        return 1;
    }
    // Whatever else kept the controller unknown (no network, no such host,
    // no logon server), no other server is asked: the domain's name as a
    // server name reaches a computer of that name, whose local account would
    // be written under the domain's name.
    if (knownStatus != NERR_Success) {
        PrintError(MSG_NO_CONTROLLER);
        return 1;
    }
    wmemcpy(server, knownServer, ARRAYSIZE(knownServer));
    return 0;
}

// Looks up the account's SID and the domain that holds it. Without a SID
// the entry still works; the home directory falls back to the shared one.
static void LookUpSid(AccountInfo* account) {
    WCHAR name[kAccountFieldSize];
    WCHAR domain[kNameSize];
    DWORD sidSize = sizeof account->sid;
    DWORD domainSize = ARRAYSIZE(domain);
    SID_NAME_USE use;
    AnsiToWide(account->accountName, name, ARRAYSIZE(name));
    if (LookupAccountNameW(NULL, name, account->sid, &sidSize, domain, &domainSize, &use)) {
        account->sidFound = true;
        domain[ARRAYSIZE(domain) - 1] = 0;
        WideToNarrow(domain, account->referencedDomain, sizeof account->referencedDomain);
        return;
    }
    ReportSystemError(GetLastError(), kSidLookupReportLine);
    PrintError(MSG_SID_LOOKUP_USER, account->userName);
    account->referencedDomain[0] = '\0';
}

void FormatAccountName(const UserRequest* request, char* name, size_t size) {
    if (request->domainName[0] != '\0') {
        FormatText(name, size, "%s\\%s", request->domainName, request->windowsUserName);
    } else {
        CopyText(name, size, request->windowsUserName);
    }
}

int ResolveAccount(const UserRequest* request, const ListedAccount* listed, AccountInfo* account) {
    account->sidFound = false;
    account->referencedDomain[0] = '\0';
    account->accountRecord = NULL;
    FormatAccountName(request, account->accountName, sizeof account->accountName);
    const DWORD groupOffset = request->domainName[0] != '\0' ? kDomainGroupOffset : 0;
    // A listed account's SID is its domain's and its RID, as the system
    // makes it.
    if (listed != NULL) {
        CopyRecordFacts(listed->userName, listed->fullName, listed->rid,
                        listed->primaryGroupId + groupOffset, account);
        account->sidFound =
            listed->domainSid != NULL &&
            AppendRid(listed->domainSid, listed->rid, account->sid, sizeof account->sid);
        CopyText(account->referencedDomain, sizeof account->referencedDomain,
                 account->sidFound ? listed->referencedDomain : "");
        return 0;
    }
    WCHAR userWide[512];
    AnsiToWide(request->windowsUserName, userWide, ARRAYSIZE(userWide));
    WCHAR server[kPathSize];
    if (FindAccountServer(request, server) != 0 ||
        ReadAccountRecord(server[0] != 0 ? server : NULL, userWide, request, groupOffset,
                          account) != 0) {
        return 1;
    }
    LookUpSid(account);
    return 0;
}

const char* SidToText(const void* sid) {
    PSID readable = const_cast<void*>(sid);
    uint32_t subAuthorities[kSidSubAuthorityMax];
    unsigned count = *GetSidSubAuthorityCount(readable);
    for (unsigned index = 0; index < count && index < kSidSubAuthorityMax; ++index) {
        subAuthorities[index] = *GetSidSubAuthority(readable, index);
    }
    return SidPartsToText(GetSidIdentifierAuthority(readable)->Value[5], subAuthorities, count);
}
