// Every user account of a machine or a domain, from the account services'
// listing: the records come a page at a time, and the SID of the domain
// listed is looked up once for all of them.
#include <cstring>

#include "account/account.h"
#include "diag/report.h"
#include "messages.h"
#include "platform/ansi.h"
#include "platform/platform.h"
#include "text.h"

// What one page may take: the listing's memory stays small however large
// the domain.
enum { kListingPageBytes = 64 * 1024 };

// The SID of the domain named by the request, or of this machine's
// accounts, and the name the system gives that domain; false after the
// report, and the accounts then go without SIDs, as a single run does when
// its lookup fails.
static bool LookUpDomainSid(const UserRequest* request, unsigned char* sid, DWORD sidSize,
                            char* domain, size_t domainSize) {
    WCHAR name[kNameSize];
    DWORD nameSize = ARRAYSIZE(name);
    if (request->domainName[0] != '\0') {
        AnsiToWide(request->domainName, name, ARRAYSIZE(name));
    } else if (!GetComputerNameW(name, &nameSize)) {
        name[0] = 0;
    }
    WCHAR referenced[kNameSize];
    DWORD referencedSize = ARRAYSIZE(referenced);
    SID_NAME_USE use;
    if (name[0] != 0 &&
        LookupAccountNameW(NULL, name, sid, &sidSize, referenced, &referencedSize, &use)) {
        // A bare name may also be an account's (a user called like the
        // domain): only a domain's SID takes the RIDs.
        if (use == SidTypeDomain) {
            referenced[ARRAYSIZE(referenced) - 1] = 0;
            WideToNarrow(referenced, domain, static_cast<int>(domainSize));
            return true;
        }
        SetLastError(ERROR_NONE_MAPPED);
    }
    // Taken before the name is made ANSI, which may set another.
    const DWORD error = GetLastError();
    char shown[kNameSize];
    WideToAnsi(name, shown, sizeof shown, '?');
    ReportSystemError(error, kSidLookupReportLine);
    PrintError(MSG_SID_LOOKUP_USER, shown);
    return false;
}

// Hands each record of one page to `each`.
static void HandOutPage(const USER_INFO_3* records, DWORD count, const unsigned char* domainSid,
                        const char* domain, void (*each)(const ListedAccount*, void*),
                        void* context) {
    for (DWORD i = 0; i < count; ++i) {
        const USER_INFO_3* record = &records[i];
        const ListedAccount listed = {record->usri3_name,
                                      record->usri3_full_name,
                                      record->usri3_user_id,
                                      record->usri3_primary_group_id,
                                      (record->usri3_flags & UF_ACCOUNTDISABLE) != 0,
                                      domainSid,
                                      domain};
        each(&listed, context);
    }
}

int ListAccounts(const UserRequest* request, void (*each)(const ListedAccount*, void*),
                 void* context) {
    WCHAR server[kPathSize];
    if (FindAccountServer(request, server) != 0) {
        return 1;
    }
    unsigned char domainSid[kAccountFieldSize];
    char domain[kNameSize] = "";
    const bool sidFound =
        LookUpDomainSid(request, domainSid, sizeof domainSid, domain, sizeof domain);
    DWORD resume = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        LPBYTE buffer = NULL;
        DWORD count = 0;
        DWORD total = 0;
        // Machine and trust accounts are not users that log on.
        status = NetUserEnum(server[0] != 0 ? server : NULL, 3, FILTER_NORMAL_ACCOUNT, &buffer,
                             kListingPageBytes, &count, &total, &resume);
        if (status == NERR_Success || status == ERROR_MORE_DATA) {
            HandOutPage(reinterpret_cast<const USER_INFO_3*>(buffer), count,
                        sidFound ? domainSid : NULL, domain, each, context);
        }
        if (buffer != NULL) {
            NetApiBufferFree(buffer);
        }
        // A page that brings nothing yet promises more would never end.
        if (status == ERROR_MORE_DATA && count == 0) {
            status = ERROR_INVALID_DATA;
        }
    }
    if (status == ERROR_ACCESS_DENIED) {
        PrintError(MSG_ACCESS_DENIED);
        return 1;
    }
    if (status != NERR_Success) {
        PrintError(MSG_LISTING_FAILED, static_cast<unsigned long>(status));
        return 1;
    }
    return 0;
}
