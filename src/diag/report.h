// Diagnostics: messages on standard error, and the system's own words for an
// error code.
#pragma once

#include "platform/platform.h"
#include "text.h"

// Writes a message of messages.h on standard error. Every byte below 0x20,
// and 0x7F, of what it echoes is shown as ^X (^H, ^[, ^J, ^?), so that a
// name cannot move the cursor or forge a line; the message's own closing
// line feed stays one.
void PrintError(const char* format, ...) ACCTMAP_PRINTF(1, 2);

// Writes "acctmap (line): [code] text" or "acctmap (line): error code" on
// standard error, without a line end of its own.
void ReportSystemError(DWORD code, int line);
