// The passwd line filter on any bytes and any login name: every line of
// another name comes out whole and in order, and nothing else does.

#include "fuzz/fuzz_support.h"
#include "fuzz/passwd_model.h"
#include "passwd/filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string login, passwd;
    SplitLoginAndFile(data, size, &login, &passwd);
    // The program never filters for a longer name, nor one with a NUL.
    if (login.size() > 255 || login.find('\0') != std::string::npos) {
        return 0;
    }
    // A memory stream cannot be empty: an empty file comes from /dev/null.
    auto open = [&] {
        return passwd.empty() ? fopen("/dev/null", "rb")
                              : fmemopen(&passwd[0], passwd.size(), "rb");
    };
    FILE* source = open();
    FILE* lookahead = open();
    char* written = nullptr;
    size_t writtenSize = 0;
    FILE* target = open_memstream(&written, &writtenSize);
    bool ok = FilterPasswdLines(source, lookahead, target, login.c_str());
    fclose(source);
    fclose(lookahead);
    fclose(target);
    std::string got(written, writtenSize);
    free(written);

    std::string want = KeptLines(passwd, login);
    FUZZ_CHECK(ok && got == want, "login '%s': %s", login.c_str(),
               FirstDifference(got, want).c_str());
    return 0;
}
