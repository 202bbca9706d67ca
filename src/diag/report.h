// System error reports: the system's own words for an error code, tagged
// with the program name and the reporting line.
#pragma once

#include "platform/platform.h"

// Writes "acctmap (line): [code] text" or "acctmap (line): error code" on
// standard error, without a line end of its own.
void ReportSystemError(DWORD code, int line);
