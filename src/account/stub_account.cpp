// Placeholder until account resolution lands.
#include "account/account.h"
int ResolveAccount(const UserRequest*, AccountInfo*) { return 1; }
void WideToNarrow(LPCWSTR, char* d, int) { d[0] = '\0'; }
const char* SidToText(PSID) { return "S-1-"; }
