// A line of an accounts file, any UTF-16 units (two bytes each): read
// without a fault, and an account line's values, quoted back by the C
// runtime's rules, read again to the same values. Words become ANSI as
// Latin-1 does it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "check.h"
#include "cli/batch.h"
#include "text.h"

namespace {

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

AnsiResult ToLatin1(const wchar_t* word, char* out, size_t size) {
    std::string text;
    for (; *word != L'\0'; ++word) {
        if (*word > 0xFF) {
            return kAnsiUnmappable;
        }
        text += static_cast<char>(*word);
    }
    return CopyText(out, size, text.c_str()) ? kAnsiExact : kAnsiTooLong;
}

// The messages of refused lines would flood the log.
AccountLineResult Read(const std::wstring& line, UserRequest* request) {
    static const int quiet = open("/dev/null", O_WRONLY);
    static const int saved = dup(2);
    static const WordConversion conversion = {ToLatin1, 28591};
    fflush(stderr);
    dup2(quiet, 2);
    const AccountLineResult result = ReadAccountLine(line.c_str(), &conversion, request);
    fflush(stderr);
    dup2(saved, 2);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring line;
    for (size_t i = 0; i + 1 < size; i += 2) {
        line += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    }
    // The longest line, with no NUL: the reader refuses others.
    if (line.size() >= kAccountLineUnits || line.find(L'\0') != std::wstring::npos) {
        return 0;
    }
    UserRequest request = {};
    if (Read(line, &request) != kLineAccount) {
        return 0;
    }
    Check(request.windowsUserName[0] != '\0', "an account line names its user");
    const std::string again = "-u " + Quoted(request.windowsUserName) + " -d " +
                              Quoted(request.domainName) + " -s " + Quoted(request.sshLoginName) +
                              " -p " + Quoted(request.homePath);
    std::wstring wide;
    for (char c : again) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    UserRequest reread = {};
    Check(Read(wide, &reread) == kLineAccount, "its values quoted make a line");
    Check(Fields(reread) == Fields(request), "the quoted values read back as they were");
    return 0;
}
