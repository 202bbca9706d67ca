// Loading the machine profile: TOML text into a SimMachine, one table of keys
// for each kind of table, with every problem named by file and line so that a
// typo in a profile shows where it is instead of quietly changing the machine.
#include <toml++/toml.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"
#include "text.h"

#ifndef ACCTMAP_EXAMPLE_MACHINE
#error "the build names the example machine"
#endif

namespace {

SimMachine g_machine;
bool g_loaded = false;

// Where the loader is and what went wrong first.
struct Loader {
    std::string source;
    std::string folder;
    std::string error;
};

// A whole file, read by the system's calls: the C++ streams would set up
// their locales first, which costs a run more than the reading.
bool ReadWholeFile(const std::string& path, std::string* text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char block[65536];
    ssize_t got = 0;
    text->clear();
    while (fd >= 0 && (got = read(fd, block, sizeof block)) > 0) {
        text->append(block, static_cast<size_t>(got));
    }
    if (fd >= 0) {
        close(fd);
    }
    return fd >= 0 && got == 0;
}

bool Fail(Loader* loader, const toml::source_region& where, const std::string& problem) {
    loader->error = loader->source + ":" + std::to_string(where.begin.line) + ": " + problem;
    return false;
}

bool GetText(Loader* loader, const toml::node& node, Text* out) {
    const toml::value<std::string>* text = node.as_string();
    if (text == nullptr || !SimUtf8ToWide(text->get(), out)) {
        return Fail(loader, node.source(), "a text in UTF-8 is wanted here");
    }
    return true;
}

bool GetNumber(Loader* loader, const toml::node& node, int64_t highest, uint64_t* out) {
    const toml::value<int64_t>* number = node.as_integer();
    if (number == nullptr || number->get() < 0 || number->get() > highest) {
        return Fail(loader, node.source(),
                    "a whole number from 0 to " + std::to_string(highest) + " is wanted here");
    }
    *out = static_cast<uint64_t>(number->get());
    return true;
}

bool GetCode(Loader* loader, const toml::node& node, DWORD* out) {
    uint64_t value = 0;
    bool ok = GetNumber(loader, node, 0xFFFFFFFFll, &value);
    *out = static_cast<DWORD>(value);
    return ok;
}

// One key of a table: how its value is read into the thing the table makes.
template <typename T>
struct Key {
    const char* name;
    bool (*read)(Loader*, const toml::node&, T*);
};

// Reads a table whose keys are fixed, by the table of those keys.
template <typename T, size_t N>
bool ReadKeys(Loader* loader, const toml::node& node, const Key<T> (&keys)[N], T* out) {
    const toml::table* table = node.as_table();
    if (table == nullptr) {
        return Fail(loader, node.source(), "a table is wanted here");
    }
    for (auto&& [name, value] : *table) {
        const Key<T>* key = nullptr;
        for (const Key<T>& candidate : keys) {
            key = name.str() == candidate.name ? &candidate : key;
        }
        if (key == nullptr) {
            return Fail(loader, name.source(), "unknown key '" + std::string(name.str()) + "'");
        }
        if (!key->read(loader, value, out)) {
            return false;
        }
    }
    return true;
}

// Reads a table whose keys are names (Windows names: two that differ only in
// letter case are one), each value by `read`.
template <typename T>
bool ReadNamed(Loader* loader, const toml::node& node, std::vector<T>* out,
               bool (*read)(Loader*, const toml::node&, T*)) {
    const toml::table* table = node.as_table();
    if (table == nullptr) {
        return Fail(loader, node.source(), "a table is wanted here");
    }
    for (auto&& [name, value] : *table) {
        T entry = {};
        if (!SimUtf8ToWide(std::string(name.str()), &entry.name)) {
            return Fail(loader, name.source(), "a name is not valid UTF-8");
        }
        for (const T& earlier : *out) {
            if (SimSameName(earlier.name, entry.name)) {
                return Fail(
                    loader, name.source(),
                    "'" + std::string(name.str()) + "' is given twice (names ignore letter case)");
            }
        }
        if (!read(loader, value, &entry)) {
            return false;
        }
        out->push_back(entry);
    }
    return true;
}

bool ReadPlainText(Loader* loader, const toml::node& node, SimNamedText* out) {
    out->terminated = true;
    return GetText(loader, node, &out->text);
}

// A registry value: a text, stored with its NUL, or { unterminated = '...' },
// stored without.
bool ReadValue(Loader* loader, const toml::node& node, SimNamedText* out) {
    static const Key<SimNamedText> kKeys[] = {
        {"unterminated",
         [](Loader* l, const toml::node& n, SimNamedText* v) { return GetText(l, n, &v->text); }}};
    out->terminated = !node.is_table();
    return out->terminated ? GetText(loader, node, &out->text) : ReadKeys(loader, node, kKeys, out);
}

bool ReadKey(Loader* loader, const toml::node& node, SimKey* out) {
    return ReadNamed(loader, node, &out->values, ReadValue);
}

bool ReadDenied(Loader* loader, const toml::node& node, SimKey* out) {
    return GetCode(loader, node, &out->denied);
}

bool ReadDomain(Loader* loader, const toml::node& node, SimDomain* out) {
    static const Key<SimDomain> kKeys[] = {
        {"controller", [](Loader* l, const toml::node& n,
                          SimDomain* d) { return GetText(l, n, &d->controller); }},
        {"error",
         [](Loader* l, const toml::node& n, SimDomain* d) { return GetCode(l, n, &d->error); }},
    };
    return ReadKeys(loader, node, kKeys, out);
}

bool ReadLookup(Loader* loader, const toml::node& node, SimLookup* out) {
    static const Key<SimLookup> kKeys[] = {
        {"sid",
         [](Loader* l, const toml::node& n, SimLookup* s) {
             const toml::value<std::string>* text = n.as_string();
             return (text != nullptr && SimParseSid(text->get(), s->sid, &s->sidLength)) ||
                    Fail(l, n.source(), "a security identifier (S-1-...) is wanted here");
         }},
        {"domain",
         [](Loader* l, const toml::node& n, SimLookup* s) { return GetText(l, n, &s->domain); }},
        {"error",
         [](Loader* l, const toml::node& n, SimLookup* s) { return GetCode(l, n, &s->error); }},
    };
    return ReadKeys(loader, node, kKeys, out) &&
           (out->sidLength != 0 || out->error != 0 ||
            Fail(loader, node.source(), "a lookup needs a sid or an error"));
}

bool ReadAccount(Loader* loader, const toml::node& node, SimAccount* out) {
    static const Key<SimAccount> kKeys[] = {
        {"server",
         [](Loader* l, const toml::node& n, SimAccount* a) {
             bool ok = GetText(l, n, &a->server);
             a->server.erase(0, a->server.find_first_not_of(u'\\'));
             return ok;
         }},
        {"name",
         [](Loader* l, const toml::node& n, SimAccount* a) { return GetText(l, n, &a->name); }},
        {"full_name",
         [](Loader* l, const toml::node& n, SimAccount* a) {
             a->hasFullName = true;
             return GetText(l, n, &a->fullName);
         }},
        {"user_id",
         [](Loader* l, const toml::node& n, SimAccount* a) { return GetCode(l, n, &a->userId); }},
        {"primary_group_id", [](Loader* l, const toml::node& n,
                                SimAccount* a) { return GetCode(l, n, &a->primaryGroupId); }},
        {"error",
         [](Loader* l, const toml::node& n, SimAccount* a) { return GetCode(l, n, &a->error); }},
    };
    out->primaryGroupId = 513;  // Domain Users
    return ReadKeys(loader, node, kKeys, out) &&
           (!out->name.empty() || Fail(loader, node.source(), "an account needs a name"));
}

bool ReadAccounts(Loader* loader, const toml::node& node, SimMachine* machine) {
    const toml::array* array = node.as_array();
    if (array == nullptr) {
        return Fail(loader, node.source(), "accounts is an array of tables ([[accounts]])");
    }
    for (const toml::node& element : *array) {
        SimAccount account = {};
        if (!ReadAccount(loader, element, &account)) {
            return false;
        }
        machine->accounts.push_back(account);
    }
    return true;
}

// "error=N" as a field of an account line.
bool LineCode(const std::string& field, DWORD* code) {
    if (field.compare(0, 6, "error=") != 0) {
        return false;
    }
    *code = static_cast<DWORD>(strtoul(field.c_str() + 6, nullptr, 10));
    return true;
}

// A file of account lines, as the Wine suite's netapi32 stand-in reads them
// (UTF-8, tab-separated): "dc <domain> <controller>|error=N" and
// "user <server>|. <name> <rid>|error=N [<group> [<full name>]]".
bool ReadAccountLines(Loader* loader, const toml::node& node, SimMachine* machine) {
    const toml::value<std::string>* name = node.as_string();
    std::string lines;
    if (name == nullptr || !ReadWholeFile(loader->folder + "/" + name->get(), &lines)) {
        return Fail(loader, node.source(), "the name of a readable file is wanted here");
    }
    for (size_t start = 0, end; start < lines.size(); start = end + 1) {
        end = std::min(lines.find('\n', start), lines.size());
        const std::string line = lines.substr(start, end - start);
        std::vector<std::string> f;
        for (size_t from = 0, tab; from <= line.size(); from = tab + 1) {
            tab = std::min(line.find('\t', from), line.size());
            f.push_back(line.substr(from, tab - from));
        }
        auto text = [&f](size_t i) {
            Text converted;
            return i < f.size() && SimUtf8ToWide(f[i], &converted) ? converted : Text();
        };
        if (f.size() == 3 && f[0] == "dc") {
            SimDomain domain = {text(1), 0, text(2)};
            LineCode(f[2], &domain.error);
            machine->domains.push_back(domain);
        } else if (f.size() >= 4 && f[0] == "user") {
            SimAccount account = {
                f[1] == "." ? Text() : text(1), text(2), 0, 0, 513, f.size() > 5, text(5)};
            if (!LineCode(f[3], &account.error)) {
                account.userId = static_cast<DWORD>(strtoul(f[3].c_str(), nullptr, 10));
            }
            if (f.size() > 4) {
                account.primaryGroupId = static_cast<DWORD>(strtoul(f[4].c_str(), nullptr, 10));
            }
            account.server.erase(0, account.server.find_first_not_of(u'\\'));
            machine->accounts.push_back(account);
        } else if (!line.empty()) {
            return Fail(loader, node.source(), "not an account line: " + line);
        }
    }
    return true;
}

bool ReadDrives(Loader* loader, const toml::node& node, SimMachine* machine) {
    const toml::table* table = node.as_table();
    if (table == nullptr) {
        return Fail(loader, node.source(), "a table is wanted here");
    }
    for (auto&& [name, value] : *table) {
        const std::string letter(name.str());
        const toml::value<std::string>* folder = value.as_string();
        if (letter.size() != 1 || !isalpha(static_cast<unsigned char>(letter[0])) ||
            folder == nullptr || folder->get().empty()) {
            return Fail(loader, name.source(), "a drive maps one letter to a folder");
        }
        const std::string& path = folder->get();
        machine->drives[tolower(static_cast<unsigned char>(letter[0])) - 'a'] =
            path[0] == '/' ? path : loader->folder + "/" + path;
    }
    return true;
}

bool ReadFaults(Loader* loader, const toml::node& node, SimFaults* out) {
    static const Key<SimFaults> kKeys[] = {
        // CopyFileA's fault: acctmap makes no copy, so it never meets it.
        {"copy_file",
         [](Loader* l, const toml::node& n, SimFaults*) {
             DWORD c;
             return GetCode(l, n, &c);
         }},
        {"create_directory", [](Loader* l, const toml::node& n,
                                SimFaults* f) { return GetCode(l, n, &f->createDirectory); }},
        {"close_file",
         [](Loader* l, const toml::node& n, SimFaults* f) { return GetCode(l, n, &f->closeFile); }},
        {"write_limit", [](Loader* l, const toml::node& n,
                           SimFaults* f) { return GetNumber(l, n, INT64_MAX, &f->writeLimit); }},
        {"kill_after_bytes",
         [](Loader* l, const toml::node& n, SimFaults* f) {
             return GetNumber(l, n, INT64_MAX, &f->killAfter);
         }},
        {"lock_wait_ms",
         [](Loader* l, const toml::node& n, SimFaults* f) {
             uint64_t ms = 0;
             bool ok = GetNumber(l, n, 3600000, &ms);
             f->lockWaitMs = static_cast<unsigned>(ms);
             return ok;
         }},
    };
    return ReadKeys(loader, node, kKeys, out);
}

const Key<SimMachine> kMachineKeys[] = {
    {"family",
     [](Loader* l, const toml::node& n, SimMachine* m) {
         Text family;
         m->family95 = GetText(l, n, &family) && family == u"95";
         return (family == u"95" || family == u"nt") ||
                Fail(l, n.source(), "family is \"nt\" or \"95\"");
     }},
    {"logged_on_user",
     [](Loader* l, const toml::node& n, SimMachine* m) {
         m->hasLoggedOnUser = true;
         return GetText(l, n, &m->loggedOnUser);
     }},
    {"drives", ReadDrives},
    {"environment", [](Loader* l, const toml::node& n,
                       SimMachine* m) { return ReadNamed(l, n, &m->environment, ReadPlainText); }},
    {"domains", [](Loader* l, const toml::node& n,
                   SimMachine* m) { return ReadNamed(l, n, &m->domains, ReadDomain); }},
    {"accounts", ReadAccounts},
    {"account_lines", ReadAccountLines},
    {"lookup", [](Loader* l, const toml::node& n,
                  SimMachine* m) { return ReadNamed(l, n, &m->lookups, ReadLookup); }},
    {"registry", [](Loader* l, const toml::node& n,
                    SimMachine* m) { return ReadNamed(l, n, &m->keys, ReadKey); }},
    {"registry_denied", [](Loader* l, const toml::node& n,
                           SimMachine* m) { return ReadNamed(l, n, &m->keys, ReadDenied); }},
    {"messages", [](Loader* l, const toml::node& n,
                    SimMachine* m) { return ReadNamed(l, n, &m->messages, ReadPlainText); }},
    {"faults",
     [](Loader* l, const toml::node& n, SimMachine* m) { return ReadFaults(l, n, &m->faults); }},
};

bool Replace(const std::string& text, const std::string& source, const std::string& folder,
             char* error, size_t errorSize) {
    Loader loader = {source, folder, ""};
    SimMachine machine = {};
    machine.faults.writeLimit = UINT64_MAX;
    machine.faults.killAfter = UINT64_MAX;
    toml::parse_result parsed = toml::parse(text, source);
    if (!parsed) {
        Fail(&loader, parsed.error().source(), std::string(parsed.error().description()));
    } else if (ReadKeys(&loader, parsed.table(), kMachineKeys, &machine)) {
        g_machine = machine;
        g_loaded = true;
        SetLastError(0);
        return true;
    }
    CopyText(error, errorSize, loader.error.c_str());
    return false;
}

std::string WorkingFolder() {
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
}

}  // namespace

bool SimLoadProfileText(const char* toml, const char* folder, char* error, size_t errorSize) {
    return Replace(toml, "(profile text)", folder != nullptr ? folder : WorkingFolder(), error,
                   errorSize);
}

const SimMachine& SimCurrentMachine(void) {
    if (g_loaded) {
        return g_machine;
    }
    const char* path = getenv("ACCTMAP_MACHINE");
    if (path == nullptr || path[0] == '\0') {
        path = ACCTMAP_EXAMPLE_MACHINE;
    }
    std::string text;
    const bool read = ReadWholeFile(path, &text);
    std::string file = path;
    std::string folder =
        file.find('/') == std::string::npos ? WorkingFolder() : file.substr(0, file.rfind('/'));
    if (!folder.empty() && folder[0] != '/') {
        folder = WorkingFolder() + "/" + folder;
    }
    char error[1024];
    if (!read) {
        FormatText(error, sizeof error, "%s: cannot read the machine profile", path);
    } else if (Replace(text, file, folder.empty() ? "/" : folder, error, sizeof error)) {
        return g_machine;
    }
    fprintf(RtStderr(), "%s\n", error);
    fflush(RtStderr());
    exit(1);
}
