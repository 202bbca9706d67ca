// Legacy listing mode (Windows 95 family): the administrator's entry and the
// logged-on user's, with a user id computed from the name.
#pragma once

#include <cstdint>

void ListLegacyEntries(const char* homePath);

// The user id of a name: 501..999, the same for names that differ only in
// the case of the letters a to z.
uint32_t LegacyUid(const char* name);
