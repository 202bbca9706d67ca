// Passwd output: the entry layouts and the rewrite of the passwd file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "account/account.h"
#include "home/home.h"
#include "passwd/name_set.h"
#include "request.h"

// Room for any NT-mode entry: its fields are bounded by their buffers, and
// the fixed text and two numbers take well under 100 bytes.
enum {
    kPasswdEntrySize = kNameSize + sizeof(AccountInfo::fullName) + kNameSize + kPathSize +
                       kSidTextSize + kPathSize + 100
};

// The NT-mode entry into `buffer` (a line feed first, none at the end, line
// feeds as single LFs); `sidText` is the SID's text or "" when there is
// none. Returns its length, or 0 when it does not fit.
size_t FormatPasswdEntry(char* buffer, size_t size, const char* loginName,
                         const AccountInfo* account, const char* sidText, const HomeLocation* home);

// The length of the login name of an entry as FormatPasswdEntry lays it
// out: from after its line feed to the first ':'.
size_t EntryLoginLength(const char* entry);

// The legacy layouts, on standard output.
void WriteAdminEntry(const char* homePrefix);
void WriteUserEntry(const char* userName, uint32_t userId, const char* homePrefix);

// The entry's login name: -s, or else the account name as typed.
const char* LoginName(const UserRequest* request, const AccountInfo* account);

// 0 when the login name can be written into a passwd line, otherwise 1
// after the message.
int CheckLoginName(const char* loginName);

// Puts `entries` (`length` bytes, each entry as FormatPasswdEntry lays it
// out) into the passwd file in one rewrite that drops every line named in
// `logins`, or on standard output when `passwdPath` is empty or the file
// cannot take them. Returns the exit status.
int WriteEntries(const char* passwdPath, const NameSet* logins, const char* entries, size_t length);
