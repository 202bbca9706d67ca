// What the source files of the simulated machine share: the machine that the
// profile describes, and the text helpers every service needs. Nothing
// outside src/platform/sim/ includes this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Names and texts are kept in UTF-16, as Windows keeps them; the A services
// convert at their border.
typedef std::u16string Text;

struct SimDomain {
    Text name;
    DWORD error;  // 0: the domain has a controller
    Text controller;
};

struct SimAccount {
    Text server;  // without leading backslashes; empty = the local machine
    Text name;
    DWORD error;  // non-zero: NetUserGetInfo answers this for the account
    DWORD userId;
    DWORD primaryGroupId;
    bool hasFullName;
    Text fullName;
};

struct SimLookup {
    Text name;
    DWORD error;  // non-zero: LookupAccountNameA fails with this last error
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidLength;
    Text domain;
};

struct SimNamedText {
    Text name;
    Text text;
    bool terminated;  // registry data: stored with its NUL
};

struct SimKey {
    Text name;     // its path under HKEY_LOCAL_MACHINE
    DWORD denied;  // non-zero: the key exists but its open fails with this
    std::vector<SimNamedText> values;
};

struct SimFaults {
    DWORD createDirectory;  // 0: none
    DWORD closeFile;
    uint64_t writeLimit;  // UINT64_MAX: none
    uint64_t killAfter;
    unsigned lockWaitMs;  // 0: the program's own wait
};

struct SimMachine {
    bool family95;
    bool hasLoggedOnUser;
    Text loggedOnUser;
    std::string drives[26];  // host folder of each drive letter; empty = no such drive
    std::vector<SimNamedText> environment;
    std::vector<SimDomain> domains;
    std::vector<SimAccount> accounts;
    std::vector<SimLookup> lookups;
    std::vector<SimKey> keys;
    std::vector<SimNamedText> messages;  // the name is the code in decimal
    SimFaults faults;
};

// The machine of this run. The first call loads the profile named by
// ACCTMAP_MACHINE (or the example machine); a profile that does not load ends
// the run with status 1 after its message on standard error.
const SimMachine& SimCurrentMachine(void);

// Windows-1252, the machine's ANSI code page, and UTF-16.
Text SimAnsiToWide(const char* text);
// Characters that 1252 lacks become '?'; false for an unpaired surrogate.
bool SimWideToAnsi(const Text& text, std::string* out);
std::string SimAnsiToUtf8(const char* text);
bool SimUtf8ToWide(const std::string& text, Text* out);
Text SimWideFromPointer(const WCHAR* text);

// Names as Windows compares them: ASCII letters without regard to case.
bool SimSameName(const Text& a, const Text& b);

// Parses "S-1-..." into the binary SID form; false when it is not a SID.
bool SimParseSid(const std::string& text, BYTE* sid, DWORD* length);

// Memory and keys the machine hands out. What the program has not given
// back when it exits is reported on standard error, as is anything given
// back twice or never handed out.
enum SimAllocationKind { SIM_NET_BUFFER, SIM_LOCAL_BUFFER, SIM_REGISTRY_KEY, SIM_ALLOCATION_KINDS };
void* SimAllocate(SimAllocationKind kind, size_t bytes);
bool SimRelease(SimAllocationKind kind, void* memory);
