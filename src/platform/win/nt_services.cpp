// The services of the NT family that the 32-bit exe must not import at load
// time (see platform.h): each is looked up in its DLL at its first call.
#define ACCTMAP_BINDING_NT_SERVICES
#include "platform/platform.h"

namespace {

// One service: where it lives and, once looked up, its address (NULL when
// this Windows lacks it). Constant-initialised, so no guard code is needed.
struct Service {
    const char* dll;
    const char* name;
    bool tried;
    FARPROC address;
};

// The service as a function of type F, or NULL.
template <typename F>
F Bind(Service* service) {
    if (!service->tried) {
        service->tried = true;
        HMODULE module = LoadLibraryA(service->dll);
        service->address = module != NULL ? GetProcAddress(module, service->name) : NULL;
    }
    return reinterpret_cast<F>(reinterpret_cast<void*>(service->address));
}

}  // namespace

NET_API_STATUS WINAPI BoundNetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE* buffer) {
    static Service service = {"netapi32.dll", "NetGetDCName", false, NULL};
    auto bound = Bind<decltype(&NetGetDCName)>(&service);
    return bound != NULL ? bound(server, domain, buffer) : ERROR_PROC_NOT_FOUND;
}

NET_API_STATUS WINAPI BoundNetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                          LPBYTE* buffer) {
    static Service service = {"netapi32.dll", "NetUserGetInfo", false, NULL};
    auto bound = Bind<decltype(&NetUserGetInfo)>(&service);
    return bound != NULL ? bound(server, user, level, buffer) : ERROR_PROC_NOT_FOUND;
}

NET_API_STATUS WINAPI BoundNetApiBufferFree(LPVOID buffer) {
    static Service service = {"netapi32.dll", "NetApiBufferFree", false, NULL};
    auto bound = Bind<decltype(&NetApiBufferFree)>(&service);
    return bound != NULL ? bound(buffer) : ERROR_PROC_NOT_FOUND;
}

BOOL WINAPI BoundLookupAccountNameA(LPCSTR system, LPCSTR account, PSID sid, LPDWORD sidSize,
                                    LPSTR domain, LPDWORD domainSize, PSID_NAME_USE use) {
    static Service service = {"advapi32.dll", "LookupAccountNameA", false, NULL};
    auto bound = Bind<decltype(&LookupAccountNameA)>(&service);
    if (bound == NULL) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return bound(system, account, sid, sidSize, domain, domainSize, use);
}

// The SID readers are only reached with a SID that LookupAccountNameA gave,
// so advapi32's security services are there whenever they are called.
PSID_IDENTIFIER_AUTHORITY WINAPI BoundGetSidIdentifierAuthority(PSID sid) {
    static Service service = {"advapi32.dll", "GetSidIdentifierAuthority", false, NULL};
    return Bind<decltype(&GetSidIdentifierAuthority)>(&service)(sid);
}

PUCHAR WINAPI BoundGetSidSubAuthorityCount(PSID sid) {
    static Service service = {"advapi32.dll", "GetSidSubAuthorityCount", false, NULL};
    return Bind<decltype(&GetSidSubAuthorityCount)>(&service)(sid);
}

PDWORD WINAPI BoundGetSidSubAuthority(PSID sid, DWORD index) {
    static Service service = {"advapi32.dll", "GetSidSubAuthority", false, NULL};
    return Bind<decltype(&GetSidSubAuthority)>(&service)(sid, index);
}

BOOL WINAPI BoundReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                              LPVOID exclude, LPVOID reserved) {
    static Service service = {"kernel32.dll", "ReplaceFileA", false, NULL};
    auto bound = Bind<decltype(&ReplaceFileA)>(&service);
    if (bound == NULL) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return bound(replaced, replacement, backup, flags, exclude, reserved);
}

BOOL WINAPI BoundMoveFileExA(LPCSTR existing, LPCSTR destination, DWORD flags) {
    static Service service = {"kernel32.dll", "MoveFileExA", false, NULL};
    auto bound = Bind<decltype(&MoveFileExA)>(&service);
    if (bound == NULL) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return bound(existing, destination, flags);
}
