// A test-only netapi32.dll: Wine's own cannot give account records at level
// 3, so the Wine suite puts this one beside acctmap.exe and picks it with
// WINEDLLOVERRIDES=netapi32=n. It answers from the account file named by
// ACCTMAP_NETAPI_DATA (UTF-8, one record a line, tab-separated fields):
//   dc    <domain>  <controller> | error=<code>
//   user  <server>  <name>  <rid> | error=<code>  <group rid>  [<full name>]
// <server> "." is the local machine. Unlisted domains give 2453, unlisted
// users 2221. Each call adds a line to the log named by ACCTMAP_NETAPI_LOG:
//   NetGetDCName <domain> = <code> [buffer <n>]
//   NetUserGetInfo <server or .> <name> <level> = <code> [buffer <n>]
//   NetApiBufferFree buffer <n> | null | unknown (not handed out, or freed)
#include <windows.h>
#include <lm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::wstring> Record;

void* gBuffers[64];  // buffer <n> of the log is gBuffers[n - 1]
DWORD gHandedOut = 0;

void Log(const char* format, ...) {
    const char* path = getenv("ACCTMAP_NETAPI_LOG");
    FILE* log = path != NULL ? fopen(path, "ab") : NULL;
    if (log != NULL) {
        va_list arguments;
        va_start(arguments, format);
        vfprintf(log, format, arguments);
        va_end(arguments);
        fputc('\n', log);
        fclose(log);
    }
}

// " buffer <n>" for a buffer handed out now, "" for none.
std::string HandOut(void* buffer) {
    if (buffer == NULL || gHandedOut == 64) {
        return "";
    }
    gBuffers[gHandedOut++] = buffer;
    return " buffer " + std::to_string(gHandedOut);
}

// The record of this kind whose next fields are these keys (compared without
// regard to case, as Windows compares names).
bool Find(const wchar_t* kind, const wchar_t* key, const wchar_t* name, Record* found) {
    const char* path = getenv("ACCTMAP_NETAPI_DATA");
    std::ifstream file(path != NULL ? path : "", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    &text[0], static_cast<int>(text.size())));
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);) {
        std::wistringstream split(line);
        found->clear();
        for (std::wstring field; std::getline(split, field, L'\t');) {
            found->push_back(field);
        }
        if (found->size() >= (name != NULL ? 4u : 3u) && (*found)[0] == kind &&
            _wcsicmp((*found)[1].c_str(), key) == 0 &&
            (name == NULL || _wcsicmp((*found)[2].c_str(), name) == 0)) {
            return true;
        }
    }
    return false;
}

// "error=<code>" gives that code; anything else is the answer itself.
bool IsError(const std::wstring& field, NET_API_STATUS* status) {
    if (field.compare(0, 6, L"error=") != 0) {
        return false;
    }
    *status = wcstoul(field.c_str() + 6, NULL, 10);
    return true;
}

}  // namespace

extern "C" NET_API_STATUS WINAPI NetGetDCName(LPCWSTR, LPCWSTR domain, LPBYTE* buffer) {
    *buffer = NULL;
    NET_API_STATUS status = NERR_DCNotFound;
    Record r;
    if (Find(L"dc", domain, NULL, &r) && !IsError(r[2], &status)) {
        const size_t size = (r[2].size() + 1) * sizeof(wchar_t);
        *buffer = static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, size));
        memcpy(*buffer, r[2].c_str(), size);
        status = NERR_Success;
    }
    Log("NetGetDCName %ls = %lu%s", domain, status, HandOut(*buffer).c_str());
    return status;
}

extern "C" NET_API_STATUS WINAPI NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                                LPBYTE* buffer) {
    *buffer = NULL;
    const wchar_t* where = server != NULL && server[0] != L'\0' ? server : L".";
    NET_API_STATUS status = level == 3 ? NERR_UserNotFound : ERROR_INVALID_LEVEL;
    Record r;
    if (level == 3 && Find(L"user", where, user, &r) && !IsError(r[3], &status)) {
        // One block: the record, then its name and full name.
        const std::wstring full = r.size() > 5 ? r[5] : L"";
        const size_t size = sizeof(USER_INFO_3) + (r[2].size() + full.size() + 2) * sizeof(wchar_t);
        USER_INFO_3* info =
            static_cast<USER_INFO_3*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
        info->usri3_name = wcscpy(reinterpret_cast<wchar_t*>(info + 1), r[2].c_str());
        info->usri3_full_name = wcscpy(info->usri3_name + r[2].size() + 1, full.c_str());
        info->usri3_user_id = wcstoul(r[3].c_str(), NULL, 10);
        info->usri3_primary_group_id = r.size() > 4 ? wcstoul(r[4].c_str(), NULL, 10) : 513;
        *buffer = reinterpret_cast<LPBYTE>(info);
        status = NERR_Success;
    }
    Log("NetUserGetInfo %ls %ls %lu = %lu%s", where, user, level, status, HandOut(*buffer).c_str());
    return status;
}

extern "C" NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    if (buffer == NULL) {
        Log("NetApiBufferFree null");
        return NERR_Success;
    }
    for (DWORD i = 0; i < gHandedOut; ++i) {
        if (gBuffers[i] == buffer) {
            gBuffers[i] = NULL;
            HeapFree(GetProcessHeap(), 0, buffer);
            Log("NetApiBufferFree buffer %lu", i + 1);
            return NERR_Success;
        }
    }
    Log("NetApiBufferFree unknown");
    return ERROR_INVALID_PARAMETER;
}
