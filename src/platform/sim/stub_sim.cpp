// Placeholder until the simulated machine lands.
#include "platform/platform.h"
#include <cstdio>
static DWORD g_last = 0;
DWORD GetVersion(void) { return 0x23F00206u; }
DWORD GetLastError(void) { return g_last; }
void SetLastError(DWORD c) { g_last = c; }
int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
int WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, BOOL*) { return 0; }
DWORD ExpandEnvironmentStringsA(LPCSTR, LPSTR, DWORD) { return 0; }
BOOL CreateDirectoryA(LPCSTR, LPSECURITY_ATTRIBUTES) { return FALSE; }
BOOL CopyFileA(LPCSTR, LPCSTR, BOOL) { return FALSE; }
DWORD FormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, va_list*) { return 0; }
HLOCAL LocalFree(HLOCAL) { return NULL; }
BOOL GetUserNameA(LPSTR, LPDWORD) { return FALSE; }
BOOL LookupAccountNameA(LPCSTR, LPCSTR, PSID, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE) { return FALSE; }
PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID s) { return (PSID_IDENTIFIER_AUTHORITY)s; }
PUCHAR GetSidSubAuthorityCount(PSID s) { return (PUCHAR)s; }
PDWORD GetSidSubAuthority(PSID s, DWORD) { return (PDWORD)s; }
LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return 2; }
LONG RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return 2; }
LONG RegCloseKey(HKEY) { return 0; }
NET_API_STATUS NetGetDCName(LPCWSTR, LPCWSTR, LPBYTE*) { return 2453; }
NET_API_STATUS NetUserGetInfo(LPCWSTR, LPCWSTR, DWORD, LPBYTE*) { return 2221; }
NET_API_STATUS NetApiBufferFree(LPVOID) { return 0; }
FILE* RtStdout(void) { return stdout; }
FILE* RtStderr(void) { return stderr; }
FILE* RtOpenFile(const char*, const char*) { return NULL; }
int RtPathExists(const char*) { return 0; }
int RtIsReadOnly(const char*) { return 0; }
DWORD RtCommitFile(FILE*) { return 0; }
DWORD RtRemoveFile(const char*) { return 0; }
DWORD RtReplaceFile(const char*, const char*, const char*) { return 5; }
RtLockResult RtLockFile(const char*, unsigned, RtLockHandle* h) { *h = RT_NO_LOCK; return RT_LOCK_FAILED; }
void RtUnlockFile(RtLockHandle) {}
