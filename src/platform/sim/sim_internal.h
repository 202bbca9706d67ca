// What the source files of the simulated machine share: the machine that the
// profile describes, and the text and path helpers every service needs.
// Nothing outside src/platform/sim/ includes this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Every name and text of the machine is kept in UTF-16, as Windows keeps it;
// the A services convert at their border.
struct SimDomain {
    std::u16string name;
    DWORD error;  // 0: the domain has a controller
    std::u16string controller;
};

struct SimAccount {
    std::u16string server;  // without leading backslashes; empty = the local machine
    std::u16string name;
    DWORD error;  // non-zero: NetUserGetInfo answers this for the account
    DWORD userId;
    DWORD primaryGroupId;
    bool hasFullName;
    std::u16string fullName;
};

struct SimLookup {
    std::u16string name;
    DWORD error;  // non-zero: LookupAccountNameA fails with this last error
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidLength;
    std::u16string domain;
};

struct SimNamedText {
    std::u16string name;
    std::u16string text;
};

struct SimRegistryKeyData {
    std::u16string path;
    std::vector<SimNamedText> values;
};

struct SimDeniedKey {
    std::u16string path;
    DWORD code;
};

struct SimMessage {
    DWORD code;
    std::u16string text;
};

struct SimMachine {
    bool family95;
    bool hasLoggedOnUser;
    std::u16string loggedOnUser;
    std::string drives[26];  // host folder of each drive letter; empty = no such drive
    std::vector<SimNamedText> environment;
    std::vector<SimDomain> domains;
    std::vector<SimAccount> accounts;
    std::vector<SimLookup> lookups;
    std::vector<SimRegistryKeyData> registry;
    std::vector<SimDeniedKey> deniedKeys;
    std::vector<SimMessage> messages;
    DWORD copyFileFault;         // 0: none
    DWORD createDirectoryFault;  // 0: none
    bool hasWriteLimit;
    uint64_t writeLimit;
};

// The machine of this run. The first call loads the profile named by
// ACCTMAP_MACHINE (or the example machine); a profile that does not load ends
// the run with status 1 after its message on standard error.
const SimMachine& SimCurrentMachine(void);

// Bytes written to files so far during the run (the write_limit budget).
extern uint64_t g_simBytesWritten;

// Windows-1252 <-> UTF-16, as the machine's ANSI code page.
char16_t SimAnsiCharToWide(unsigned char c);
bool SimWideCharToAnsi(char16_t c, unsigned char* out);
std::u16string SimAnsiToWide(const char* text);
// Characters that 1252 lacks become '?'.
std::string SimWideToAnsi(const std::u16string& text);
std::string SimAnsiToUtf8(const char* text);
bool SimUtf8ToWide(const std::string& text, std::u16string* out);
std::u16string SimWideFromPointer(const WCHAR* text);

// Names as Windows compares them: ASCII letters without regard to case.
bool SimSameName(const std::u16string& a, const std::u16string& b);

// The Windows error code for an errno value of a failed host call.
DWORD SimErrnoToWindows(int error);

// Parses "S-1-..." into the binary SID form; false when it is not a SID.
bool SimParseSid(const std::string& text, BYTE* sid, DWORD* length);

// Where a Windows path lives on the host. Returns 0, or ERROR_PATH_NOT_FOUND
// for a drive that the machine does not have.
DWORD SimHostPath(const char* path, std::string* hostPath);

// Memory the machine hands out, kept track of so that tests can tell that
// the program gives all of it back, and gives nothing back twice.
enum SimAllocationKind { SIM_NET_BUFFER, SIM_LOCAL_BUFFER };
void* SimAllocate(SimAllocationKind kind, size_t bytes);
// False (and counted as a bad release) for memory not handed out as `kind`.
bool SimRelease(SimAllocationKind kind, void* memory);
int SimCountAllocations(SimAllocationKind kind);
