// Account resolution: from a Windows user name (and domain) to the account's
// record and security identifier.
#pragma once

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

// Fills `account`; 0 to go on, 1 to end the run (a message was written).
int ResolveAccount(const UserRequest* request, AccountInfo* account);

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

// The same text from the SID's parts: the low byte of its identifier
// authority and its sub-authorities (at most kSidSubAuthorityMax are shown).
const char* SidPartsToText(unsigned authority, const uint32_t* subAuthorities, unsigned count);
