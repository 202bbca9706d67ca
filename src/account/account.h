// Account resolution: from a Windows user name (and domain) to the account's
// record and security identifier.
#pragma once

#include "platform/platform.h"
#include "request.h"

struct AccountInfo {
    char accountName[1024];  // domain\user as typed, or the user alone
    char userName[260];      // the account database's spelling
    DWORD userId;
    DWORD groupId;  // primary group, plus 10000 for a domain
    char fullName[512];
    BYTE sid[1024];  // meaningful only when sidFound
    bool sidFound;
    char referencedDomain[256];
    USER_INFO_3* accountRecord;  // given back after the entry is written
};

// Fills `account`; 0 to go on, 1 to end the run (a message was written).
int ResolveAccount(const UserRequest* request, AccountInfo* account);

// UTF-16 to the ANSI code page; NULL gives the empty text. A text that does
// not fit is cut at the last whole character that fits.
void WideToNarrow(LPCWSTR wide, char* destination, int size);

// The text of a valid SID: "S-1-", the authority byte (at most 3 digits) and
// up to 15 sub-authorities of at most 11 characters ("-4294967295"): 172
// and the terminator.
enum { kSidTextSize = 173 };

// "S-1-..." for a valid SID, in one static buffer that the next call
// overwrites.
const char* SidToText(PSID sid);
