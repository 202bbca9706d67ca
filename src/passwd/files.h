// The file work of the passwd rewrite on Windows: the one name the file
// system stores for the passwd file, and the lock that runs on it share.
#pragma once

#include <cstddef>
#include <cstdint>

// The passwd file's path as the file system stores it, into `out` (`size`
// bytes): made full (separators, "..", trailing dots and blanks), every
// existing component in its long form and stored letter case; a missing
// file takes the stored name of its backup. Every spelling of one file
// gives the same text. 0, or the Windows error code.
uint32_t StoredPasswdPath(const char* typed, char* out, size_t size);

// Takes the lock named `lockPath` (a file beside the passwd file), waiting up
// to `timeoutMs` milliseconds while another process holds it. 0 with
// `*lock` set, WAIT_TIMEOUT when the wait gave up, or the Windows error code.
// The system drops the lock when the process ends, however it ends.
uint32_t TakeLock(const char* lockPath, unsigned timeoutMs, void** lock);
void ReleaseLock(void* lock);
