// Placeholder until the passwd output lands.
#include "passwd/passwd.h"
#include "cli/legacy.h"
void WritePasswdEntry(FILE*, const char*, const AccountInfo*, const HomeLocation*) {}
void WriteAdminEntry(const char*) {}
void WriteUserEntry(const char*, DWORD, const char*) {}
int RewritePasswdFile(const UserRequest*, AccountInfo*, const HomeLocation*) { return 1; }
void ListLegacyEntries(const char*) {}
DWORD LegacyUid(const char*) { return 501; }
