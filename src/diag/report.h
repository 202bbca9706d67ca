// Diagnostics: messages on standard error, and the system's own words for an
// error code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "printf_format.h"

// Room for any message: the longest text one echoes is a registry value of
// 1023 UTF-16 units, up to three bytes each in a UTF-8 code page, behind an
// accounts file's line prefix; the system's texts are shorter still.
enum { kMessageSize = 4096 };

// Writes a message of messages.h on standard error. Every control byte of
// what it echoes is shown as ^X (^H, ^[, ^J, ^?), so that a name cannot move
// the cursor or forge a line; the message's own closing line feed stays one.
void PrintError(const char* format, ...) ACCTMAP_PRINTF(1, 2);

// While set (not NULL), every message and system error report starts with
// `prefix`, so that the stages' own messages say which account they are
// about. The text stays the caller's.
void SetMessagePrefix(const char* prefix);

// The next message completes a report begun without a line end (a system
// error report): it takes no prefix.
void ContinueReport();

// Writes the prefix (see SetMessagePrefix) as PrintError shows it, unless the
// message continues a report.
void WritePrefix();

// The system's text for an error code into `text` (kMessageSize bytes), as
// the system words it but without its own line end (a CR LF, which the
// runtime's text mode would write as CR CR LF); false when it has none.
bool SystemMessage(uint32_t code, char* text);

// Writes "acctmap (line): [code] text" or "acctmap (line): error code" and a
// line end on standard error; the next message continues the report.
void ReportSystemError(uint32_t code, int line);
