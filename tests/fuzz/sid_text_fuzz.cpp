// SidToText on any valid SID (revision 1, up to 15 sub-authorities), built
// in a buffer of exactly its size: the text is the one an independent
// rendering gives and fits the 172 characters the longest SID needs.

#include "account/account.h"
#include "fuzz/fuzz_support.h"

// A count byte, six authority bytes, then the sub-authorities, 4 bytes each
// in the SID's own (little-endian) order; missing bytes are zero.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto byte = [&](size_t i) -> uint8_t { return i < size ? data[i] : 0; };
    const unsigned count = byte(0) % 16;
    std::unique_ptr<uint32_t[]> sid(new uint32_t[2 + count]);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(sid.get());
    bytes[0] = 1;
    bytes[1] = static_cast<uint8_t>(count);
    std::string want = "S-1-" + std::to_string(byte(6));
    for (size_t i = 0; i < 6 + 4 * count; ++i) {
        bytes[2 + i] = byte(1 + i);
    }
    for (unsigned k = 0; k < count; ++k) {
        uint32_t value = byte(7 + 4 * k) | byte(8 + 4 * k) << 8 | byte(9 + 4 * k) << 16 |
                         static_cast<uint32_t>(byte(10 + 4 * k)) << 24;
        want += "-" + std::to_string(value);
    }
    std::string got = SidToText(sid.get());
    FUZZ_CHECK(got == want && got.size() <= 172, "got %s, want %s", got.c_str(), want.c_str());
    return 0;
}
