// The one way the rest of acctmap reaches the operating system.
//
// The Windows services are used by their Windows names and types: on Windows
// they come from <windows.h> and <lm.h>, on the host build from the simulated
// machine. The standard streams and the file operations of the passwd
// rewrite are reached through the Rt functions below, so that the host build
// can behave like Windows (text mode, read-only files, a full disk) while the
// code above this layer stays the same on both builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <lm.h>
// Services only the NT family has are bound at their first call
// (win/nt_services.cpp): the Windows 95 family's loader refuses an exe that
// imports them, even one that would never call them there. A service that
// cannot be bound fails as the service itself fails, with
// ERROR_PROC_NOT_FOUND.
#ifndef ACCTMAP_BINDING_NT_SERVICES
#define NetGetDCName BoundNetGetDCName
#define NetUserGetInfo BoundNetUserGetInfo
#define NetApiBufferFree BoundNetApiBufferFree
#define LookupAccountNameA BoundLookupAccountNameA
#define GetSidIdentifierAuthority BoundGetSidIdentifierAuthority
#define GetSidSubAuthorityCount BoundGetSidSubAuthorityCount
#define GetSidSubAuthority BoundGetSidSubAuthority
#define ReplaceFileA BoundReplaceFileA
#define MoveFileExA BoundMoveFileExA
#endif
NET_API_STATUS WINAPI BoundNetGetDCName(LPCWSTR server, LPCWSTR domain, LPBYTE* buffer);
NET_API_STATUS WINAPI BoundNetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                          LPBYTE* buffer);
NET_API_STATUS WINAPI BoundNetApiBufferFree(LPVOID buffer);
BOOL WINAPI BoundLookupAccountNameA(LPCSTR system, LPCSTR account, PSID sid, LPDWORD sidSize,
                                    LPSTR domain, LPDWORD domainSize, PSID_NAME_USE use);
PSID_IDENTIFIER_AUTHORITY WINAPI BoundGetSidIdentifierAuthority(PSID sid);
PUCHAR WINAPI BoundGetSidSubAuthorityCount(PSID sid);
PDWORD WINAPI BoundGetSidSubAuthority(PSID sid, DWORD index);
BOOL WINAPI BoundReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                              LPVOID exclude, LPVOID reserved);
BOOL WINAPI BoundMoveFileExA(LPCSTR existing, LPCSTR destination, DWORD flags);
#else
#include "platform/sim/sim_windows.h"
#endif

// The registry view to ask first for Cygwin's mount table. 32-bit Cygwin
// keeps it in the 32-bit view, which a 64-bit program sees only when it asks
// for it. The 32-bit exe is sent there by the system itself and passes no
// view flag, which Windows 2000 would refuse. The host build stands for the
// 64-bit exe.
#if defined(_WIN32) && !defined(_WIN64)
#define RT_CYGWIN_REGISTRY_VIEW 0
#else
#define RT_CYGWIN_REGISTRY_VIEW KEY_WOW64_32KEY
#endif

// Standard output and standard error as text-mode streams: every line feed
// written reaches the console or file as CR LF.
FILE* RtStdout(void);
FILE* RtStderr(void);

// The first `c` in the `size` bytes at `bytes`, or NULL: the C runtime's
// memchr where it is fast, a word at a time where it goes byte by byte.
const char* RtFindByte(const char* bytes, size_t size, char c);

// A file of the passwd rewrite, read and written as bytes by the system's
// own calls: the rewrite makes its own line ends and needs no runtime
// buffering.
typedef struct RtFile RtFile;

// Opens an existing file for reading. NULL on failure, with the Windows error
// code left for GetLastError.
RtFile* RtOpenFile(const char* path);

// Makes a fresh file for writing: exclusively, never through a link, after
// removing whatever a killed run left under the name. NULL on failure, with
// the code left for GetLastError.
RtFile* RtCreateNewFile(const char* path);

// Reads up to `size` bytes; `*got` is 0 at the end of the file. These return
// 0, or the Windows error code.
DWORD RtReadFile(RtFile* file, void* buffer, size_t size, size_t* got);
DWORD RtWriteFile(RtFile* file, const void* data, size_t size);
DWORD RtSeekFile(RtFile* file, uint64_t offset);
// Forces what was written to the disk.
DWORD RtCommitFile(RtFile* file);
// Closes the file, whatever the result.
DWORD RtCloseFile(RtFile* file);

// The runtime's file-status query: non-zero when a file or directory exists
// at the path.
int RtPathExists(const char* path);

// Non-zero when the file exists and carries the read-only attribute (on the
// host: has no write bit at all, even for root).
int RtIsReadOnly(const char* path);

// Removes a file (a link itself, never its target); 0 or the Windows error
// code.
DWORD RtRemoveFile(const char* path);

// The file that a rewrite of `path` works on, into `out`: the path itself,
// or on the host the target of a symbolic link, so that the link stays one.
// False when it does not fit `size` bytes.
bool RtResolvePath(const char* path, char* out, size_t size);

// Puts `replacement` in the place of `target` in one step, so that any
// observer sees either the old or the new file. An existing target keeps its
// security, attributes and owner, and becomes `backup` (unless that is NULL)
// in the same step, replacing a backup that is there, read-only or not. 0 on
// success, otherwise the Windows error code; on failure `target` is as it
// was.
DWORD RtReplaceFile(const char* target, const char* replacement, const char* backup);

// A lock that serialises the runs that rewrite one passwd file, under every
// spelling of its name; the operating system drops it when the process ends,
// however it ends.
typedef intptr_t RtLockHandle;
#define RT_NO_LOCK ((RtLockHandle)-1)

// Takes the lock named by `lockPath` (a file beside the passwd file), waiting
// up to `timeoutMs` milliseconds while another process holds it. 0, or
// WAIT_TIMEOUT when the wait gave up, or the Windows error code.
DWORD RtLockFile(const char* lockPath, unsigned timeoutMs, RtLockHandle* handle);
void RtUnlockFile(RtLockHandle handle);
