#include "diag/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "messages.h"

// Longer than any message: the longest text one echoes is a 1024-byte
// registry path with the user's name.
enum { kMessageSize = 4096 };

static bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

void PrintError(const char* format, ...) {
    char text[kMessageSize];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return;
    }
    size_t end = strnlen(text, sizeof text);
    // The formats hold no control byte but their closing line feed, which a
    // whole text ends with.
    const bool closed = format[0] != '\0' && format[strlen(format) - 1] == '\n';
    if (closed && static_cast<size_t>(length) < sizeof text) {
        --end;
    }
    FILE* stream = RtStderr();
    size_t shown = 0;
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsControl(c)) {
            fwrite(text + shown, 1, i - shown, stream);
            fputc('^', stream);
            fputc(c == 0x7F ? '?' : c + '@', stream);
            shown = i + 1;
        }
    }
    fwrite(text + shown, 1, end - shown, stream);
    if (closed) {
        fputc('\n', stream);
    }
}

void ReportSystemError(DWORD code, int line) {
    char text[kMessageSize];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, NULL);
    // The system's text is its own: written as it comes, line end included.
    if (length != 0) {
        fprintf(RtStderr(), MSG_SYSTEM_ERROR, line, static_cast<unsigned long>(code), text);
    } else {
        fprintf(RtStderr(), MSG_SYSTEM_ERROR_CODE, line, static_cast<unsigned long>(code));
    }
}
