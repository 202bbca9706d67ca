// The machine's account database, security identifiers and registry.
#include <cstring>

#include "platform/sim/sim_internal.h"

// A registry key handle of the simulated machine.
struct SimRegistryKey {
    const SimKey* key;
};

namespace {

Text WithoutLeadingBackslashes(const Text& server) {
    size_t start = server.find_first_not_of(u'\\');
    return start == Text::npos ? Text() : server.substr(start);
}

// The local machine, every domain controller and every server an account
// names.
bool KnownServer(const SimMachine& machine, const Text& server) {
    bool known = server.empty();
    for (const SimDomain& domain : machine.domains) {
        known = known || (domain.error == 0 &&
                          SimSameName(WithoutLeadingBackslashes(domain.controller), server));
    }
    for (const SimAccount& account : machine.accounts) {
        known = known || SimSameName(account.server, server);
    }
    return known;
}

// One block holding the record and its texts, as the account services
// allocate it: a single NetApiBufferFree gives all of it back.
USER_INFO_3* AllocateRecord(const SimAccount& account) {
    const size_t nameBytes = (account.name.size() + 1) * sizeof(WCHAR);
    const size_t fullBytes = (account.fullName.size() + 1) * sizeof(WCHAR);
    BYTE* block = static_cast<BYTE*>(
        SimAllocate(SIM_NET_BUFFER, sizeof(USER_INFO_3) + nameBytes + fullBytes));
    USER_INFO_3* record = reinterpret_cast<USER_INFO_3*>(block);
    record->usri3_name = reinterpret_cast<WCHAR*>(block + sizeof(USER_INFO_3));
    memcpy(record->usri3_name, account.name.c_str(), nameBytes);
    if (account.hasFullName) {
        record->usri3_full_name = reinterpret_cast<WCHAR*>(block + sizeof(USER_INFO_3) + nameBytes);
        memcpy(record->usri3_full_name, account.fullName.c_str(), fullBytes);
    }
    record->usri3_user_id = account.userId;
    record->usri3_primary_group_id = account.primaryGroupId;
    return record;
}

bool ParseNumber(const std::string& text, unsigned base, uint64_t highest, uint64_t* out) {
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : 99;
        if (digit >= base || value > (highest - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    *out = value;
    return !text.empty();
}

// The machine is 64-bit Windows: the 32-bit view of SOFTWARE is its
// Wow6432Node, but for the profile list, which both views share.
Text InView(const Text& path, REGSAM access) {
    const Text software = u"SOFTWARE\\";
    const Text shared = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const Text head = path.substr(0, shared.size());
    if ((access & KEY_WOW64_32KEY) == 0 ||
        !SimSameName(path.substr(0, software.size()), software) ||
        (SimSameName(head, shared) &&
         (path.size() == shared.size() || path[shared.size()] == u'\\'))) {
        return path;
    }
    return software + u"Wow6432Node\\" + path.substr(software.size());
}

}  // namespace

bool SimParseSid(const std::string& text, BYTE* sid, DWORD* length) {
    std::vector<std::string> parts;
    for (size_t start = 0, dash;; start = dash + 1) {
        dash = text.find('-', start);
        parts.push_back(text.substr(start, dash - start));
        if (dash == std::string::npos) {
            break;
        }
    }
    uint64_t authority = 0;
    const bool hex = parts.size() > 2 && parts[2].compare(0, 2, "0x") == 0;
    if (parts.size() < 3 || parts.size() - 3 > SID_MAX_SUB_AUTHORITIES ||
        (parts[0] != "S" && parts[0] != "s") || parts[1] != "1" ||
        !ParseNumber(hex ? parts[2].substr(2) : parts[2], hex ? 16 : 10, 0xFFFFFFFFFFFFull,
                     &authority)) {
        return false;
    }
    const BYTE count = static_cast<BYTE>(parts.size() - 3);
    sid[0] = 1;
    sid[1] = count;
    for (int i = 0; i < 6; ++i) {
        sid[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));  // big-endian
    }
    for (BYTE i = 0; i < count; ++i) {
        uint64_t sub = 0;
        if (!ParseNumber(parts[3 + i], 10, 0xFFFFFFFFull, &sub)) {
            return false;
        }
        memcpy(sid + 8 + 4 * i, &sub, 4);  // little-endian, as the host
    }
    *length = 8 + 4 * static_cast<DWORD>(count);
    return true;
}

NET_API_STATUS NetGetDCName(LPCWSTR, LPCWSTR domainName, LPBYTE* buffer) {
    const SimMachine& machine = SimCurrentMachine();
    Text domain = SimWideFromPointer(domainName);
    if (domain.find_first_of(u"\\/:*?\"<>|") != Text::npos) {
        return ERROR_INVALID_NAME;
    }
    for (const SimDomain& entry : machine.domains) {
        if (SimSameName(entry.name, domain)) {
            if (entry.error != 0) {
                return entry.error;
            }
            size_t bytes = (entry.controller.size() + 1) * sizeof(WCHAR);
            *buffer = static_cast<LPBYTE>(SimAllocate(SIM_NET_BUFFER, bytes));
            memcpy(*buffer, entry.controller.c_str(), bytes);
            return NERR_Success;
        }
    }
    return NERR_DCNotFound;
}

NET_API_STATUS NetUserGetInfo(LPCWSTR serverName, LPCWSTR userName, DWORD, LPBYTE* buffer) {
    const SimMachine& machine = SimCurrentMachine();
    Text server = WithoutLeadingBackslashes(SimWideFromPointer(serverName));
    if (!KnownServer(machine, server)) {
        return ERROR_BAD_NETPATH;
    }
    for (const SimAccount& account : machine.accounts) {
        if (SimSameName(account.server, server) && SimSameName(account.name, userName)) {
            if (account.error != 0) {
                return account.error;
            }
            *buffer = reinterpret_cast<LPBYTE>(AllocateRecord(account));
            return NERR_Success;
        }
    }
    return NERR_UserNotFound;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return buffer == nullptr || SimRelease(SIM_NET_BUFFER, buffer) ? NERR_Success
                                                                   : ERROR_INVALID_PARAMETER;
}

BOOL LookupAccountNameA(LPCSTR, LPCSTR accountName, PSID sid, LPDWORD sidSize,
                        LPSTR referencedDomain, LPDWORD referencedDomainSize, PSID_NAME_USE use) {
    const SimMachine& machine = SimCurrentMachine();
    for (const SimLookup& entry : machine.lookups) {
        if (!SimSameName(entry.name, SimAnsiToWide(accountName))) {
            continue;
        }
        std::string domain;
        SimWideToAnsi(entry.domain, &domain);
        if (entry.error != 0 || *sidSize < entry.sidLength ||
            *referencedDomainSize <= domain.size()) {
            SetLastError(entry.error != 0 ? entry.error : ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        memcpy(sid, entry.sid, entry.sidLength);
        memcpy(referencedDomain, domain.c_str(), domain.size() + 1);
        *sidSize = entry.sidLength;
        *referencedDomainSize = static_cast<DWORD>(domain.size());
        *use = SidTypeUser;
        return TRUE;
    }
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid) {
    return reinterpret_cast<PSID_IDENTIFIER_AUTHORITY>(static_cast<BYTE*>(sid) + 2);
}

PUCHAR GetSidSubAuthorityCount(PSID sid) {
    return static_cast<BYTE*>(sid) + 1;
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    return reinterpret_cast<PDWORD>(static_cast<BYTE*>(sid) + 8 + 4 * index);
}

LONG RegOpenKeyExA(HKEY, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    const SimMachine& machine = SimCurrentMachine();
    Text path = InView(SimAnsiToWide(subKey), access);
    for (const SimKey& key : machine.keys) {
        if (SimSameName(key.name, path)) {
            if (key.denied != 0) {
                return static_cast<LONG>(key.denied);
            }
            *result = static_cast<HKEY>(SimAllocate(SIM_REGISTRY_KEY, sizeof(SimRegistryKey)));
            (*result)->key = &key;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD, LPBYTE data, LPDWORD dataSize) {
    for (const SimNamedText& value : key->key->values) {
        std::string text;
        if (!SimSameName(value.name, SimAnsiToWide(valueName)) ||
            !SimWideToAnsi(value.text, &text)) {
            continue;
        }
        const DWORD needed = static_cast<DWORD>(text.size()) + (value.terminated ? 1 : 0);
        const DWORD room = *dataSize;
        memcpy(data, text.c_str(), needed < room ? needed : room);
        *dataSize = needed;
        if (needed > room) {
            return ERROR_MORE_DATA;
        }
        // The rest of the buffer is undefined: a caller that reads past the
        // data finds no terminator there.
        memset(data + needed, '#', room - needed);
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
    return SimRelease(SIM_REGISTRY_KEY, key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
