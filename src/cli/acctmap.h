// The command front end: run mode, options, and the hand-over to the NT-mode
// worker or the legacy listing.
#pragma once

#include <cstdio>

#include "request.h"

// The program's entry; returns the exit status (0 or 1).
int AcctmapMain(int argc, char** argv);

// Writes the usage text on the given stream.
void PrintUsage(FILE* stream);

// Resolves the account, settles its home directory and writes its entry.
// Returns the exit status.
int RunNtWorker(const UserRequest* request);
