// The file work of the passwd rewrite on Windows: the one name the file
// system stores for the passwd file, and the lock that runs on it share.
#pragma once

#include <cstddef>
#include <cstdint>

// The backup's name is the passwd file's with this behind it.
#define BACKUP_SUFFIX ".bak"

// The passwd file's path as the file system stores it, into `out` (`size`
// bytes): made full (separators, "..", trailing dots and blanks), every
// existing component in its long form and stored letter case; a missing
// file takes the stored name of its backup. Every spelling of one file
// gives the same text. 0, or the Windows error code.
uint32_t StoredPasswdPath(const char* typed, char* out, size_t size);

// How long a run waits, in all, for other programs: another run's lock, a
// program writing to the passwd file, a rename refused while a program holds
// one of the files.
enum { kWaitMs = 10000 };

// Sleeps `pauseMs` and returns true while the run, whose wait began at
// `start` (GetTickCount), has budget left; false at once when it has none.
bool PauseIfTimeLeft(uint32_t start, unsigned pauseMs);

// Takes the lock named `lockPath` (a file beside the passwd file), waiting
// while another process holds it and the run's budget (from `start`) lasts.
// 0 with `*lock` set, WAIT_TIMEOUT when the wait gave up, or the Windows
// error code. The system drops the lock when the process ends, however it
// ends.
uint32_t TakeLock(const char* lockPath, uint32_t start, void** lock);
void ReleaseLock(void* lock);
