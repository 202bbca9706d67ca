// A set of login names for the line filter: open addressing over a table the
// caller gives, keyed by a hash of the name with A-Z folded, so that a passwd
// line is judged in constant time however many accounts a run adds. Only
// single-byte letters fold: the second byte of a double-byte character
// (ア is 83 41, ヂ is 83 61 in code page 932) stays as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text.h"

// One slot: the name's bytes (not copied: they stay the caller's) and a tag
// of the caller's, such as the line that named it.
struct NameSlot {
    const char* name;
    uint32_t length;
    uint32_t tag;
};

// `slotCount` must be a power of two; at most half the slots are filled, so
// that a probe for a missing name ends soon.
struct NameSet {
    NameSlot* slots;
    size_t slotCount;
    size_t count;
    // The lengths and folded first and last bytes the names have, one bit
    // each: most lines of a passwd file are told apart by these before any
    // hashing.
    uint64_t lengths[4];
    uint64_t firsts[4];
    uint64_t lasts[4];
    LeadBytes lead;  // the ANSI code page's, for the fold
};

enum NameAddResult {
    kNameAdded,
    kNameTaken,  // an equal name is there; `*tag` is that one's
    kNameSetFull,
};

// Empties `slots` and makes them the set's table, for names in the code page
// whose lead bytes are `lead`.
void InitNameSet(NameSet* set, NameSlot* slots, size_t slotCount, const LeadBytes* lead);

NameAddResult AddName(NameSet* set, const char* name, size_t length, uint32_t tag,
                      uint32_t* takenTag);

// True when the set holds the name (`length` bytes): single-byte A-Z equal to
// a-z, every other byte exactly. Its tag then goes into `*tag` if given.
bool HasName(const NameSet* set, const char* name, size_t length, uint32_t* tag = NULL);
