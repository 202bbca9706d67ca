#include "diag/report.h"

#include <cstdio>

void ReportSystemError(DWORD code, int line) {
    char text[4096];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    if (length != 0) {
        fprintf(RtStderr(), "acctmap (%d): [%lu] %s", line, static_cast<unsigned long>(code), text);
    } else {
        fprintf(RtStderr(), "acctmap (%d): error %lu", line, static_cast<unsigned long>(code));
    }
}
