// Loading the machine profile: TOML text into a SimMachine, with every
// problem named by file and line so that a typo in a test profile shows
// where it is instead of quietly changing the machine.
#include <toml++/toml.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/bounded_text.h"
#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

#ifndef ACCTMAP_EXAMPLE_MACHINE
#error "the build names the example machine"
#endif

uint64_t g_simBytesWritten = 0;

namespace {

SimMachine g_machine;
bool g_loaded = false;

// Where the loader is and what went wrong first.
struct LoadContext {
    std::string source;
    std::string folder;
    std::string error;
};

bool Fail(LoadContext* context, const toml::source_region& where, const std::string& problem) {
    context->error = context->source + ":" + std::to_string(where.begin.line) + ": " + problem;
    return false;
}

bool GetText(LoadContext* context, const toml::node& node, const std::string& what,
             std::u16string* out) {
    const toml::value<std::string>* text = node.as_string();
    if (text == nullptr) {
        return Fail(context, node.source(), what + " must be a string");
    }
    if (!SimUtf8ToWide(text->get(), out)) {
        return Fail(context, node.source(), what + " is not valid UTF-8");
    }
    return true;
}

bool GetNumber(LoadContext* context, const toml::node& node, const std::string& what,
               int64_t highest, int64_t* out) {
    const toml::value<int64_t>* number = node.as_integer();
    if (number == nullptr) {
        return Fail(context, node.source(), what + " must be an integer");
    }
    if (number->get() < 0 || number->get() > highest) {
        return Fail(context, node.source(), what + " is out of range");
    }
    *out = number->get();
    return true;
}

bool GetCode(LoadContext* context, const toml::node& node, const std::string& what, DWORD* out) {
    int64_t value = 0;
    if (!GetNumber(context, node, what, 0xFFFFFFFFll, &value)) {
        return false;
    }
    *out = (DWORD)value;
    return true;
}

const toml::table* GetTable(LoadContext* context, const toml::node& node, const std::string& what) {
    const toml::table* table = node.as_table();
    if (table == nullptr) {
        Fail(context, node.source(), what + " must be a table");
    }
    return table;
}

bool UnknownKey(LoadContext* context, const toml::key& key, const std::string& where) {
    return Fail(context, key.source(), "unknown key '" + std::string(key.str()) + "'" + where);
}

// Two names that differ only in letter case are one name on Windows. The
// table is sorted, so the later line is the one to blame.
bool CheckDistinct(LoadContext* context, const toml::table& table, const std::string& what) {
    for (auto it = table.begin(); it != table.end(); ++it) {
        std::u16string first;
        SimUtf8ToWide(std::string(it->first.str()), &first);
        for (auto other = std::next(it); other != table.end(); ++other) {
            std::u16string second;
            SimUtf8ToWide(std::string(other->first.str()), &second);
            if (SimSameName(first, second)) {
                bool otherLater = other->first.source().begin > it->first.source().begin;
                const toml::key& later = otherLater ? other->first : it->first;
                const toml::key& earlier = otherLater ? it->first : other->first;
                return Fail(context, later.source(),
                            what + " '" + std::string(later.str()) + "' repeats '" +
                                std::string(earlier.str()) + "' (names ignore letter case)");
            }
        }
    }
    return true;
}

bool KeyText(LoadContext* context, const toml::key& key, std::u16string* out) {
    if (!SimUtf8ToWide(std::string(key.str()), out)) {
        return Fail(context, key.source(), "a name is not valid UTF-8");
    }
    return true;
}

std::u16string WithoutLeadingBackslashes(const std::u16string& server) {
    size_t start = 0;
    while (start < server.size() && server[start] == u'\\') {
        ++start;
    }
    return server.substr(start);
}

bool LoadFamily(LoadContext* context, const toml::node& node, SimMachine* machine) {
    std::u16string family;
    if (!GetText(context, node, "family", &family)) {
        return false;
    }
    if (family == u"nt") {
        machine->family95 = false;
    } else if (family == u"95") {
        machine->family95 = true;
    } else {
        return Fail(context, node.source(), "family must be \"nt\" or \"95\"");
    }
    return true;
}

bool LoadDrives(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "drives");
    if (table == nullptr || !CheckDistinct(context, *table, "drive")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        std::string letter(key.str());
        if (letter.size() != 1 || !isalpha((unsigned char)letter[0])) {
            return Fail(context, key.source(), "drive '" + letter + "' is not one letter");
        }
        const toml::value<std::string>* folder = value.as_string();
        if (folder == nullptr) {
            return Fail(context, value.source(), "drive " + letter + " must be a string");
        }
        std::string path = folder->get();
        if (path.empty()) {
            return Fail(context, value.source(), "drive " + letter + " names no folder");
        }
        if (path[0] != '/') {
            path = context->folder + "/" + path;
        }
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        machine->drives[toupper((unsigned char)letter[0]) - 'A'] = path;
    }
    return true;
}

bool LoadNamedTexts(LoadContext* context, const toml::node& node, const std::string& what,
                    std::vector<SimNamedText>* out) {
    const toml::table* table = GetTable(context, node, what);
    if (table == nullptr || !CheckDistinct(context, *table, "name")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        SimNamedText entry;
        if (!KeyText(context, key, &entry.name) ||
            !GetText(context, value, "'" + std::string(key.str()) + "'", &entry.text)) {
            return false;
        }
        out->push_back(entry);
    }
    return true;
}

bool LoadDomains(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "domains");
    if (table == nullptr || !CheckDistinct(context, *table, "domain")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        std::string name(key.str());
        const toml::table* fields = GetTable(context, value, "domain " + name);
        if (fields == nullptr) {
            return false;
        }
        SimDomain domain = {};
        if (!KeyText(context, key, &domain.name)) {
            return false;
        }
        bool hasController = false;
        bool hasError = false;
        for (auto&& [field, fieldValue] : *fields) {
            if (field.str() == "controller") {
                hasController = true;
                if (!GetText(context, fieldValue, "controller", &domain.controller)) {
                    return false;
                }
            } else if (field.str() == "error") {
                hasError = true;
                if (!GetCode(context, fieldValue, "error", &domain.error)) {
                    return false;
                }
            } else {
                return UnknownKey(context, field, " in domain " + name);
            }
        }
        if (hasController == hasError || (hasError && domain.error == 0)) {
            return Fail(context, value.source(),
                        "domain " + name + " needs either a controller or a non-zero error");
        }
        machine->domains.push_back(domain);
    }
    return true;
}

bool LoadAccount(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* fields = GetTable(context, node, "an account");
    if (fields == nullptr) {
        return false;
    }
    SimAccount account = {};
    account.primaryGroupId = 513;
    bool hasName = false;
    for (auto&& [field, value] : *fields) {
        std::string_view key = field.str();
        int64_t number = 0;
        bool ok = true;
        if (key == "server") {
            ok = GetText(context, value, "server", &account.server);
            account.server = WithoutLeadingBackslashes(account.server);
        } else if (key == "name") {
            hasName = true;
            ok = GetText(context, value, "name", &account.name);
        } else if (key == "user_id") {
            ok = GetNumber(context, value, "user_id", 0xFFFFFFFFll, &number);
            account.userId = (DWORD)number;
        } else if (key == "primary_group_id") {
            ok = GetNumber(context, value, "primary_group_id", 0xFFFFFFFFll, &number);
            account.primaryGroupId = (DWORD)number;
        } else if (key == "full_name") {
            account.hasFullName = true;
            ok = GetText(context, value, "full_name", &account.fullName);
        } else if (key == "error") {
            ok = GetCode(context, value, "error", &account.error);
        } else {
            return UnknownKey(context, field, " in an account");
        }
        if (!ok) {
            return false;
        }
    }
    if (!hasName || account.name.empty()) {
        return Fail(context, node.source(), "an account needs a name");
    }
    for (const SimAccount& other : machine->accounts) {
        if (SimSameName(other.server, account.server) && SimSameName(other.name, account.name)) {
            return Fail(context, node.source(), "the account is listed twice on its server");
        }
    }
    machine->accounts.push_back(account);
    return true;
}

bool LoadAccounts(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::array* array = node.as_array();
    if (array == nullptr) {
        return Fail(context, node.source(), "accounts must be an array of tables ([[accounts]])");
    }
    for (const toml::node& element : *array) {
        if (!LoadAccount(context, element, machine)) {
            return false;
        }
    }
    return true;
}

bool LoadLookups(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "lookup");
    if (table == nullptr || !CheckDistinct(context, *table, "name")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        std::string name(key.str());
        const toml::table* fields = GetTable(context, value, "lookup of " + name);
        if (fields == nullptr) {
            return false;
        }
        SimLookup lookup = {};
        if (!KeyText(context, key, &lookup.name)) {
            return false;
        }
        bool hasSid = false;
        for (auto&& [field, fieldValue] : *fields) {
            bool ok = true;
            if (field.str() == "sid") {
                hasSid = true;
                const toml::value<std::string>* sid = fieldValue.as_string();
                if (sid == nullptr) {
                    return Fail(context, fieldValue.source(), "sid must be a string");
                }
                if (!SimParseSid(sid->get(), lookup.sid, &lookup.sidLength)) {
                    return Fail(context, fieldValue.source(),
                                "'" + sid->get() + "' is not a security identifier");
                }
            } else if (field.str() == "domain") {
                ok = GetText(context, fieldValue, "domain", &lookup.domain);
            } else if (field.str() == "error") {
                ok = GetCode(context, fieldValue, "error", &lookup.error);
            } else {
                return UnknownKey(context, field, " in the lookup of " + name);
            }
            if (!ok) {
                return false;
            }
        }
        if (!hasSid && lookup.error == 0) {
            return Fail(context, value.source(),
                        "the lookup of " + name + " needs a sid or a non-zero error");
        }
        machine->lookups.push_back(lookup);
    }
    return true;
}

bool LoadRegistry(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "registry");
    if (table == nullptr || !CheckDistinct(context, *table, "key")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        std::string path(key.str());
        SimRegistryKeyData data;
        if (!KeyText(context, key, &data.path)) {
            return false;
        }
        // An unquoted dotted key name makes nested tables, which are no values.
        if (!LoadNamedTexts(context, value, "registry key " + path, &data.values)) {
            return false;
        }
        machine->registry.push_back(data);
    }
    return true;
}

bool LoadDenied(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "registry_denied");
    if (table == nullptr || !CheckDistinct(context, *table, "key")) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        SimDeniedKey denied = {};
        if (!KeyText(context, key, &denied.path) ||
            !GetCode(context, value, "'" + std::string(key.str()) + "'", &denied.code)) {
            return false;
        }
        if (denied.code == 0) {
            return Fail(context, value.source(), "a denied key needs a non-zero code");
        }
        machine->deniedKeys.push_back(denied);
    }
    return true;
}

bool LoadMessages(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "messages");
    if (table == nullptr) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        std::string code(key.str());
        if (code.empty() || code.size() > 10 ||
            code.find_first_not_of("0123456789") != std::string::npos ||
            strtoull(code.c_str(), nullptr, 10) > 0xFFFFFFFFull) {
            return Fail(context, key.source(), "'" + code + "' is not an error code");
        }
        SimMessage message = {};
        message.code = (DWORD)strtoull(code.c_str(), nullptr, 10);
        if (!GetText(context, value, "message " + code, &message.text)) {
            return false;
        }
        machine->messages.push_back(message);
    }
    return true;
}

bool LoadFaults(LoadContext* context, const toml::node& node, SimMachine* machine) {
    const toml::table* table = GetTable(context, node, "faults");
    if (table == nullptr) {
        return false;
    }
    for (auto&& [key, value] : *table) {
        bool ok = true;
        if (key.str() == "copy_file") {
            ok = GetCode(context, value, "copy_file", &machine->copyFileFault);
        } else if (key.str() == "create_directory") {
            ok = GetCode(context, value, "create_directory", &machine->createDirectoryFault);
        } else if (key.str() == "write_limit") {
            int64_t limit = 0;
            ok = GetNumber(context, value, "write_limit", INT64_MAX, &limit);
            machine->hasWriteLimit = true;
            machine->writeLimit = (uint64_t)limit;
        } else {
            return UnknownKey(context, key, " in [faults]");
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool LoadMachine(LoadContext* context, const std::string& text, SimMachine* machine) {
    toml::parse_result parsed = toml::parse(text, context->source);
    if (!parsed) {
        return Fail(context, parsed.error().source(), std::string(parsed.error().description()));
    }
    const toml::table& root = parsed.table();
    for (auto&& [key, node] : root) {
        std::string_view name = key.str();
        bool ok = false;
        if (name == "family") {
            ok = LoadFamily(context, node, machine);
        } else if (name == "logged_on_user") {
            machine->hasLoggedOnUser = true;
            ok = GetText(context, node, "logged_on_user", &machine->loggedOnUser);
        } else if (name == "drives") {
            ok = LoadDrives(context, node, machine);
        } else if (name == "environment") {
            ok = LoadNamedTexts(context, node, "environment", &machine->environment);
        } else if (name == "domains") {
            ok = LoadDomains(context, node, machine);
        } else if (name == "accounts") {
            ok = LoadAccounts(context, node, machine);
        } else if (name == "lookup") {
            ok = LoadLookups(context, node, machine);
        } else if (name == "registry") {
            ok = LoadRegistry(context, node, machine);
        } else if (name == "registry_denied") {
            ok = LoadDenied(context, node, machine);
        } else if (name == "messages") {
            ok = LoadMessages(context, node, machine);
        } else if (name == "faults") {
            ok = LoadFaults(context, node, machine);
        } else {
            return UnknownKey(context, key, "");
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string AbsoluteFolder(const char* folder) {
    std::string result = folder == nullptr ? "" : folder;
    if (!result.empty() && result[0] == '/') {
        return result;
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return result.empty() ? "." : result;
    }
    return result.empty() ? std::string(cwd) : std::string(cwd) + "/" + result;
}

std::string FolderOf(const char* path) {
    std::string text = path;
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) {
        return AbsoluteFolder(nullptr);
    }
    return AbsoluteFolder(slash == 0 ? "/" : text.substr(0, slash).c_str());
}

bool ReadWholeFile(const char* path, std::string* text, std::string* problem) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        *problem = std::string("cannot read the machine profile (") + strerror(errno) + ")";
        return false;
    }
    std::ostringstream content;
    content << stream.rdbuf();
    *text = content.str();
    return true;
}

bool Replace(const std::string& text, const char* source, const std::string& folder, char* error,
             size_t errorSize) {
    LoadContext context;
    context.source = source;
    context.folder = folder;
    SimMachine machine = {};
    if (!LoadMachine(&context, text, &machine)) {
        CopyText(error, errorSize, context.error.c_str());
        return false;
    }
    g_machine = machine;
    g_loaded = true;
    g_simBytesWritten = 0;
    SetLastError(0);
    return true;
}

}  // namespace

bool SimLoadProfileText(const char* toml, const char* folder, char* error, size_t errorSize) {
    return Replace(toml, "(profile text)", AbsoluteFolder(folder), error, errorSize);
}

bool SimLoadProfileFile(const char* path, char* error, size_t errorSize) {
    std::string text;
    std::string problem;
    if (!ReadWholeFile(path, &text, &problem)) {
        FormatText(error, errorSize, "%s: %s", path, problem.c_str());
        return false;
    }
    return Replace(text, path, FolderOf(path), error, errorSize);
}

void SimForgetMachine(void) {
    g_machine = SimMachine();
    g_loaded = false;
}

const SimMachine& SimCurrentMachine(void) {
    if (!g_loaded) {
        const char* path = getenv("ACCTMAP_MACHINE");
        if (path == nullptr || path[0] == '\0') {
            path = ACCTMAP_EXAMPLE_MACHINE;
        }
        char error[1024];
        if (!SimLoadProfileFile(path, error, sizeof error)) {
            fprintf(RtStderr(), "%s\n", error);
            fflush(RtStderr());
            exit(1);
        }
    }
    return g_machine;
}
