// The machine's text services: the last error, the version, the ANSI code
// page (Windows-1252) and its conversions, environment expansion, the
// logged-on user, the system's message texts, and the memory these hand out.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/sim/sim_internal.h"

namespace {

DWORD g_lastError = 0;

// 0x80 to 0x9F of Windows-1252. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value, as Windows
// maps them.
const char16_t kHighBlock[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The texts an English Windows gives for the codes the program meets.
const struct {
    DWORD code;
    const char* text;
} kSystemMessages[] = {
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {53, "The network path was not found.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {234, "More data is available.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1332, "No mapping between account names and security IDs was done.\r\n"},
    {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
};

// Never destroyed, so that what the program still holds at exit can be
// counted then.
std::set<void*>* const g_handedOut = new std::set<void*>[SIM_ALLOCATION_KINDS];
int g_badReleases = 0;

const char* const kAllocationNames[SIM_ALLOCATION_KINDS] = {"account buffer", "message buffer",
                                                            "registry key"};

// At exit: whatever the program did not give back, or gave back wrongly.
void ReportReleases(void) {
    char line[128];
    for (int kind = 0; kind < SIM_ALLOCATION_KINDS; ++kind) {
        if (!g_handedOut[kind].empty()) {
            int length =
                snprintf(line, sizeof line, "simulated machine: %zu %s(s) not given back\n",
                         g_handedOut[kind].size(), kAllocationNames[kind]);
            (void)!write(2, line, static_cast<size_t>(length));
        }
    }
    if (g_badReleases != 0) {
        int length =
            snprintf(line, sizeof line, "simulated machine: %d bad release(s)\n", g_badReleases);
        (void)!write(2, line, static_cast<size_t>(length));
    }
}

char16_t AnsiCharToWide(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kHighBlock[c - 0x80] : static_cast<char16_t>(c);
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

}  // namespace

void* SimAllocate(SimAllocationKind kind, size_t bytes) {
    static bool watching = atexit(ReportReleases) == 0;
    (void)watching;
    void* memory = calloc(1, bytes == 0 ? 1 : bytes);
    if (memory != nullptr) {
        g_handedOut[kind].insert(memory);
    }
    return memory;
}

bool SimRelease(SimAllocationKind kind, void* memory) {
    if (g_handedOut[kind].erase(memory) == 0) {
        ++g_badReleases;
        return false;
    }
    free(memory);
    return true;
}

Text SimAnsiToWide(const char* text) {
    Text result;
    for (const char* p = text; *p != '\0'; ++p) {
        result.push_back(AnsiCharToWide(static_cast<unsigned char>(*p)));
    }
    return result;
}

bool SimWideToAnsi(const Text& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            out->push_back('?');  // a pair is one character, which 1252 lacks
            ++i;
            continue;
        }
        if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            return false;  // half a character is no character at all
        }
        unsigned char ansi = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            ansi = static_cast<unsigned char>(c);
        }
        for (int k = 0; k < 32; ++k) {
            ansi = kHighBlock[k] == c ? static_cast<unsigned char>(0x80 + k) : ansi;
        }
        out->push_back(static_cast<char>(ansi));
    }
    return true;
}

std::string SimAnsiToUtf8(const char* text) {
    std::string result;
    for (const char* p = text; *p != '\0'; ++p) {
        char16_t c = AnsiCharToWide(static_cast<unsigned char>(*p));
        if (c < 0x80) {
            result.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            result.push_back(static_cast<char>(0xC0 | (c >> 6)));
            result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            result.push_back(static_cast<char>(0xE0 | (c >> 12)));
            result.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return result;
}

bool SimUtf8ToWide(const std::string& text, Text* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || lead > 0xF4 || i + extra >= text.size()) {
            return false;
        }
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
    }
    return true;
}

Text SimWideFromPointer(const WCHAR* text) {
    return text == nullptr ? Text() : Text(text);
}

bool SimSameName(const Text& a, const Text& b) {
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

DWORD GetLastError(void) {
    return g_lastError;
}

void SetLastError(DWORD code) {
    g_lastError = code;
}

DWORD GetVersion(void) {
    return SimCurrentMachine().family95 ? 0xC0000A04u : 0x23F00206u;
}

int MultiByteToWideChar(UINT, DWORD, LPCSTR multiByte, int multiByteCount, LPWSTR wide,
                        int wideCount) {
    SimCurrentMachine();
    int count = multiByteCount == -1 ? static_cast<int>(strlen(multiByte)) + 1 : multiByteCount;
    if (count > wideCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        wide[i] = AnsiCharToWide(static_cast<unsigned char>(multiByte[i]));
    }
    return count;
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCSTR, BOOL*) {
    SimCurrentMachine();
    Text text = wideCount == -1 ? Text(wide) + u'\0' : Text(wide, static_cast<size_t>(wideCount));
    std::string converted;
    if (!SimWideToAnsi(text, &converted)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    const int length = static_cast<int>(converted.size());
    if (multiByteCount == 0) {
        return length;
    }
    memcpy(multiByte, converted.data(), length < multiByteCount ? length : multiByteCount);
    if (length > multiByteCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return length;
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    const SimMachine& machine = SimCurrentMachine();
    Text text = SimAnsiToWide(source);
    Text expanded;
    for (size_t i = 0; i < text.size();) {
        size_t end = text[i] == u'%' ? text.find(u'%', i + 1) : Text::npos;
        const SimNamedText* found = nullptr;
        for (const SimNamedText& variable : machine.environment) {
            if (end != Text::npos && end > i + 1 &&
                SimSameName(variable.name, text.substr(i + 1, end - i - 1))) {
                found = &variable;
            }
        }
        if (found != nullptr) {
            expanded += found->text;
            i = end + 1;
        } else {
            // An unknown name stays, and its closing '%' may open the next
            // one, as the Windows scanner does.
            expanded.push_back(text[i++]);
        }
    }
    std::string result;
    SimWideToAnsi(expanded, &result);
    DWORD needed = static_cast<DWORD>(result.size()) + 1;
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
    std::string name;
    if (!machine.hasLoggedOnUser || !SimWideToAnsi(machine.loggedOnUser, &name)) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(name.size()) + 1;
    if (*size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(buffer, name.c_str(), needed);
    *size = needed;
    return TRUE;
}

// The system's table, and [messages] before it. Inserts stay as they are:
// the program always asks for that.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list*) {
    const SimMachine& machine = SimCurrentMachine();
    std::string text;
    for (const SimNamedText& message : machine.messages) {
        if (text.empty() && message.name == SimAnsiToWide(std::to_string(messageId).c_str())) {
            SimWideToAnsi(message.text, &text);
        }
    }
    for (const auto& message : kSystemMessages) {
        if (text.empty() && message.code == messageId) {
            text = message.text;
        }
    }
    if (text.empty()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* allocated = static_cast<char*>(SimAllocate(SIM_LOCAL_BUFFER, text.size() + 1));
        memcpy(allocated, text.c_str(), text.size() + 1);
        *reinterpret_cast<LPSTR*>(buffer) = allocated;
        return static_cast<DWORD>(text.size());
    }
    if (text.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory == nullptr || SimRelease(SIM_LOCAL_BUFFER, memory)) {
        return nullptr;
    }
    return memory;
}
