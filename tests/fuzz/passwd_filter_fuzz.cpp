// The passwd line filter on any bytes and any login name: every line of
// another name comes out whole and in order, and nothing else does.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/passwd_model.h"
#include "passwd/filter.h"

// A read stream over the bytes; an empty file comes from /dev/null, since a
// memory stream cannot be empty.
static FILE* OpenBytes(const std::string& bytes) {
    if (bytes.empty()) {
        return fopen("/dev/null", "rb");
    }
    return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string login;
    std::string passwd;
    SplitLoginAndFile(data, size, &login, &passwd);
    // The program never filters for a longer name, nor one with a NUL.
    if (login.size() > 255 || login.find('\0') != std::string::npos) {
        return 0;
    }
    FILE* source = OpenBytes(passwd);
    FILE* lookahead = OpenBytes(passwd);
    char* written = nullptr;
    size_t writtenSize = 0;
    FILE* target = open_memstream(&written, &writtenSize);
    FUZZ_CHECK(source != nullptr && lookahead != nullptr && target != nullptr, "no streams");

    bool ok = FilterPasswdLines(source, lookahead, target, login.c_str());
    fclose(source);
    fclose(lookahead);
    fclose(target);
    std::string got(written, writtenSize);
    free(written);

    FUZZ_CHECK(ok, "the filter reported a failure on memory streams");
    std::string want = KeptLines(passwd, login);
    FUZZ_CHECK(got == want, "login '%s': %s", login.c_str(), FirstDifference(got, want).c_str());
    return 0;
}
