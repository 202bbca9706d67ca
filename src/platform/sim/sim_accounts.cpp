// The machine's account database, security identifiers and registry, and the
// memory these services hand out.
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

// A registry key handle of the simulated machine.
struct SimRegistryKey {
    std::u16string path;
};

namespace {

// Never destroyed: what the program still holds when it exits stays
// reachable, as on Windows where it goes away with the process, so a leak
// checker does not blame a run that ends early. The counts tell tests what
// was not given back.
std::set<void*>* const g_allocations = new std::set<void*>[2];
std::set<SimRegistryKey*>& g_openKeys = *new std::set<SimRegistryKey*>;
int g_badReleases = 0;

const DWORD kInvalidLevel = 124;
const DWORD kRegSz = 1;
// Access rights that would change a key: the machine's keys are read only.
const REGSAM kWriteAccess = 0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000;

std::u16string WithoutLeadingBackslashes(const std::u16string& server) {
    size_t start = 0;
    while (start < server.size() && server[start] == u'\\') {
        ++start;
    }
    return server.substr(start);
}

// The local machine, every domain controller and every server an account
// names.
bool KnownServer(const SimMachine& machine, const std::u16string& server) {
    if (server.empty()) {
        return true;
    }
    for (const SimDomain& domain : machine.domains) {
        if (domain.error == 0 &&
            SimSameName(WithoutLeadingBackslashes(domain.controller), server)) {
            return true;
        }
    }
    for (const SimAccount& account : machine.accounts) {
        if (SimSameName(account.server, server)) {
            return true;
        }
    }
    return false;
}

WCHAR* AllocateWide(const std::u16string& text) {
    WCHAR* copy = (WCHAR*)SimAllocate(SIM_NET_BUFFER, (text.size() + 1) * sizeof(WCHAR));
    if (copy != nullptr) {
        memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    }
    return copy;
}

// One block holding the record and its texts, as the account services
// allocate it: a single NetApiBufferFree gives all of it back.
USER_INFO_3* AllocateRecord(const SimAccount& account) {
    size_t nameBytes = (account.name.size() + 1) * sizeof(WCHAR);
    size_t fullNameBytes = account.hasFullName ? (account.fullName.size() + 1) * sizeof(WCHAR) : 0;
    size_t bytes = sizeof(USER_INFO_3) + nameBytes + fullNameBytes + sizeof(WCHAR);
    BYTE* block = (BYTE*)SimAllocate(SIM_NET_BUFFER, bytes);
    if (block == nullptr) {
        return nullptr;
    }
    memset(block, 0, bytes);
    USER_INFO_3* record = (USER_INFO_3*)block;
    WCHAR* name = (WCHAR*)(block + sizeof(USER_INFO_3));
    memcpy(name, account.name.c_str(), nameBytes);
    WCHAR* fullName = nullptr;
    if (account.hasFullName) {
        fullName = (WCHAR*)((BYTE*)name + nameBytes);
        memcpy(fullName, account.fullName.c_str(), fullNameBytes);
    }
    WCHAR* empty = (WCHAR*)(block + bytes - sizeof(WCHAR));
    record->usri3_name = name;
    record->usri3_full_name = fullName;
    record->usri3_home_dir = empty;
    record->usri3_comment = empty;
    record->usri3_script_path = empty;
    record->usri3_usr_comment = empty;
    record->usri3_parms = empty;
    record->usri3_workstations = empty;
    record->usri3_logon_server = empty;
    record->usri3_profile = empty;
    record->usri3_home_dir_drive = empty;
    record->usri3_priv = 1;                   // USER_PRIV_USER
    record->usri3_flags = 0x0201;             // UF_SCRIPT | UF_NORMAL_ACCOUNT
    record->usri3_acct_expires = 0xFFFFFFFF;  // TIMEQ_FOREVER
    record->usri3_max_storage = 0xFFFFFFFF;   // USER_MAXSTORAGE_UNLIMITED
    record->usri3_units_per_week = 168;
    record->usri3_user_id = account.userId;
    record->usri3_primary_group_id = account.primaryGroupId;
    return record;
}

bool ParseNumber(const std::string& text, bool allowHex, uint64_t highest, uint64_t* out) {
    uint64_t value = 0;
    size_t start = 0;
    unsigned base = 10;
    if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        start = 2;
        base = 16;
    }
    if (text.size() == start) {
        return false;
    }
    for (size_t i = start; i < text.size(); ++i) {
        char c = (char)tolower((unsigned char)text[i]);
        unsigned digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 99;
        if (digit >= base || value > (highest - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    *out = value;
    return true;
}

const SimRegistryKeyData* FindKey(const SimMachine& machine, const std::u16string& path) {
    for (const SimRegistryKeyData& key : machine.registry) {
        if (SimSameName(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

// The machine is 64-bit Windows: the 32-bit view of SOFTWARE is its
// Wow6432Node, but for the profile list, which both views share.
std::u16string InView(const std::u16string& path, REGSAM access) {
    const std::u16string software = u"SOFTWARE\\";
    const std::u16string profiles = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    if ((access & KEY_WOW64_32KEY) == 0 || path.size() < software.size() ||
        !SimSameName(path.substr(0, software.size()), software)) {
        return path;
    }
    if (path.size() >= profiles.size() && SimSameName(path.substr(0, profiles.size()), profiles) &&
        (path.size() == profiles.size() || path[profiles.size()] == u'\\')) {
        return path;
    }
    return software + u"Wow6432Node\\" + path.substr(software.size());
}

}  // namespace

void* SimAllocate(SimAllocationKind kind, size_t bytes) {
    void* memory = malloc(bytes == 0 ? 1 : bytes);
    if (memory != nullptr) {
        g_allocations[kind].insert(memory);
    }
    return memory;
}

bool SimRelease(SimAllocationKind kind, void* memory) {
    if (g_allocations[kind].erase(memory) == 0) {
        ++g_badReleases;
        return false;
    }
    free(memory);
    return true;
}

int SimCountAllocations(SimAllocationKind kind) {
    return (int)g_allocations[kind].size();
}

int SimOutstandingBuffers(void) {
    return SimCountAllocations(SIM_NET_BUFFER) + (int)g_openKeys.size();
}

int SimOutstandingLocalBuffers(void) {
    return SimCountAllocations(SIM_LOCAL_BUFFER);
}

int SimBadReleases(void) {
    return g_badReleases;
}

bool SimParseSid(const std::string& text, BYTE* sid, DWORD* length) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t dash = text.find('-', start);
        parts.push_back(text.substr(start, dash == std::string::npos ? dash : dash - start));
        if (dash == std::string::npos) {
            break;
        }
        start = dash + 1;
    }
    if (parts.size() < 3 || parts.size() - 3 > SID_MAX_SUB_AUTHORITIES ||
        (parts[0] != "S" && parts[0] != "s") || parts[1] != "1") {
        return false;
    }
    uint64_t authority = 0;
    if (!ParseNumber(parts[2], true, 0xFFFFFFFFFFFFull, &authority)) {
        return false;
    }
    BYTE count = (BYTE)(parts.size() - 3);
    sid[0] = 1;
    sid[1] = count;
    for (int i = 0; i < 6; ++i) {
        sid[2 + i] = (BYTE)(authority >> (8 * (5 - i)));  // big-endian
    }
    for (BYTE i = 0; i < count; ++i) {
        uint64_t sub = 0;
        if (!ParseNumber(parts[3 + i], false, 0xFFFFFFFFull, &sub)) {
            return false;
        }
        for (int k = 0; k < 4; ++k) {
            sid[8 + 4 * i + k] = (BYTE)(sub >> (8 * k));  // little-endian
        }
    }
    *length = 8 + 4 * (DWORD)count;
    return true;
}

NET_API_STATUS NetGetDCName(LPCWSTR serverName, LPCWSTR domainName, LPBYTE* buffer) {
    const SimMachine& machine = SimCurrentMachine();
    if (buffer == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!KnownServer(machine, WithoutLeadingBackslashes(SimWideFromPointer(serverName)))) {
        return ERROR_BAD_NETPATH;
    }
    std::u16string domain = SimWideFromPointer(domainName);
    if (domain.find_first_of(u"\\/:*?\"<>|") != std::u16string::npos) {
        return ERROR_INVALID_NAME;
    }
    for (const SimDomain& entry : machine.domains) {
        if (!domain.empty() && SimSameName(entry.name, domain)) {
            if (entry.error != 0) {
                return entry.error;
            }
            WCHAR* controller = AllocateWide(entry.controller);
            if (controller == nullptr) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
            *buffer = (LPBYTE)controller;
            return NERR_Success;
        }
    }
    return NERR_DCNotFound;
}

NET_API_STATUS NetUserGetInfo(LPCWSTR serverName, LPCWSTR userName, DWORD level, LPBYTE* buffer) {
    const SimMachine& machine = SimCurrentMachine();
    if (buffer == nullptr || userName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (level != 3) {
        return kInvalidLevel;
    }
    std::u16string server = WithoutLeadingBackslashes(SimWideFromPointer(serverName));
    if (!KnownServer(machine, server)) {
        return ERROR_BAD_NETPATH;
    }
    std::u16string user = SimWideFromPointer(userName);
    for (const SimAccount& account : machine.accounts) {
        if (SimSameName(account.server, server) && SimSameName(account.name, user)) {
            if (account.error != 0) {
                return account.error;
            }
            USER_INFO_3* record = AllocateRecord(account);
            if (record == nullptr) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
            *buffer = (LPBYTE)record;
            return NERR_Success;
        }
    }
    return NERR_UserNotFound;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    if (buffer == nullptr) {
        return NERR_Success;
    }
    return SimRelease(SIM_NET_BUFFER, buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

BOOL LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidSize,
                        LPSTR referencedDomain, LPDWORD referencedDomainSize, PSID_NAME_USE use) {
    const SimMachine& machine = SimCurrentMachine();
    if (accountName == nullptr || sidSize == nullptr || referencedDomainSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (systemName != nullptr && systemName[0] != '\0') {
        // Only the local machine answers lookups.
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    std::u16string name = SimAnsiToWide(accountName);
    for (const SimLookup& entry : machine.lookups) {
        if (!SimSameName(entry.name, name)) {
            continue;
        }
        if (entry.error != 0) {
            SetLastError(entry.error);
            return FALSE;
        }
        std::string domain = SimWideToAnsi(entry.domain);
        DWORD domainNeeded = (DWORD)domain.size() + 1;
        if (sid == nullptr || referencedDomain == nullptr || *sidSize < entry.sidLength ||
            *referencedDomainSize < domainNeeded) {
            *sidSize = entry.sidLength;
            *referencedDomainSize = domainNeeded;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        memcpy(sid, entry.sid, entry.sidLength);
        memcpy(referencedDomain, domain.c_str(), domainNeeded);
        *sidSize = entry.sidLength;
        *referencedDomainSize = domainNeeded - 1;
        if (use != nullptr) {
            *use = SidTypeUser;
        }
        return TRUE;
    }
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid) {
    return (PSID_IDENTIFIER_AUTHORITY)((BYTE*)sid + 2);
}

PUCHAR GetSidSubAuthorityCount(PSID sid) {
    return (PUCHAR)sid + 1;
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    return (PDWORD)((BYTE*)sid + 8 + 4 * index);
}

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    const SimMachine& machine = SimCurrentMachine();
    (void)options;
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    std::u16string path;
    if (root != HKEY_LOCAL_MACHINE) {
        if (g_openKeys.count(root) == 0) {
            return ERROR_INVALID_HANDLE;
        }
        path = root->path;
    }
    std::u16string sub = SimAnsiToWide(subKey == nullptr ? "" : subKey);
    if (!sub.empty()) {
        path = path.empty() ? sub : path + u"\\" + sub;
    }
    path = InView(path, access);
    for (const SimDeniedKey& denied : machine.deniedKeys) {
        if (SimSameName(denied.path, path)) {
            return (LONG)denied.code;
        }
    }
    if (!path.empty() && FindKey(machine, path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (access & kWriteAccess) {
        return ERROR_ACCESS_DENIED;
    }
    SimRegistryKey* key = new SimRegistryKey{path};
    g_openKeys.insert(key);
    *result = key;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    const SimMachine& machine = SimCurrentMachine();
    if (key == HKEY_LOCAL_MACHINE || g_openKeys.count(key) == 0) {
        return key == HKEY_LOCAL_MACHINE ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const SimRegistryKeyData* found = FindKey(machine, key->path);
    std::u16string name = SimAnsiToWide(valueName == nullptr ? "" : valueName);
    const SimNamedText* value = nullptr;
    for (size_t i = 0; found != nullptr && i < found->values.size(); ++i) {
        if (SimSameName(found->values[i].name, name)) {
            value = &found->values[i];
        }
    }
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::string text = SimWideToAnsi(value->text);
    DWORD needed = (DWORD)text.size() + 1;
    if (type != nullptr) {
        *type = kRegSz;
    }
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = needed;
        }
        return ERROR_SUCCESS;
    }
    if (*dataSize < needed) {
        // The buffer's content is undefined on Windows: leave a cut text
        // without its terminator, which a careless caller will trip over.
        memcpy(data, text.data(), *dataSize);
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    memcpy(data, text.c_str(), needed);
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    if (g_openKeys.erase(key) == 0) {
        ++g_badReleases;
        return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}
