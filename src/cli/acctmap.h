// The command front end: options, run mode, and the hand-over to the NT-mode
// worker or the legacy listing.
#pragma once

#include <cstdio>

#include "account/account.h"
#include "request.h"

// ReadOptions' result when the words leave the run to go on.
enum { kGoOn = -1 };

// Writes the usage text on the given stream.
void PrintUsage(FILE* stream);

// Reads the option words into `request`: kGoOn, or the exit status of a run
// that the words end (an error, or a request for help or the version).
int ReadOptions(int argc, char** argv, bool ntMode, UserRequest* request);

// An option's value into its field of `request`, refused (after the
// message) when longer than the field takes.
enum OptionResult { kOptionStored, kOptionUnknown, kOptionTooLong };
OptionResult StoreOption(UserRequest* request, char letter, const char* value);

// 0 when the request names its Windows user (-u), else 1 after the message:
// a run and each line of an accounts file need one.
int RequireUser(const UserRequest* request);

// One account's entry, whatever the run: its facts (its record and SID
// lookup, or `listed`), the login-name check, its home, the entry, and the
// record given back. The entry's length (a line feed first), or 0 after the
// message.
size_t AccountEntry(const UserRequest* request, const ListedAccount* listed, char* entry,
                    size_t size);

// Resolves the account, settles its home directory and writes its entry.
// Returns the exit status.
int RunNtWorker(const UserRequest* request);

// The accounts file of -b: every line resolved first, then all entries in
// one rewrite. Returns the exit status.
int RunBatch(const UserRequest* request);

// -a: every user account of the machine or the domain, listed first, then
// all entries in one rewrite. Returns the exit status.
int RunListing(const UserRequest* request);
