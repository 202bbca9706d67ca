#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool CopyText(char* destination, size_t size, const char* source) {
    if (size == 0) {
        return false;
    }
    size_t length = strlen(source);
    bool fits = length < size;
    size_t count = fits ? length : size - 1;
    memcpy(destination, source, count);
    destination[count] = '\0';
    return fits;
}

bool AppendText(char* destination, size_t size, const char* source) {
    size_t used = strnlen(destination, size);
    if (used >= size) {
        return false;
    }
    return CopyText(destination + used, size - used, source);
}

bool FormatText(char* destination, size_t size, const char* format, ...) {
    if (size == 0) {
        return false;
    }
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(destination, size, format, arguments);
    va_end(arguments);
    if (length < 0) {
        destination[0] = '\0';
        return false;
    }
    return static_cast<size_t>(length) < size;
}

bool FitsPasswdField(const char* text) {
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0'; ++c) {
        if (BreaksPasswdLine(*c)) {
            return false;
        }
    }
    return true;
}

LeadBytes MakeLeadBytes(const unsigned char* ranges, size_t count) {
    LeadBytes lead = {{0, 0, 0, 0}, false};
    for (size_t i = 0; i + 1 < count && (ranges[i] != 0 || ranges[i + 1] != 0); i += 2) {
        for (unsigned c = ranges[i]; c <= ranges[i + 1]; ++c) {
            lead.bits[c / 64] |= uint64_t(1) << (c % 64);
            lead.any = true;
        }
    }
    return lead;
}
