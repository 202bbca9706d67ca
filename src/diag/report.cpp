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

static const char* MessagePrefix() {
    return g_prefix != NULL ? g_prefix : "";
}

// Writes `length` bytes of `text`, each control byte as ^X.
static void WriteShown(const char* text, size_t length) {
    size_t shown = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsControlByte(c)) {
            fwrite(text + shown, 1, i - shown, stderr);
            fputc('^', stderr);
            fputc(c ^ 0x40, stderr);
            shown = i + 1;
        }
    }
    fwrite(text + shown, 1, length - shown, stderr);
}

void WritePrefix() {
    // The prefix is shown as safely as the rest: it echoes a path.
    if (!g_continued) {
        WriteShown(MessagePrefix(), strlen(MessagePrefix()));
    }
    g_continued = false;
}

void PrintError(const char* format, ...) {
    WritePrefix();
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
    WriteShown(text, end);
    if (closed) {
        fputc('\n', stderr);
    }
}
