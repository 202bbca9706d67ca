// A test-only netapi32.dll: Wine's own cannot give account records at level
// 3, so the end-to-end suite puts this one beside acctmap.exe and picks it
// with WINEDLLOVERRIDES=netapi32=n. It serves the three calls acctmap makes
// from a small account file and logs every call, so that a test can see what
// was asked and that every buffer was given back.
//
// The account file (ACCTMAP_NETAPI_DATA, UTF-8, tab-separated fields, "#"
// starts a comment line):
//   dc    <domain>  <controller>                    NetGetDCName answers 0
//   dc    <domain>  error=<code>                    ... or that code
//   user  <server>  <name>  <rid>  <group rid>  [<full name>]
//   user  <server>  <name>  error=<code>
// <server> "." is the local machine (no server name in the call). A full
// name left out is a null usri3_full_name. Domains not listed give 2453,
// users not listed 2221.
// The log (ACCTMAP_NETAPI_LOG, UTF-8), one line a call:
//   NetGetDCName <domain> = <code> [buffer <n>]
//   NetUserGetInfo <server or .> <name> <level> = <code> [buffer <n>]
//   NetApiBufferFree buffer <n>    ("null" for a null pointer, "unknown" for
//                                  one this DLL did not hand out)
#include <windows.h>
#include <lm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

const DWORD kMaxBuffers = 256;
void* gBuffers[kMaxBuffers];  // index + 1 is the buffer's number in the log
DWORD gBufferCount = 0;

DWORD Remember(void* buffer) {
    if (gBufferCount < kMaxBuffers) {
        gBuffers[gBufferCount++] = buffer;
        return gBufferCount;
    }
    return 0;
}

// Appends one line to the log; texts are written as UTF-8.
void Log(const wchar_t* format, ...) {
    char path[MAX_PATH];
    if (GetEnvironmentVariableA("ACCTMAP_NETAPI_LOG", path, sizeof path) == 0) {
        return;
    }
    wchar_t line[2048];
    va_list arguments;
    va_start(arguments, format);
    _vsnwprintf(line, 2047, format, arguments);
    va_end(arguments);
    line[2047] = L'\0';
    char bytes[8192];
    int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes - 2, NULL, NULL);
    if (length <= 0) {
        return;
    }
    bytes[length - 1] = '\n';
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, bytes, static_cast<DWORD>(length), &written, NULL);
        CloseHandle(file);
    }
}

// The account file as UTF-16, NUL-terminated; NULL when there is none.
wchar_t* LoadAccounts(void) {
    char path[MAX_PATH];
    if (GetEnvironmentVariableA("ACCTMAP_NETAPI_DATA", path, sizeof path) == 0) {
        return NULL;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return NULL;
    }
    DWORD size = GetFileSize(file, NULL);
    char* bytes = static_cast<char*>(malloc(size + 1));
    DWORD read = 0;
    if (bytes == NULL || !ReadFile(file, bytes, size, &read, NULL)) {
        read = 0;
    }
    CloseHandle(file);
    wchar_t* text = static_cast<wchar_t*>(malloc((read + 1) * sizeof(wchar_t)));
    int length = read == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, bytes, read, text, read);
    text[length] = L'\0';
    free(bytes);
    return text;
}

// Splits the next line of `*cursor` into up to `max` tab-separated fields
// (in place). Returns the number of fields, or -1 at the end of the text.
int NextRecord(wchar_t** cursor, wchar_t** fields, int max) {
    for (;;) {
        wchar_t* line = *cursor;
        if (*line == L'\0') {
            return -1;
        }
        wchar_t* end = wcschr(line, L'\n');
        if (end != NULL) {
            *end = L'\0';
            *cursor = end + 1;
        } else {
            *cursor = line + wcslen(line);
        }
        size_t length = wcslen(line);
        if (length > 0 && line[length - 1] == L'\r') {
            line[length - 1] = L'\0';
        }
        if (line[0] == L'\0' || line[0] == L'#') {
            continue;
        }
        int count = 0;
        wchar_t* field = line;
        while (count < max) {
            fields[count++] = field;
            wchar_t* tab = wcschr(field, L'\t');
            if (tab == NULL) {
                break;
            }
            *tab = L'\0';
            field = tab + 1;
        }
        return count;
    }
}

// "error=<code>" gives the code; anything else is no error.
bool ErrorField(const wchar_t* field, NET_API_STATUS* code) {
    if (wcsncmp(field, L"error=", 6) != 0) {
        return false;
    }
    *code = wcstoul(field + 6, NULL, 10);
    return true;
}

// Account names and server names are compared as Windows does, without
// regard to case.
bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

wchar_t* CopyInto(wchar_t** free, const wchar_t* text) {
    wchar_t* copy = *free;
    size_t length = wcslen(text) + 1;
    memcpy(copy, text, length * sizeof(wchar_t));
    *free += length;
    return copy;
}

LPBYTE NewUserInfo3(const wchar_t* name, DWORD rid, DWORD groupRid, const wchar_t* fullName) {
    size_t texts = wcslen(name) + 2 + (fullName != NULL ? wcslen(fullName) + 1 : 0);
    size_t size = sizeof(USER_INFO_3) + texts * sizeof(wchar_t);
    USER_INFO_3* info =
        static_cast<USER_INFO_3*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (info == NULL) {
        return NULL;
    }
    wchar_t* free = reinterpret_cast<wchar_t*>(info + 1);
    info->usri3_name = CopyInto(&free, name);
    wchar_t* empty = CopyInto(&free, L"");
    info->usri3_full_name = fullName != NULL ? CopyInto(&free, fullName) : NULL;
    info->usri3_comment = empty;
    info->usri3_usr_comment = empty;
    info->usri3_home_dir = empty;
    info->usri3_script_path = empty;
    info->usri3_workstations = empty;
    info->usri3_parms = empty;
    info->usri3_profile = empty;
    info->usri3_home_dir_drive = empty;
    info->usri3_user_id = rid;
    info->usri3_primary_group_id = groupRid;
    info->usri3_priv = USER_PRIV_USER;
    info->usri3_flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    info->usri3_acct_expires = TIMEQ_FOREVER;
    info->usri3_max_storage = USER_MAXSTORAGE_UNLIMITED;
    return reinterpret_cast<LPBYTE>(info);
}

}  // namespace

extern "C" NET_API_STATUS WINAPI NetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE* buffer) {
    *buffer = NULL;
    NET_API_STATUS status = NERR_DCNotFound;
    wchar_t* accounts = LoadAccounts();
    wchar_t* cursor = accounts;
    wchar_t* fields[8];
    int count;
    while (accounts != NULL && (count = NextRecord(&cursor, fields, 8)) >= 0) {
        if (count < 3 || wcscmp(fields[0], L"dc") != 0 || !SameName(fields[1], domain)) {
            continue;
        }
        if (!ErrorField(fields[2], &status)) {
            size_t size = (wcslen(fields[2]) + 1) * sizeof(wchar_t);
            *buffer = static_cast<LPBYTE>(HeapAlloc(GetProcessHeap(), 0, size));
            memcpy(*buffer, fields[2], size);
            status = NERR_Success;
        }
        break;
    }
    free(accounts);
    if (*buffer != NULL) {
        Log(L"NetGetDCName %ls = %lu buffer %lu", domain, status, Remember(*buffer));
    } else {
        Log(L"NetGetDCName %ls = %lu", domain, status);
    }
    (void)server;
    return status;
}

extern "C" NET_API_STATUS WINAPI NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                                LPBYTE* buffer) {
    *buffer = NULL;
    const wchar_t* serverName = (server == NULL || server[0] == L'\0') ? L"." : server;
    NET_API_STATUS status = NERR_UserNotFound;
    if (level != 3) {
        status = ERROR_INVALID_LEVEL;
    }
    wchar_t* accounts = level == 3 ? LoadAccounts() : NULL;
    wchar_t* cursor = accounts;
    wchar_t* fields[8];
    int count;
    while (accounts != NULL && (count = NextRecord(&cursor, fields, 8)) >= 0) {
        if (count < 4 || wcscmp(fields[0], L"user") != 0 || !SameName(fields[1], serverName) ||
            !SameName(fields[2], user)) {
            continue;
        }
        if (!ErrorField(fields[3], &status)) {
            DWORD rid = wcstoul(fields[3], NULL, 10);
            DWORD groupRid = count > 4 ? wcstoul(fields[4], NULL, 10) : 513;
            *buffer = NewUserInfo3(fields[2], rid, groupRid, count > 5 ? fields[5] : NULL);
            status = *buffer != NULL ? NERR_Success : ERROR_NOT_ENOUGH_MEMORY;
        }
        break;
    }
    free(accounts);
    if (*buffer != NULL) {
        Log(L"NetUserGetInfo %ls %ls %lu = %lu buffer %lu", serverName, user, level, status,
            Remember(*buffer));
    } else {
        Log(L"NetUserGetInfo %ls %ls %lu = %lu", serverName, user, level, status);
    }
    return status;
}

extern "C" NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    if (buffer == NULL) {
        Log(L"NetApiBufferFree null");
        return NERR_Success;
    }
    for (DWORD i = 0; i < gBufferCount; ++i) {
        if (gBuffers[i] == buffer) {
            gBuffers[i] = NULL;
            Log(L"NetApiBufferFree buffer %lu", i + 1);
            HeapFree(GetProcessHeap(), 0, buffer);
            return NERR_Success;
        }
    }
    Log(L"NetApiBufferFree unknown");
    return ERROR_INVALID_PARAMETER;
}
