// Many accounts in one run: every line of the accounts file is read and
// resolved before anything is written, and only a batch without a failing
// line goes on, in one rewrite of the passwd file under one lock.
#include <cstring>
#include <cwchar>

#include "account/account.h"
#include "cli/acctmap.h"
#include "cli/batch.h"
#include "diag/report.h"
#include "home/home.h"
#include "messages.h"
#include "passwd/passwd.h"
#include "platform/ansi.h"
#include "platform/platform.h"
#include "text.h"

// The set is kept at most half full, for short probes.
enum { kAccountsMax = 16384, kNameSlots = 2 * kAccountsMax };

// A file of the largest batch, in UTF-16, with room to spare; larger is a
// mistake rather than a list of accounts.
enum { kAccountsFileMiB = 8, kAccountsFileMax = kAccountsFileMiB << 20 };

// Static: more than a stack should carry. Pages never touched cost nothing,
// so a small batch stays small.
static char g_accountsFile[kAccountsFileMax];
static char g_entries[kAccountsMax * kPasswdEntrySize];
static NameSlot g_slots[kNameSlots];

// The whole file into g_accountsFile: 0 and its size, or the Windows error code.
static uint32_t ReadAccountsFile(const char* path, size_t* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    *size = 0;
    uint32_t error = 0;
    for (size_t got = 1; error == 0 && got > 0 && *size < sizeof g_accountsFile;) {
        error = ReadHandle(file, g_accountsFile + *size, sizeof g_accountsFile - *size, &got);
        *size += got;
    }
    // One more byte tells a file that fills the buffer from a larger one.
    char more = 0;
    size_t extra = 0;
    if (error == 0 && *size == sizeof g_accountsFile) {
        error = ReadHandle(file, &more, 1, &extra);
        if (error == 0 && extra > 0) {
            error = ERROR_FILE_TOO_LARGE;
        }
    }
    CloseHandle(file);
    return error;
}

// One line's code units into UTF-16 in `wide` (kAccountLineUnits units);
// false after the message. Bytes without a mark are checked as the code
// page's text (under a UTF-8 code page, as UTF-8): nothing invalid passes.
static bool DecodeOrRefuseLine(AccountsEncoding encoding, const char* raw, size_t units,
                               wchar_t* wide) {
    size_t length = units;
    if (encoding == kAccountsUtf16) {
        if (units >= kAccountLineUnits) {
            PrintError(MSG_LINE_TOO_LONG, static_cast<unsigned>(kAccountLineSize - 1));
            return false;
        }
        memcpy(wide, raw, units * sizeof(wchar_t));
    } else if (units > 0) {
        const bool utf8 = encoding == kAccountsUtf8 || AnsiCodePage() == CP_UTF8;
        // A line fits the file, whose size fits an int.
        length = MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, MB_ERR_INVALID_CHARS, raw,
                                     static_cast<int>(units), wide, kAccountLineUnits - 1);
        if (length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            PrintError(MSG_LINE_TOO_LONG, static_cast<unsigned>(kAccountLineSize - 1));
            return false;
        }
        if (length == 0) {
            if (utf8) {
                PrintError(MSG_LINE_NOT_UTF8);
            } else {
                PrintError(MSG_LINE_NOT_ANSI, AnsiCodePage());
            }
            return false;
        }
    }
    wide[length] = L'\0';
    // A NUL would end the text early and hide the rest of the line.
    if (wcslen(wide) != length) {
        PrintError(MSG_LINE_NUL);
        return false;
    }
    if (CountCharacters(wide, length) >= kAccountLineSize) {
        PrintError(MSG_LINE_TOO_LONG, static_cast<unsigned>(kAccountLineSize - 1));
        return false;
    }
    return true;
}

// The conversion of a line's words: without best fit.
static AnsiResult LineWordToAnsi(const wchar_t* word, char* out, size_t size) {
    return WideToAnsi(word, out, size, '?');
}

// What the batch has gathered: the entries one after another, and their
// login names, each read in place in its entry.
struct Batch {
    NameSet logins;
    size_t used;  // bytes of g_entries
    bool failed;
};

// Resolves the account of one line as a single run would, and adds its
// entry; false after the messages.
static bool AddAccount(const UserRequest* request, unsigned number, Batch* batch) {
    // Room for the largest entry is kept for each account.
    if (batch->logins.count >= kAccountsMax) {
        PrintError(MSG_TOO_MANY_ACCOUNTS, static_cast<unsigned>(kAccountsMax));
        return false;
    }
    AccountInfo account;
    memset(&account, 0, sizeof account);
    if (ResolveAccount(request, &account) != 0) {
        return false;
    }
    const char* loginName = LoginName(request, &account);
    int status = CheckLoginName(loginName);
    HomeLocation home;
    memset(&home, 0, sizeof home);
    if (status == 0) {
        status = ResolveHomeDirectory(request, &account, &home);
    }
    char* entry = g_entries + batch->used;
    size_t length = 0;
    if (status == 0) {
        length = MakeEntry(entry, sizeof g_entries - batch->used, loginName, &account, &home);
        status = length == 0 ? 1 : 0;
    }
    NetApiBufferFree(account.accountRecord);
    if (status != 0) {
        return false;
    }
    // The entry starts with a line feed, then the login name.
    uint32_t other = 0;
    const NameAddResult added =
        AddName(&batch->logins, entry + 1, strlen(loginName), number, &other);
    if (added != kNameAdded) {
        PrintError(MSG_LOGIN_TWICE, loginName, static_cast<unsigned>(other));
        return false;
    }
    batch->used += length;
    return true;
}

// Reads every line of the file and resolves its account, each refused line
// or account named on standard error with the line's prefix.
static void ResolveLines(const UserRequest* request, AccountsEncoding encoding, const char* text,
                         size_t units, Batch* batch) {
    static wchar_t line[kAccountLineUnits];
    const WordConversion conversion = {LineWordToAnsi, AnsiCodePage()};
    char prefix[kPathSize + 32];
    const bool utf16 = encoding == kAccountsUtf16;
    const wchar_t* wideText = reinterpret_cast<const wchar_t*>(text);
    size_t at = 0;
    size_t start = 0;
    size_t length = 0;
    unsigned number = 0;
    for (;;) {
        const bool more = utf16 ? NextAccountsLine(wideText, units, &at, &start, &length)
                                : NextAccountsLine(text, units, &at, &start, &length);
        if (!more) {
            break;
        }
        ++number;
        // Nothing of a comment is decoded or checked.
        if (utf16 ? IsBlankOrComment(wideText + start, length)
                  : IsBlankOrComment(text + start, length)) {
            continue;
        }
        FormatText(prefix, sizeof prefix, LAYOUT_LINE_PREFIX, request->accountsFile, number);
        SetMessagePrefix(prefix);
        // Each line starts from what the command line gives every line.
        UserRequest lineRequest = *request;
        lineRequest.windowsUserName[0] = '\0';
        lineRequest.sshLoginName[0] = '\0';
        lineRequest.homePath[0] = '\0';
        const char* raw = utf16 ? reinterpret_cast<const char*>(wideText + start) : text + start;
        bool good = DecodeOrRefuseLine(encoding, raw, length, line);
        if (good) {
            const AccountLineResult result = ReadAccountLine(line, &conversion, &lineRequest);
            good = result != kLineRefused &&
                   (result == kLineSkipped || AddAccount(&lineRequest, number, batch));
        }
        batch->failed = batch->failed || !good;
        SetMessagePrefix(NULL);
    }
}

int RunBatch(const UserRequest* request) {
    // The account's own options belong to its line.
    const char* const given[] = {request->windowsUserName, request->sshLoginName,
                                 request->homePath};
    const char letters[] = "usp";
    for (int i = 0; i < 3; ++i) {
        if (given[i][0] != '\0') {
            PrintError(MSG_BATCH_ON_LINE, letters[i]);
            return 1;
        }
    }
    const char* path = request->accountsFile;
    size_t size = 0;
    const uint32_t error = ReadAccountsFile(path, &size);
    if (error == ERROR_FILE_TOO_LARGE) {
        PrintError(MSG_ACCOUNTS_TOO_LARGE, path, static_cast<unsigned>(kAccountsFileMiB));
        return 1;
    }
    if (error != 0) {
        PrintError(MSG_ACCOUNTS_NOT_READ, path, static_cast<unsigned long>(error));
        return 1;
    }
    size_t mark = 0;
    const AccountsEncoding encoding = DetectAccountsEncoding(g_accountsFile, size, &mark);
    size_t units = size - mark;
    if (encoding == kAccountsUtf16) {
        // An odd last byte is half a character: the file is cut short.
        if (units % 2 != 0) {
            PrintError(MSG_ACCOUNTS_NOT_READ, path, static_cast<unsigned long>(ERROR_HANDLE_EOF));
            return 1;
        }
        units /= 2;
    }
    Batch batch;
    InitNameSet(&batch.logins, g_slots, kNameSlots, AnsiLeadBytes());
    batch.used = 0;
    batch.failed = false;
    g_entries[0] = '\0';
    ResolveLines(request, encoding, g_accountsFile + mark, units, &batch);
    if (batch.failed) {
        return 1;
    }
    if (batch.logins.count == 0) {
        PrintError(MSG_ACCOUNTS_NONE, path);
        return 1;
    }
    return WriteEntries(request->passwdFile, &batch.logins, g_entries, batch.used);
}
