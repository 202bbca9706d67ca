// The system's own words for an error code, from FormatMessageA.
#include <cstdio>
#include <cstring>

#include "diag/report.h"
#include "messages.h"
#include "platform/platform.h"

bool SystemMessage(uint32_t code, char* text) {
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, kMessageSize, NULL);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        --length;
    }
    text[length] = '\0';
    return length > 0;
}

void ReportSystemError(uint32_t code, int line) {
    char text[kMessageSize];
    WritePrefix();
    // The system's text is its own: written as it comes.
    if (SystemMessage(code, text)) {
        fprintf(stderr, MSG_SYSTEM_ERROR, line, static_cast<unsigned long>(code), text);
    } else {
        fprintf(stderr, MSG_SYSTEM_ERROR_CODE, line, static_cast<unsigned long>(code));
    }
    ContinueReport();
}
