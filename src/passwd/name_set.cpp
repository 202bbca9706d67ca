#include "passwd/name_set.h"

#include "request.h"
#include "text.h"

namespace {

// FNV-1a over the folded bytes: equal names under folding hash alike.
uint32_t FoldedHash(const LeadBytes* lead, const char* name, size_t length) {
    uint32_t hash = 2166136261u;
    bool trail = false;
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ FoldCharByte(lead, static_cast<unsigned char>(name[i]), &trail)) * 16777619u;
    }
    return hash;
}

// One trail flag serves both names: while their folded bytes are equal, a
// lead byte (never a letter) is the same byte in both.
bool SameFolded(const LeadBytes* lead, const char* a, const char* b, size_t length) {
    bool trail = false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char other = static_cast<unsigned char>(b[i]);
        const bool second = trail;
        if (FoldCharByte(lead, static_cast<unsigned char>(a[i]), &trail) !=
            (second ? other : FoldAscii(other))) {
            return false;
        }
    }
    return true;
}

void SetBit(uint64_t* bits, unsigned bit) {
    bits[bit / 64] |= uint64_t(1) << (bit % 64);
}

bool HasBit(const uint64_t* bits, unsigned bit) {
    return (bits[bit / 64] >> (bit % 64) & 1) != 0;
}

unsigned FirstByte(const char* name, size_t length) {
    return length > 0 ? FoldAscii(static_cast<unsigned char>(name[0])) : 0;
}

// Folded even where it is the second byte of a character: two names equal
// under the fold still agree on it, and only a match may not be missed.
unsigned LastByte(const char* name, size_t length) {
    return length > 0 ? FoldAscii(static_cast<unsigned char>(name[length - 1])) : 0;
}

// The slot holding the name, or the empty slot where it would go.
NameSlot* Probe(const NameSet* set, const char* name, size_t length) {
    const size_t mask = set->slotCount - 1;
    for (size_t i = FoldedHash(&set->lead, name, length) & mask;; i = (i + 1) & mask) {
        NameSlot* slot = &set->slots[i];
        if (slot->name == NULL ||
            (slot->length == length && SameFolded(&set->lead, slot->name, name, length))) {
            return slot;
        }
    }
}

}  // namespace

void InitNameSet(NameSet* set, NameSlot* slots, size_t slotCount, const LeadBytes* lead) {
    for (size_t i = 0; i < slotCount; ++i) {
        slots[i].name = NULL;
    }
    set->slots = slots;
    set->slotCount = slotCount;
    set->count = 0;
    set->lead = *lead;
    for (int i = 0; i < 4; ++i) {
        set->lengths[i] = 0;
        set->firsts[i] = 0;
        set->lasts[i] = 0;
    }
}

NameAddResult AddName(NameSet* set, const char* name, size_t length, uint32_t tag,
                      uint32_t* takenTag) {
    if (length > kLoginNameMax || 2 * (set->count + 1) > set->slotCount) {
        return kNameSetFull;
    }
    NameSlot* slot = Probe(set, name, length);
    if (slot->name != NULL) {
        *takenTag = slot->tag;
        return kNameTaken;
    }
    slot->name = name;
    slot->length = static_cast<uint32_t>(length);
    slot->tag = tag;
    ++set->count;
    SetBit(set->lengths, static_cast<unsigned>(length));
    SetBit(set->firsts, FirstByte(name, length));
    SetBit(set->lasts, LastByte(name, length));
    return kNameAdded;
}

bool HasName(const NameSet* set, const char* name, size_t length, uint32_t* tag) {
    // No login name is longer: a long line name is not hashed at all.
    if (length > kLoginNameMax || !HasBit(set->lengths, static_cast<unsigned>(length)) ||
        !HasBit(set->firsts, FirstByte(name, length)) ||
        !HasBit(set->lasts, LastByte(name, length))) {
        return false;
    }
    const NameSlot* slot = Probe(set, name, length);
    if (slot->name != NULL && tag != NULL) {
        *tag = slot->tag;
    }
    return slot->name != NULL;
}
