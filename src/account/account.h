// Account resolution: from a Windows user name (and domain) to the account's
// record and security identifier.
#pragma once

#include <cstddef>
#include <cstdint>

#include "request.h"

// The account name (domain\user as typed: 255 + 1 + 259) and the SID as the
// system writes it both get this much room.
enum { kAccountFieldSize = 1024 };

struct AccountInfo {
    char accountName[kAccountFieldSize];  // domain\user as typed, or the user alone
    char userName[kPathSize];             // the account database's spelling
    uint32_t userId;
    uint32_t groupId;  // primary group, plus 10000 for a domain
    char fullName[512];
    unsigned char sid[kAccountFieldSize];  // meaningful only when sidFound
    bool sidFound;
    char referencedDomain[kNameSize];
    void* accountRecord;  // the account services' record, given back after the entry
};

// What a listing of the account database gives of one account, beside the
// SID and the name of the domain (or machine) listed: no record to read, no
// SID to look up.
struct ListedAccount {
    const wchar_t* userName;
    const wchar_t* fullName;
    uint32_t rid;
    uint32_t primaryGroupId;
    bool disabled;
    const unsigned char* domainSid;  // NULL when it could not be looked up
    const char* referencedDomain;
};

// Fills `account` from its record and its SID lookup, or from `listed` when
// not NULL; 0 to go on, 1 to end the run (a message was written).
int ResolveAccount(const UserRequest* request, const ListedAccount* listed, AccountInfo* account);

// The account's name as the request gives it: domain\\user, or the user
// alone, into `name` (`size` bytes).
void FormatAccountName(const UserRequest* request, char* name, size_t size);

// The account database to ask into `server` (kPathSize units): empty for
// the local machine's, else one of the domain's controllers. 0 to go on, 1
// after a message.
int FindAccountServer(const UserRequest* request, wchar_t* server);

// The line number that tags a SID lookup's failure report; administrators
// and scripts know the failure by it.
enum { kSidLookupReportLine = 301 };

// Lists the user accounts of the request's domain, or of this machine, page
// by page, handing each to `each`. 0 when the listing came whole, 1 after
// the message: a page that fails ends it.
int ListAccounts(const UserRequest* request, void (*each)(const ListedAccount*, void*),
                 void* context);

// UTF-16 to the ANSI code page; NULL gives the empty text. A text that does
// not fit is cut at the last whole character that fits.
void WideToNarrow(const wchar_t* wide, char* destination, int size);

// The text of a valid SID: "S-1-", the authority byte (at most 3 digits) and
// up to 15 sub-authorities of at most 11 characters ("-4294967295"): 172
// and the terminator.
enum { kSidTextSize = 173, kSidSubAuthorityMax = 15 };

// "S-1-..." for a valid SID, in one static buffer that the next call
// overwrites.
const char* SidToText(const void* sid);

// The SID of an account of the domain whose SID is `domainSid`: that SID
// with the account's RID as one more sub-authority, into `sid` (`size`
// bytes). False when it would not be a valid SID or does not fit.
bool AppendRid(const unsigned char* domainSid, uint32_t rid, unsigned char* sid, size_t size);

// The same text from the SID's parts: the low byte of its identifier
// authority and its sub-authorities (at most kSidSubAuthorityMax are shown).
const char* SidPartsToText(unsigned authority, const uint32_t* subAuthorities, unsigned count);
