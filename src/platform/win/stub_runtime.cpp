// Placeholder until the Windows runtime layer lands.
#include "platform/platform.h"
FILE* RtStdout(void) { return stdout; }
FILE* RtStderr(void) { return stderr; }
FILE* RtOpenFile(const char* p, const char* m) { return fopen(p, m); }
int RtPathExists(const char*) { return 0; }
int RtIsReadOnly(const char*) { return 0; }
DWORD RtCommitFile(FILE*) { return 0; }
DWORD RtRemoveFile(const char*) { return 0; }
DWORD RtReplaceFile(const char*, const char*, const char*) { return 5; }
RtLockResult RtLockFile(const char*, unsigned, RtLockHandle* h) { *h = RT_NO_LOCK; return RT_LOCK_FAILED; }
void RtUnlockFile(RtLockHandle) {}
