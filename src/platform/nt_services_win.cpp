// The services of the NT family that the 32-bit exe must not import at load
// time (see platform.h): each is looked up in its DLL at its first call. The
// DLL is loaded from the system folder by its full path: a DLL of that name
// beside the exe or in the current folder (a downloads folder, say) must
// never run with an administrator's rights. The DLLs it imports are looked
// for beside it first (LOAD_WITH_ALTERED_SEARCH_PATH); what any DLL loads
// later follows the search that KeepDllsInTheSystemFolder set.
#define ACCTMAP_BINDING_NT_SERVICES
#include "platform/platform.h"

#include "request.h"
#include "text.h"

namespace {

// One service: where it lives and, once looked up, its address (NULL when
// this Windows lacks it). Constant-initialised, so no guard code is needed.
struct Service {
    const char* dll;
    const char* name;
    bool tried;
    FARPROC address;
};

// The system folder's copy of a DLL, or NULL.
HMODULE LoadSystemLibrary(const char* dll) {
    char path[kPathSize];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !AppendText(path, sizeof path, "\\") ||
        !AppendText(path, sizeof path, dll)) {
        return NULL;
    }
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The service as a function of type F, or NULL.
template <typename F>
F Bind(Service* service) {
    if (!service->tried) {
        service->tried = true;
        HMODULE module = LoadSystemLibrary(service->dll);
        service->address = module != NULL ? GetProcAddress(module, service->name) : NULL;
    }
    return reinterpret_cast<F>(reinterpret_cast<void*>(service->address));
}

}  // namespace

// Bound services that fail as their own failure looks, with the last error.
#define BOUND_CALL(dll, name, failure, ...)             \
    static Service service = {dll, #name, false, NULL}; \
    auto bound = Bind<decltype(&name)>(&service);       \
    if (bound == NULL) {                                \
        SetLastError(ERROR_PROC_NOT_FOUND);             \
        return failure;                                 \
    }                                                   \
    return bound(__VA_ARGS__)

// Bound services that fail as a BOOL call fails: FALSE and the last error.
#define BOUND_BOOL_CALL(dll, name, ...) BOUND_CALL(dll, name, FALSE, __VA_ARGS__)

NET_API_STATUS WINAPI BoundNetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE* buffer) {
    BOUND_CALL("netapi32.dll", NetGetDCName, ERROR_PROC_NOT_FOUND, server, domain, buffer);
}

NET_API_STATUS WINAPI BoundNetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                          LPBYTE* buffer) {
    BOUND_CALL("netapi32.dll", NetUserGetInfo, ERROR_PROC_NOT_FOUND, server, user, level, buffer);
}

NET_API_STATUS WINAPI BoundNetUserEnum(LPCWSTR server, DWORD level, DWORD filter, LPBYTE* buffer,
                                       DWORD preferred, LPDWORD read, LPDWORD total,
                                       LPDWORD resume) {
    BOUND_CALL("netapi32.dll", NetUserEnum, ERROR_PROC_NOT_FOUND, server, level, filter, buffer,
               preferred, read, total, resume);
}

NET_API_STATUS WINAPI BoundNetApiBufferFree(LPVOID buffer) {
    BOUND_CALL("netapi32.dll", NetApiBufferFree, ERROR_PROC_NOT_FOUND, buffer);
}

BOOL WINAPI BoundLookupAccountNameW(LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize,
                                    LPWSTR domain, LPDWORD domainSize, PSID_NAME_USE use) {
    BOUND_BOOL_CALL("advapi32.dll", LookupAccountNameW, system, account, sid, sidSize, domain,
                    domainSize, use);
}

// The SID readers are only reached with a SID that LookupAccountNameW gave,
// so advapi32's security services are there whenever they are called.
PSID_IDENTIFIER_AUTHORITY WINAPI BoundGetSidIdentifierAuthority(PSID sid) {
    BOUND_CALL("advapi32.dll", GetSidIdentifierAuthority, NULL, sid);
}

PUCHAR WINAPI BoundGetSidSubAuthorityCount(PSID sid) {
    BOUND_CALL("advapi32.dll", GetSidSubAuthorityCount, NULL, sid);
}

PDWORD WINAPI BoundGetSidSubAuthority(PSID sid, DWORD index) {
    BOUND_CALL("advapi32.dll", GetSidSubAuthority, NULL, sid, index);
}

BOOL WINAPI BoundGetFileSecurityA(LPCSTR path, SECURITY_INFORMATION what,
                                  PSECURITY_DESCRIPTOR descriptor, DWORD size, LPDWORD needed) {
    BOUND_BOOL_CALL("advapi32.dll", GetFileSecurityA, path, what, descriptor, size, needed);
}

BOOL WINAPI BoundSetFileSecurityA(LPCSTR path, SECURITY_INFORMATION what,
                                  PSECURITY_DESCRIPTOR descriptor) {
    BOUND_BOOL_CALL("advapi32.dll", SetFileSecurityA, path, what, descriptor);
}

BOOL WINAPI BoundCreateHardLinkA(LPCSTR link, LPCSTR existing, LPSECURITY_ATTRIBUTES security) {
    BOUND_BOOL_CALL("kernel32.dll", CreateHardLinkA, link, existing, security);
}

BOOL WINAPI BoundMoveFileExA(LPCSTR existing, LPCSTR destination, DWORD flags) {
    BOUND_BOOL_CALL("kernel32.dll", MoveFileExA, existing, destination, flags);
}

LPWSTR WINAPI BoundGetCommandLineW() {
    BOUND_CALL("kernel32.dll", GetCommandLineW, NULL, );
}

BOOL WINAPI BoundGetComputerNameW(LPWSTR name, LPDWORD size) {
    BOUND_BOOL_CALL("kernel32.dll", GetComputerNameW, name, size);
}

DWORD WINAPI BoundGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* file) {
    BOUND_CALL("kernel32.dll", GetFullPathNameW, 0, path, size, buffer, file);
}

HANDLE WINAPI BoundFindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW found) {
    BOUND_CALL("kernel32.dll", FindFirstFileW, INVALID_HANDLE_VALUE, path, found);
}

LONG WINAPI BoundRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                  LPBYTE data, LPDWORD size) {
    BOUND_CALL("advapi32.dll", RegQueryValueExW, ERROR_PROC_NOT_FOUND, key, name, reserved, type,
               data, size);
}

LONG WINAPI BoundRegOpenKeyExW(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
    BOUND_CALL("advapi32.dll", RegOpenKeyExW, ERROR_PROC_NOT_FOUND, parent, name, options, access,
               key);
}

LONG WINAPI BoundRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize,
                               LPDWORD reserved, LPWSTR className, LPDWORD classSize,
                               PFILETIME written) {
    BOUND_CALL("advapi32.dll", RegEnumKeyExW, ERROR_PROC_NOT_FOUND, key, index, name, nameSize,
               reserved, className, classSize, written);
}

DWORD WINAPI BoundExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
    BOUND_CALL("kernel32.dll", ExpandEnvironmentStringsW, 0, source, destination, size);
}

void KeepDllsInTheSystemFolder() {
    // LOAD_LIBRARY_SEARCH_SYSTEM32, from Windows 8's headers.
    const DWORD kSearchSystem32 = 0x00000800;
    typedef BOOL(WINAPI * SetDefaultDirectories)(DWORD);
    typedef BOOL(WINAPI * SetDirectory)(LPCSTR);
    static Service setDefault = {"kernel32.dll", "SetDefaultDllDirectories", false, NULL};
    static Service setDirectory = {"kernel32.dll", "SetDllDirectoryA", false, NULL};
    const SetDefaultDirectories systemOnly = Bind<SetDefaultDirectories>(&setDefault);
    if (systemOnly != NULL && systemOnly(kSearchSystem32)) {
        return;
    }
    const SetDirectory noCurrentFolder = Bind<SetDirectory>(&setDirectory);
    if (noCurrentFolder != NULL) {
        noCurrentFolder("");
    }
}
