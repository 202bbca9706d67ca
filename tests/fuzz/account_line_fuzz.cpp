// A line of an accounts file, any bytes: read without a fault, and an
// account line's values, quoted back by the C runtime's rules, read again to
// the same values.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/batch.h"

namespace {

void Check(bool kept, const char* promise) {
    if (!kept) {
        fprintf(stderr, "check failed: %s\n", promise);
        abort();
    }
}

// The word that the C runtime splits back into `value`: quoted, a quote
// after n backslashes written as 2n+1 of them and the quote, backslashes
// before the closing quote doubled.
std::string Quoted(const char* value) {
    std::string word = "\"";
    size_t backslashes = 0;
    for (const char* c = value; *c != '\0'; ++c) {
        if (*c == '\\') {
            ++backslashes;
        } else {
            word.append(*c == '"' ? backslashes + 1 : 0, '\\');
            backslashes = 0;
        }
        word += *c;
    }
    return word + std::string(backslashes, '\\') + "\"";
}

std::string Fields(const UserRequest& request) {
    return std::string(request.windowsUserName) + '\0' + request.domainName + '\0' +
           request.sshLoginName + '\0' + request.homePath;
}

// The messages of refused lines would flood the log.
AccountLineResult Read(const char* line, UserRequest* request) {
    static const int quiet = open("/dev/null", O_WRONLY);
    static const int saved = dup(2);
    fflush(stderr);
    dup2(quiet, 2);
    const AccountLineResult result = ReadAccountLine(line, request);
    fflush(stderr);
    dup2(saved, 2);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= kAccountLineSize || memchr(data, '\0', size) != NULL) {
        return 0;  // the longest line, with no NUL: the reader refuses others
    }
    const std::string line(reinterpret_cast<const char*>(data), size);
    UserRequest request = {};
    if (Read(line.c_str(), &request) != kLineAccount) {
        return 0;
    }
    Check(request.windowsUserName[0] != '\0', "an account line names its user");
    const std::string again = "-u " + Quoted(request.windowsUserName) + " -d " +
                              Quoted(request.domainName) + " -s " +
                              Quoted(request.sshLoginName) + " -p " + Quoted(request.homePath);
    UserRequest reread = {};
    Check(Read(again.c_str(), &reread) == kLineAccount, "its values quoted make a line");
    Check(Fields(reread) == Fields(request), "the quoted values read back as they were");
    return 0;
}
