// The Windows API as the simulated machine offers it on the host build: the
// names, types and result codes acctmap uses, as <windows.h> and <lm.h> give
// them, so that code outside src/platform/ compiles unchanged against either.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char CHAR;
typedef char16_t WCHAR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef BYTE* PUCHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HLOCAL;
typedef void* PSID;
typedef DWORD REGSAM;
typedef DWORD NET_API_STATUS;
typedef struct SimRegistryKey* HKEY;
typedef HKEY* PHKEY;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#define CP_ACP 0

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_BAD_NETPATH 53L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_MORE_DATA 234L
#define WAIT_TIMEOUT 258L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_FILE_READ_ONLY 6009L

#define NERR_Success 0
#define NERR_UserNotFound 2221
#define NERR_DCNotFound 2453

#define KEY_READ 0x20019
#define KEY_WOW64_32KEY 0x0200
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((DWORD)(s)) << 10) | (DWORD)(p))

#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE 68

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
typedef SID_IDENTIFIER_AUTHORITY* PSID_IDENTIFIER_AUTHORITY;

enum SID_NAME_USE { SidTypeUser = 1 };
typedef SID_NAME_USE* PSID_NAME_USE;

// The level 3 account record: of its fields, the ones acctmap reads.
struct USER_INFO_3 {
    LPWSTR usri3_name;
    LPWSTR usri3_full_name;
    DWORD usri3_user_id;
    DWORD usri3_primary_group_id;
};

// kernel32
DWORD GetVersion(void);
DWORD GetLastError(void);
void SetLastError(DWORD code);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wide, int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multiByte,
                        int multiByteCount, LPCSTR defaultChar, BOOL* usedDefaultChar);
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);
HLOCAL LocalFree(HLOCAL memory);

// advapi32
BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
BOOL LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidSize,
                        LPSTR referencedDomain, LPDWORD referencedDomainSize, PSID_NAME_USE use);
PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid);
PUCHAR GetSidSubAuthorityCount(PSID sid);
PDWORD GetSidSubAuthority(PSID sid, DWORD index);
LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegCloseKey(HKEY key);

// netapi32
NET_API_STATUS NetGetDCName(LPCWSTR serverName, LPCWSTR domainName, LPBYTE* buffer);
NET_API_STATUS NetUserGetInfo(LPCWSTR serverName, LPCWSTR userName, DWORD level, LPBYTE* buffer);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);
