// The machine's text services: the last error, the version, the ANSI code
// page (Windows-1252) and its conversions, environment expansion, the
// logged-on user and the system's message texts.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace {

DWORD g_lastError = 0;

const DWORD kInvalidFlags = 1004;
const DWORD kMessageNotFound = 317;
const DWORD kLanguageNotFound = 1815;

// 0x80 to 0x9F of Windows-1252. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value, as Windows
// maps them.
const char16_t kHighBlock[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The texts an English Windows gives for the codes the program meets.
struct BuiltInMessage {
    DWORD code;
    const char* text;
};

const BuiltInMessage kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {53, "The network path was not found.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, "The system call level is not correct.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1332, "No mapping between account names and security IDs was done.\r\n"},
    {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
};

bool ValidCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == 1252;
}

size_t WideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool FindMessage(DWORD code, std::u16string* text) {
    for (const SimMessage& message : SimCurrentMachine().messages) {
        if (message.code == code) {
            *text = message.text;
            return true;
        }
    }
    for (const BuiltInMessage& message : kSystemMessages) {
        if (message.code == code) {
            *text = SimAnsiToWide(message.text);
            return true;
        }
    }
    return false;
}

// The n-th insert (from 1) of a message, always a string.
const char* InsertArgument(DWORD flags, va_list* arguments, unsigned number) {
    if (flags & 0x2000) {  // FORMAT_MESSAGE_ARGUMENT_ARRAY
        return ((const char* const*)arguments)[number - 1];
    }
    va_list copy;
    va_copy(copy, *arguments);
    const char* value = nullptr;
    for (unsigned i = 0; i < number; ++i) {
        value = va_arg(copy, const char*);
    }
    va_end(copy);
    return value;
}

// The escapes of a message text; inserts only as plain strings, which is all
// the texts of this machine use. False (87) when an insert cannot be filled.
bool ExpandInserts(const std::u16string& text, DWORD flags, va_list* arguments,
                   std::u16string* out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%' || i + 1 == text.size()) {
            out->push_back(text[i]);
            continue;
        }
        char16_t next = text[++i];
        if (next == u'0') {
            return true;
        } else if (next == u'n') {
            out->append(u"\r\n");
        } else if (next == u'r') {
            out->push_back(u'\r');
        } else if (next == u't') {
            out->push_back(u'\t');
        } else if (next >= u'1' && next <= u'9') {
            unsigned number = next - u'0';
            if (i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'9') {
                number = number * 10 + (text[++i] - u'0');
            }
            if (i + 1 < text.size() && text[i + 1] == u'!') {
                size_t end = text.find(u'!', i + 2);
                if (end == std::u16string::npos || text.substr(i + 2, end - i - 2) != u"s") {
                    return false;
                }
                i = end;
            }
            if (arguments == nullptr) {
                return false;
            }
            const char* value = InsertArgument(flags, arguments, number);
            if (value == nullptr) {
                return false;
            }
            out->append(SimAnsiToWide(value));
        } else {
            out->push_back(next);
        }
    }
    return true;
}

}  // namespace

char16_t SimAnsiCharToWide(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kHighBlock[c - 0x80] : (char16_t)c;
}

bool SimWideCharToAnsi(char16_t c, unsigned char* out) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *out = (unsigned char)c;
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighBlock[i] == c) {
            *out = (unsigned char)(0x80 + i);
            return true;
        }
    }
    return false;
}

std::u16string SimAnsiToWide(const char* text) {
    std::u16string result;
    for (const char* p = text; *p != '\0'; ++p) {
        result.push_back(SimAnsiCharToWide((unsigned char)*p));
    }
    return result;
}

std::string SimWideToAnsi(const std::u16string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = '?';
        if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            ++i;  // a pair is one character, so one '?'
        } else {
            SimWideCharToAnsi(text[i], &c);
        }
        result.push_back((char)c);
    }
    return result;
}

std::string SimAnsiToUtf8(const char* text) {
    std::string result;
    for (const char* p = text; *p != '\0'; ++p) {
        char16_t c = SimAnsiCharToWide((unsigned char)*p);
        if (c < 0x80) {
            result.push_back((char)c);
        } else if (c < 0x800) {
            result.push_back((char)(0xC0 | (c >> 6)));
            result.push_back((char)(0x80 | (c & 0x3F)));
        } else {
            result.push_back((char)(0xE0 | (c >> 12)));
            result.push_back((char)(0x80 | ((c >> 6) & 0x3F)));
            result.push_back((char)(0x80 | (c & 0x3F)));
        }
    }
    return result;
}

bool SimUtf8ToWide(const std::string& text, std::u16string* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = (unsigned char)text[i];
        int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || lead > 0xF4 || i + extra >= text.size()) {
            return false;
        }
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = (unsigned char)text[i + k];
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out->push_back((char16_t)(0xD800 + (code >> 10)));
            out->push_back((char16_t)(0xDC00 + (code & 0x3FF)));
        } else {
            out->push_back((char16_t)code);
        }
    }
    return true;
}

std::u16string SimWideFromPointer(const WCHAR* text) {
    return text == nullptr ? std::u16string() : std::u16string(text, WideLength(text));
}

bool SimSameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

DWORD SimErrnoToWindows(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOTEMPTY:
            return 145;  // ERROR_DIR_NOT_EMPTY
        case EXDEV:
            return 17;  // ERROR_NOT_SAME_DEVICE
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

DWORD GetLastError(void) {
    return g_lastError;
}

void SetLastError(DWORD code) {
    g_lastError = code;
}

DWORD GetVersion(void) {
    return SimCurrentMachine().family95 ? 0xC0000A04u : 0x23F00206u;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wide, int wideCount) {
    SimCurrentMachine();
    if (!ValidCodePage(codePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & ~(DWORD)(0x1 | 0x4 | 0x8)) !=
        0) {  // MB_PRECOMPOSED, _USEGLYPHCHARS, _ERR_INVALID_CHARS
        SetLastError(kInvalidFlags);
        return 0;
    }
    if (multiByte == nullptr || multiByteCount == 0 || multiByteCount < -1 || wideCount < 0 ||
        (wideCount > 0 && wide == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int count = multiByteCount == -1 ? (int)strlen(multiByte) + 1 : multiByteCount;
    if (wideCount == 0) {
        return count;
    }
    for (int i = 0; i < count; ++i) {
        if (i == wideCount) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        wide[i] = SimAnsiCharToWide((unsigned char)multiByte[i]);
    }
    return count;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    SimCurrentMachine();
    if (!ValidCodePage(codePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // WC_COMPOSITECHECK and its companions, WC_NO_BEST_FIT_CHARS
    if ((flags & ~(DWORD)(0x10 | 0x20 | 0x40 | 0x200 | 0x400)) != 0) {
        SetLastError(kInvalidFlags);
        return 0;
    }
    if (wide == nullptr || wideCount == 0 || wideCount < -1 || multiByteCount < 0 ||
        (multiByteCount > 0 && multiByte == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = wideCount == -1 ? WideLength(wide) + 1 : (size_t)wideCount;
    std::string converted;
    bool usedDefault = false;
    char fallback = defaultChar != nullptr ? defaultChar[0] : '?';
    for (size_t i = 0; i < count; ++i) {
        unsigned char c = 0;
        if (SimWideCharToAnsi(wide[i], &c)) {
            converted.push_back((char)c);
            continue;
        }
        if (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < count && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000) {
            ++i;
        }
        converted.push_back(fallback);
        usedDefault = true;
    }
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    if (multiByteCount == 0) {
        return (int)converted.size();
    }
    size_t fits = converted.size() < (size_t)multiByteCount ? converted.size() : multiByteCount;
    memcpy(multiByte, converted.data(), fits);
    if (fits < converted.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return (int)converted.size();
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    const SimMachine& machine = SimCurrentMachine();
    if (source == nullptr || (size > 0 && destination == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string text = SimAnsiToWide(source);
    std::u16string expanded;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == u'%') {
            size_t end = text.find(u'%', i + 1);
            if (end != std::u16string::npos) {
                std::u16string name = text.substr(i + 1, end - i - 1);
                const SimNamedText* found = nullptr;
                for (const SimNamedText& variable : machine.environment) {
                    if (!name.empty() && SimSameName(variable.name, name)) {
                        found = &variable;
                    }
                }
                if (found != nullptr) {
                    expanded.append(found->text);
                    i = end + 1;
                    continue;
                }
            }
            // An unknown name stays, and its closing '%' may open the next one,
            // as the Windows scanner does.
        }
        expanded.push_back(text[i]);
        ++i;
    }
    std::string result = SimWideToAnsi(expanded);
    DWORD needed = (DWORD)result.size() + 1;
    if (size > 0) {
        // What does not fit is cut; the caller sees from the result that the
        // text is not whole.
        size_t fits = needed <= size ? result.size() : size - 1;
        memcpy(destination, result.data(), fits);
        destination[fits] = '\0';
    }
    return needed;
}

BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
    const SimMachine& machine = SimCurrentMachine();
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!machine.hasLoggedOnUser) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::string name = SimWideToAnsi(machine.loggedOnUser);
    DWORD needed = (DWORD)name.size() + 1;
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, name.c_str(), needed);
    *size = needed;
    return TRUE;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments) {
    SimCurrentMachine();
    (void)source;
    const DWORD known = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        FORMAT_MESSAGE_FROM_SYSTEM | 0x2000 | 0xFF;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~known) != 0) {
        // Only the system's own table is simulated.
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (languageId != 0 && languageId != 0x400 && languageId != 0x409 && languageId != 0x800) {
        SetLastError(kLanguageNotFound);
        return 0;
    }
    std::u16string text;
    if (!FindMessage(messageId, &text)) {
        SetLastError(kMessageNotFound);
        return 0;
    }
    std::u16string expanded;
    if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        expanded = text;
    } else if (!ExpandInserts(text, flags, arguments, &expanded)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string result = SimWideToAnsi(expanded);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        if (buffer == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        size_t bytes = result.size() + 1 > size ? result.size() + 1 : size;
        char* allocated = (char*)SimAllocate(SIM_LOCAL_BUFFER, bytes);
        if (allocated == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        memcpy(allocated, result.c_str(), result.size() + 1);
        *(LPSTR*)buffer = allocated;
        return (DWORD)result.size();
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (result.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, result.c_str(), result.size() + 1);
    return (DWORD)result.size();
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory == nullptr || SimRelease(SIM_LOCAL_BUFFER, memory)) {
        return nullptr;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
}
