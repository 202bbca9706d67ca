// A test-only netapi32.dll: Wine's own cannot give account records at level
// 3, so the Wine suite puts this one in the system folder and picks it with
// WINEDLLOVERRIDES=netapi32=n. It answers from the account lines of the
// end-to-end table, in the file ACCTMAP_NETAPI_DATA names (UTF-8,
// tab-separated; read once a run, up to 1 MiB and 256 lines):
//   dc    <domain>  <controller> | error=<code>
//   user  <server>  <name>  <rid> | error=<code>  [<group rid>  [<full name>  [disabled]]]
//   users <server>  <prefix>  <count>  <first rid>     (listed only)
//   pages <server>  <size>  <failing page>  <error>
// <server> "." is the local machine. Unlisted domains give 2453, unlisted
// users 2221. At exit it says on standard error what was not given back, or
// given back wrongly, and how often a domain's controller was asked for
// again. Plain C and Win32 only: a run of acctmap should pay
// little for loading it.
#include <windows.h>
#include <lm.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

// Built with ACCTMAP_ACCTDEP, the stand-in imports acctdep.dll (acctdep.cpp);
// with ACCTMAP_LATEDEP, it loads it by its bare name at its first call, as
// a system DLL's own late or delayed load does.
#ifdef ACCTMAP_ACCTDEP
extern "C" __declspec(dllimport) const wchar_t* AcctDepFullName(const wchar_t* given);
#endif
#ifdef ACCTMAP_LATEDEP
const wchar_t* AcctDepFullName(const wchar_t* given) {
    typedef const wchar_t*(FullName)(const wchar_t*);
    HMODULE dep = LoadLibraryA("acctdep.dll");
    FullName* late = dep != NULL ? reinterpret_cast<FullName*>(reinterpret_cast<void*>(
                                       GetProcAddress(dep, "AcctDepFullName")))
                                 : NULL;
    return late != NULL ? late(given) : L"NO ACCTDEP";
}
#define ACCTMAP_ACCTDEP
#endif

namespace {

void* g_handedOut[64];
int g_badReleases = 0;
// acctmap finds a domain's controller once a run, however many lines name it.
wchar_t g_lastDomain[256];
int g_askedAgain = 0;

// The account lines, read and cut into fields once a process (a run of many
// accounts asks for each of them): 7 fields each, those a line lacks empty.
struct Lines {
    wchar_t* f[256][7];
    int counts[256];
    int total;
};

const Lines& AllLines() {
    static Lines lines;
    static bool read = false;
    if (!read) {
        read = true;
        static char bytes[1 << 20];
        static wchar_t data[sizeof bytes + 1];
        DWORD got = 0;
        HANDLE file = CreateFileA(getenv("ACCTMAP_NETAPI_DATA"), GENERIC_READ, FILE_SHARE_READ,
                                  NULL, OPEN_EXISTING, 0, NULL);
        ReadFile(file, bytes, sizeof bytes, &got, NULL);
        CloseHandle(file);
        data[MultiByteToWideChar(CP_UTF8, 0, bytes, got, data, sizeof bytes)] = L'\0';
        for (wchar_t *line = data, *next; *line != L'\0' && lines.total < 256;
             line = next, ++lines.total) {
            next = line + wcscspn(line, L"\n");
            next = *next != L'\0' ? (*next = L'\0', next + 1) : next;
            for (wchar_t*& field : lines.f[lines.total]) {
                lines.counts[lines.total] += line != NULL;
                field = line != NULL ? line : const_cast<wchar_t*>(L"");
                wchar_t* tab = line != NULL ? wcschr(line, L'\t') : NULL;
                line = tab != NULL ? (*tab = L'\0', tab + 1) : NULL;
            }
        }
    }
    return lines;
}

// The line of this kind whose next fields are these names (compared without
// regard to case, as Windows compares names), from line `from` on; NULL
// when there is none.
wchar_t* const* Find(const wchar_t* kind, const wchar_t* key, const wchar_t* name) {
    const Lines& lines = AllLines();
    for (int i = 0; i < lines.total; ++i) {
        wchar_t* const* f = lines.f[i];
        if (lines.counts[i] >= (name != NULL ? 4 : 3) && !wcscmp(f[0], kind) &&
            !_wcsicmp(f[1], key) && (name == NULL || !_wcsicmp(f[2], name))) {
            return f;
        }
    }
    return NULL;
}

// "error=<code>" gives that code.
bool IsError(const wchar_t* field, NET_API_STATUS* status) {
    *status = wcsncmp(field, L"error=", 6) == 0 ? wcstoul(field + 6, NULL, 10) : 0;
    return *status != 0;
}

LPBYTE HandOut(size_t size) {
    void* buffer = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    for (void*& slot : g_handedOut) {
        if (slot == NULL) {
            slot = buffer;
            break;
        }
    }
    return static_cast<LPBYTE>(buffer);
}

}  // namespace

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI
    NetGetDCName(LPCWSTR, LPCWSTR domain, LPBYTE* buffer) {
    NET_API_STATUS status = NERR_DCNotFound;
    g_askedAgain += domain != NULL && wcscmp(domain, g_lastDomain) == 0;
    lstrcpynW(g_lastDomain, domain != NULL ? domain : L"", 256);
    wchar_t* const* f = Find(L"dc", domain, NULL);
    if (f != NULL && !IsError(f[2], &status)) {
        const size_t size = (wcslen(f[2]) + 1) * sizeof(wchar_t);
        memcpy(*buffer = HandOut(size), f[2], size);
    }
    return status;
}

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI
    NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buffer) {
    NET_API_STATUS status = level == 3 ? NERR_UserNotFound : ERROR_INVALID_LEVEL;
    wchar_t* const* f = Find(L"user", server != NULL && server[0] ? server : L".", user);
    if (level == 3 && f != NULL && !IsError(f[3], &status)) {
        const wchar_t* full = f[5];
#ifdef ACCTMAP_ACCTDEP
        full = AcctDepFullName(full);
#endif
        // One block: the record, then its name and full name.
        const size_t name = wcslen(f[2]) + 1;
        USER_INFO_3* info = reinterpret_cast<USER_INFO_3*>(
            HandOut(sizeof(USER_INFO_3) + (name + wcslen(full) + 1) * sizeof(wchar_t)));
        info->usri3_name = wcscpy(reinterpret_cast<wchar_t*>(info + 1), f[2]);
        info->usri3_full_name = wcscpy(info->usri3_name + name, full);
        info->usri3_user_id = wcstoul(f[3], NULL, 10);
        info->usri3_primary_group_id = f[4][0] != L'\0' ? wcstoul(f[4], NULL, 10) : 513;
        *buffer = reinterpret_cast<LPBYTE>(info);
    }
    return status;
}

// A listing of `server`: its user lines in their order (not those that give
// an error), then the accounts of its "users" line, <prefix><n> for n from
// 0, with RIDs from <first rid>. Pages of 100 records, or of the size its
// "pages" line gives, whose page <n> fails with <error>.
extern "C" __declspec(dllexport) NET_API_STATUS WINAPI
    NetUserEnum(LPCWSTR server, DWORD level, DWORD filter, LPBYTE* buffer, DWORD, LPDWORD read,
                LPDWORD total, LPDWORD resume) {
    const wchar_t* key = server != NULL && server[0] ? server : L".";
    *buffer = NULL;
    *read = 0;
    if (level != 3 || filter != FILTER_NORMAL_ACCOUNT) {
        return ERROR_INVALID_PARAMETER;
    }
    const Lines& lines = AllLines();
    wchar_t* const* listed[256];
    DWORD named = 0;
    NET_API_STATUS status;
    for (int i = 0; i < lines.total; ++i) {
        wchar_t* const* f = lines.f[i];
        if (lines.counts[i] >= 4 && !wcscmp(f[0], L"user") && !_wcsicmp(f[1], key) &&
            !IsError(f[3], &status)) {
            listed[named++] = f;
        }
    }
    wchar_t* const* many = Find(L"users", key, NULL);
    wchar_t* const* pages = Find(L"pages", key, NULL);
    *total = named + (many != NULL ? wcstoul(many[3], NULL, 10) : 0);
    const DWORD size = pages != NULL ? wcstoul(pages[2], NULL, 10) : 100;
    const DWORD start = *resume;
    if (pages != NULL && start / size + 1 == wcstoul(pages[3], NULL, 10)) {
        return wcstoul(pages[4], NULL, 10);
    }
    *read = start < *total ? (*total - start < size ? *total - start : size) : 0;
    // One block: the records, then each one's name (at most 32 units) and
    // full name.
    size_t bytes = *read * (sizeof(USER_INFO_3) + 32 * sizeof(wchar_t));
    for (DWORD i = start; i < start + *read && i < named; ++i) {
        bytes += (wcslen(listed[i][2]) + wcslen(listed[i][5]) + 2) * sizeof(wchar_t);
    }
    USER_INFO_3* records = reinterpret_cast<USER_INFO_3*>(HandOut(bytes));
    wchar_t* text = reinterpret_cast<wchar_t*>(records + *read);
    for (DWORD i = 0; i < *read; ++i) {
        USER_INFO_3* record = &records[i];
        const DWORD index = start + i;
        wchar_t* const* f = index < named ? listed[index] : NULL;
        record->usri3_name = text;
        if (f != NULL) {
            text = wcscpy(text, f[2]) + wcslen(f[2]) + 1;
            record->usri3_full_name = wcscpy(text, f[5]);
            text += wcslen(f[5]) + 1;
            record->usri3_user_id = wcstoul(f[3], NULL, 10);
            record->usri3_primary_group_id = f[4][0] != L'\0' ? wcstoul(f[4], NULL, 10) : 513;
            record->usri3_flags = !wcscmp(f[6], L"disabled") ? UF_ACCOUNTDISABLE : 0;
        } else {
            lstrcpynW(text, many[2], 16);
            _ultow(index - named, text + wcslen(text), 10);
            text += wcslen(text) + 1;
            record->usri3_full_name = text++;
            record->usri3_user_id = wcstoul(many[4], NULL, 10) + index - named;
            record->usri3_primary_group_id = 513;
        }
        record->usri3_flags |= UF_NORMAL_ACCOUNT;
    }
    *buffer = reinterpret_cast<LPBYTE>(records);
    *resume = start + *read;
    return *resume < *total ? ERROR_MORE_DATA : NERR_Success;
}

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    for (void*& slot : g_handedOut) {
        if (buffer != NULL && slot == buffer) {
            slot = NULL;
            return HeapFree(GetProcessHeap(), 0, buffer) ? NERR_Success : GetLastError();
        }
    }
    g_badReleases += buffer != NULL;
    return buffer == NULL ? NERR_Success : ERROR_INVALID_PARAMETER;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    int kept = 0;
    for (void* slot : g_handedOut) {
        kept += slot != NULL;
    }
    if (reason == DLL_PROCESS_DETACH && (kept != 0 || g_badReleases != 0 || g_askedAgain != 0)) {
        char line[96];
        DWORD length =
            snprintf(line, sizeof line, "netapi32: %d not given back, %d bad, %d asked again\r\n",
                     kept, g_badReleases, g_askedAgain);
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, length, &length, NULL);
    }
    return TRUE;
}
