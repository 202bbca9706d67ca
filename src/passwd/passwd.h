// Passwd output: the entry layouts and the rewrite of the passwd file.
#pragma once

#include <cstdio>

#include "account/account.h"
#include "cli/user_request.h"
#include "home/home.h"

// The NT-mode entry: a line feed first, none at the end.
void WritePasswdEntry(FILE* stream, const char* loginName, const AccountInfo* account,
                      const HomeLocation* home);

// The legacy layouts, on standard output.
void WriteAdminEntry(const char* homePrefix);
void WriteUserEntry(const char* userName, DWORD userId, const char* homePrefix);

// Puts the entry into the passwd file (keeping "<file>.bak") or on standard
// output, and gives back the account record. Returns the exit status.
int RewritePasswdFile(const UserRequest* request, AccountInfo* account, const HomeLocation* home);
