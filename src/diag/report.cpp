#include "diag/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "text.h"

static const char* g_prefix = NULL;
static bool g_continued = false;

void ContinueReport() {
    g_continued = true;
}

void SetMessagePrefix(const char* prefix) {
    g_prefix = prefix;
}

const char* MessagePrefix() {
    return g_prefix != NULL ? g_prefix : "";
}

void PrintError(const char* format, ...) {
    char text[kMessageSize];
    // The prefix is shown as safely as the rest: it echoes a path.
    CopyText(text, sizeof text, g_continued ? "" : MessagePrefix());
    g_continued = false;
    const size_t start = strlen(text);
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(text + start, sizeof text - start, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return;
    }
    length += static_cast<int>(start);
    size_t end = strnlen(text, sizeof text);
    // The formats hold no control byte but their closing line feed, which a
    // whole text ends with.
    const bool closed = format[0] != '\0' && format[strlen(format) - 1] == '\n';
    if (closed && static_cast<size_t>(length) < sizeof text) {
        --end;
    }
    size_t shown = 0;
    for (size_t i = 0; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsControlByte(c)) {
            fwrite(text + shown, 1, i - shown, stderr);
            fputc('^', stderr);
            fputc(c ^ 0x40, stderr);
            shown = i + 1;
        }
    }
    fwrite(text + shown, 1, end - shown, stderr);
    if (closed) {
        fputc('\n', stderr);
    }
}
