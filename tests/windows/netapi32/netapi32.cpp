// A test-only netapi32.dll: Wine's own cannot give account records at level
// 3, so the Wine suite puts this one beside acctmap.exe and picks it with
// WINEDLLOVERRIDES=netapi32=n. It answers from the account lines of the
// end-to-end table, in the file ACCTMAP_NETAPI_DATA names, as the host's
// simulated machine reads them (UTF-8, tab-separated):
//   dc    <domain>  <controller> | error=<code>
//   user  <server>  <name>  <rid> | error=<code>  [<group rid>  [<full name>]]
// <server> "." is the local machine. Unlisted domains give 2453, unlisted
// users 2221. At exit it says on standard error what was not given back, or
// given back wrongly, as the simulated machine does.
#include <windows.h>
#include <lm.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::set<void*>* const g_handedOut = new std::set<void*>;
int g_badReleases = 0;

// The line of this kind whose next fields are these names (compared without
// regard to case, as Windows compares names); its fields, or none.
std::vector<std::wstring> Find(const wchar_t* kind, const wchar_t* key, const wchar_t* name) {
    std::ostringstream bytes;
    bytes << std::ifstream(getenv("ACCTMAP_NETAPI_DATA"), std::ios::binary).rdbuf();
    std::wstring text(bytes.str().size(), L'\0');
    text.resize(
        MultiByteToWideChar(CP_UTF8, 0, bytes.str().data(), text.size(), &text[0], text.size()));
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);) {
        std::vector<std::wstring> f;
        std::wistringstream split(line);
        for (std::wstring field; std::getline(split, field, L'\t');) {
            f.push_back(field);
        }
        if (f.size() >= (name != NULL ? 4u : 3u) && f[0] == kind && !_wcsicmp(f[1].c_str(), key) &&
            (name == NULL || !_wcsicmp(f[2].c_str(), name))) {
            return f;
        }
    }
    return {};
}

// "error=<code>" gives that code.
bool IsError(const std::wstring& field, NET_API_STATUS* status) {
    *status = field.compare(0, 6, L"error=") == 0 ? wcstoul(field.c_str() + 6, NULL, 10) : 0;
    return *status != 0;
}

LPBYTE HandOut(size_t size) {
    void* buffer = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    g_handedOut->insert(buffer);
    return static_cast<LPBYTE>(buffer);
}

}  // namespace

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI
    NetGetDCName(LPCWSTR, LPCWSTR domain, LPBYTE* buffer) {
    NET_API_STATUS status = NERR_DCNotFound;
    const std::vector<std::wstring> r = Find(L"dc", domain, NULL);
    if (!r.empty() && !IsError(r[2], &status)) {
        const size_t size = (r[2].size() + 1) * sizeof(wchar_t);
        memcpy(*buffer = HandOut(size), r[2].c_str(), size);
    }
    return status;
}

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI
    NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buffer) {
    NET_API_STATUS status = level == 3 ? NERR_UserNotFound : ERROR_INVALID_LEVEL;
    const std::vector<std::wstring> r =
        Find(L"user", server != NULL && server[0] != L'\0' ? server : L".", user);
    if (level == 3 && !r.empty() && !IsError(r[3], &status)) {
        // One block: the record, then its name and full name.
        const std::wstring full = r.size() > 5 ? r[5] : L"";
        USER_INFO_3* info = reinterpret_cast<USER_INFO_3*>(
            HandOut(sizeof(USER_INFO_3) + (r[2].size() + full.size() + 2) * sizeof(wchar_t)));
        info->usri3_name = wcscpy(reinterpret_cast<wchar_t*>(info + 1), r[2].c_str());
        info->usri3_full_name = wcscpy(info->usri3_name + r[2].size() + 1, full.c_str());
        info->usri3_user_id = wcstoul(r[3].c_str(), NULL, 10);
        info->usri3_primary_group_id = r.size() > 4 ? wcstoul(r[4].c_str(), NULL, 10) : 513;
        *buffer = reinterpret_cast<LPBYTE>(info);
    }
    return status;
}

extern "C" __declspec(dllexport) NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer) {
    if (buffer != NULL && g_handedOut->erase(buffer) == 0) {
        ++g_badReleases;
        return ERROR_INVALID_PARAMETER;
    }
    return buffer == NULL || HeapFree(GetProcessHeap(), 0, buffer) ? NERR_Success : GetLastError();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && (!g_handedOut->empty() || g_badReleases != 0)) {
        char line[96];
        DWORD length = snprintf(line, sizeof line, "netapi32: %u not given back, %d bad\r\n",
                                static_cast<unsigned>(g_handedOut->size()), g_badReleases);
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, length, &length, NULL);
    }
    return TRUE;
}
