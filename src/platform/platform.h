// What acctmap needs of Windows beyond <windows.h>: the services bound at
// first use, the registry view of Cygwin's mount table, and the big-block
// file I/O of the passwd rewrite. Only the Windows build includes it.
#pragma once

#include <cstddef>
#include <cstdint>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <lm.h>

// Services only the NT family has are bound at their first call
// (nt_services_win.cpp): the Windows 95 family's loader refuses an exe that
// imports them, even one that would never call them there. A service that
// cannot be bound fails as the service itself fails, with
// ERROR_PROC_NOT_FOUND.
#ifndef ACCTMAP_BINDING_NT_SERVICES
#define NetGetDCName BoundNetGetDCName
#define NetUserGetInfo BoundNetUserGetInfo
#define NetUserEnum BoundNetUserEnum
#define NetApiBufferFree BoundNetApiBufferFree
#define LookupAccountNameW BoundLookupAccountNameW
#define GetSidIdentifierAuthority BoundGetSidIdentifierAuthority
#define GetSidSubAuthorityCount BoundGetSidSubAuthorityCount
#define GetSidSubAuthority BoundGetSidSubAuthority
#define GetFileSecurityA BoundGetFileSecurityA
#define SetFileSecurityA BoundSetFileSecurityA
#define CreateHardLinkA BoundCreateHardLinkA
#define MoveFileExA BoundMoveFileExA
#define GetCommandLineW BoundGetCommandLineW
#define GetComputerNameW BoundGetComputerNameW
#define GetFullPathNameW BoundGetFullPathNameW
#define FindFirstFileW BoundFindFirstFileW
#define RegQueryValueExW BoundRegQueryValueExW
#define RegOpenKeyExW BoundRegOpenKeyExW
#define RegEnumKeyExW BoundRegEnumKeyExW
#define ExpandEnvironmentStringsW BoundExpandEnvironmentStringsW
#endif
NET_API_STATUS WINAPI BoundNetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE* buffer);
NET_API_STATUS WINAPI BoundNetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                          LPBYTE* buffer);
NET_API_STATUS WINAPI BoundNetUserEnum(LPCWSTR server, DWORD level, DWORD filter, LPBYTE* buffer,
                                       DWORD preferred, LPDWORD read, LPDWORD total,
                                       LPDWORD resume);
NET_API_STATUS WINAPI BoundNetApiBufferFree(LPVOID buffer);
BOOL WINAPI BoundLookupAccountNameW(LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize,
                                    LPWSTR domain, LPDWORD domainSize, PSID_NAME_USE use);
PSID_IDENTIFIER_AUTHORITY WINAPI BoundGetSidIdentifierAuthority(PSID sid);
PUCHAR WINAPI BoundGetSidSubAuthorityCount(PSID sid);
PDWORD WINAPI BoundGetSidSubAuthority(PSID sid, DWORD index);
BOOL WINAPI BoundGetFileSecurityA(LPCSTR path, SECURITY_INFORMATION what,
                                  PSECURITY_DESCRIPTOR descriptor, DWORD size, LPDWORD needed);
BOOL WINAPI BoundSetFileSecurityA(LPCSTR path, SECURITY_INFORMATION what,
                                  PSECURITY_DESCRIPTOR descriptor);
BOOL WINAPI BoundCreateHardLinkA(LPCSTR link, LPCSTR existing, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI BoundMoveFileExA(LPCSTR existing, LPCSTR destination, DWORD flags);
// The wide forms through which names and paths enter (the Windows 95
// family has no working one): NULL, 0, INVALID_HANDLE_VALUE or
// ERROR_PROC_NOT_FOUND where they cannot be bound.
LPWSTR WINAPI BoundGetCommandLineW();
BOOL WINAPI BoundGetComputerNameW(LPWSTR name, LPDWORD size);
DWORD WINAPI BoundGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* file);
HANDLE WINAPI BoundFindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW found);
LONG WINAPI BoundRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                  LPBYTE data, LPDWORD size);
LONG WINAPI BoundRegOpenKeyExW(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key);
LONG WINAPI BoundRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize,
                               LPDWORD reserved, LPWSTR className, LPDWORD classSize,
                               PFILETIME written);
DWORD WINAPI BoundExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);

// A file of its own: neither a folder nor a link (a reparse point), whose
// target is not the run's to touch.
inline bool IsPlainFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Every DLL that the process loads from now on, a system DLL's own late
// loads included, comes from the system folder: SetDefaultDllDirectories
// (Windows 8, or 7 with KB2533623) with the system folder alone, or else
// SetDllDirectoryA("") (XP SP1 on), which takes the current folder out of
// the search. Both are bound here, not imported; without either, nothing
// changes.
void KeepDllsInTheSystemFolder();

// The registry view to ask first for Cygwin's mount table. 32-bit Cygwin
// keeps it in the 32-bit view, which a 64-bit program sees only when it asks
// for it. The 32-bit exe is sent there by the system itself and passes no
// view flag, which Windows 2000 would refuse.
#ifdef _WIN64
#define CYGWIN_MOUNT_VIEW_FLAG KEY_WOW64_32KEY
#else
#define CYGWIN_MOUNT_VIEW_FLAG 0
#endif

// The passwd filter's I/O (passwd/filter.h) on a file handle: blocks of any
// size, each call at most 1 GiB so a DWORD count holds it.
uint32_t ReadHandle(void* handle, char* buffer, size_t size, size_t* got);
uint32_t SeekHandle(void* handle, uint64_t offset);
uint32_t WriteHandle(void* handle, const char* data, size_t size);
