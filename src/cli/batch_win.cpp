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

// A large domain's accounts; the set is kept at most half full, for short
// probes.
enum { kAccountsMax = 131072, kNameSlots = 2 * kAccountsMax };

// The entries' room. Most entries take about 100 bytes; room for the largest
// is kept free for the next one.
enum { kEntriesMiB = 32 };

// A file of the largest batch, in UTF-16, with room to spare; larger is a
// mistake rather than a list of accounts.
enum { kAccountsFileMiB = 8, kAccountsFileMax = kAccountsFileMiB << 20 };

// Static: more than a stack should carry. Pages never touched cost nothing,
// so a small batch stays small.
static char g_accountsFile[kAccountsFileMax];
static char g_entries[kEntriesMiB << 20];
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

// Makes the entry of one account, from its line (`listed` NULL) or from the
// listing, and adds it under `tag` (the line's number); false after the
// messages.
static bool AddAccount(const UserRequest* request, const ListedAccount* listed, uint32_t tag,
                       Batch* batch) {
    if (batch->logins.count >= kAccountsMax) {
        PrintError(MSG_TOO_MANY_ACCOUNTS, static_cast<unsigned>(kAccountsMax));
        return false;
    }
    if (sizeof g_entries - batch->used < kPasswdEntrySize) {
        PrintError(MSG_ENTRIES_TOO_LARGE, static_cast<unsigned>(kEntriesMiB));
        return false;
    }
    char* entry = g_entries + batch->used;
    const size_t length = AccountEntry(request, listed, entry, sizeof g_entries - batch->used);
    if (length == 0) {
        return false;
    }
    uint32_t other = 0;
    const size_t loginLength = EntryLoginLength(entry);
    if (AddName(&batch->logins, entry + 1, loginLength, tag, &other) != kNameAdded) {
        entry[1 + loginLength] = '\0';
        if (listed != NULL) {
            PrintError(MSG_LISTED_TWICE, entry + 1);
        } else {
            PrintError(MSG_LOGIN_TWICE, entry + 1, static_cast<unsigned>(other));
        }
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
                   (result == kLineSkipped || AddAccount(&lineRequest, NULL, number, batch));
        }
        batch->failed = batch->failed || !good;
        SetMessagePrefix(NULL);
    }
}

// The account's own options belong to a line of the accounts file, and a
// listing names every account itself: 1 after the message when one of the
// first `count` of -u, -s, -p and -b was given.
static int RefuseOptions(const UserRequest* request, int count, bool listing) {
    const char* const given[] = {request->windowsUserName, request->sshLoginName, request->homePath,
                                 request->accountsFile};
    const char letters[] = "uspb";
    for (int i = 0; i < count; ++i) {
        if (given[i][0] != '\0') {
            if (listing) {
                PrintError(MSG_ALL_BESIDE, letters[i]);
            } else {
                PrintError(MSG_BATCH_ON_LINE, letters[i]);
            }
            return 1;
        }
    }
    return 0;
}

static void StartBatch(Batch* batch) {
    InitNameSet(&batch->logins, g_slots, kNameSlots, AnsiLeadBytes());
    batch->used = 0;
    batch->failed = false;
    g_entries[0] = '\0';
}

int RunBatch(const UserRequest* request) {
    if (RefuseOptions(request, 3, false) != 0) {
        return 1;
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
    StartBatch(&batch);
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

// A listing's progress: the entries so far, and the accounts left out
// because Windows keeps them shut.
struct Listing {
    const UserRequest* request;
    Batch batch;
    unsigned listed;
    unsigned disabled;
};

// One listed account: left out when disabled, or when the code page cannot
// hold its name (one odd name must not stop a domain's listing); else its
// entry, as a single run for it would make it.
static void AddListedAccount(const ListedAccount* listed, void* context) {
    Listing* listing = static_cast<Listing*>(context);
    ++listing->listed;
    if (listed->disabled) {
        ++listing->disabled;
        return;
    }
    UserRequest request = *listing->request;
    const AnsiResult name =
        WideToAnsi(listed->userName, request.windowsUserName, sizeof request.windowsUserName, '?');
    if (name == kAnsiUnmappable) {
        PrintError(MSG_LISTED_NOT_ANSI, request.windowsUserName, AnsiCodePage());
        return;
    }
    char accountName[kAccountFieldSize];
    FormatAccountName(&request, accountName, sizeof accountName);
    char prefix[kAccountFieldSize + 8];
    FormatText(prefix, sizeof prefix, LAYOUT_ACCOUNT_PREFIX, accountName);
    SetMessagePrefix(prefix);
    // A name too long for any login name is refused by its check.
    const bool added = AddAccount(&request, listed, listing->listed, &listing->batch);
    listing->batch.failed = listing->batch.failed || !added;
    SetMessagePrefix(NULL);
}

int RunListing(const UserRequest* request) {
    if (RefuseOptions(request, 4, true) != 0) {
        return 1;
    }
    Listing listing;
    listing.request = request;
    listing.listed = 0;
    listing.disabled = 0;
    StartBatch(&listing.batch);
    // Nothing is written unless the whole listing came and every entry was
    // made.
    if (ListAccounts(request, AddListedAccount, &listing) != 0) {
        return 1;
    }
    if (listing.disabled > 0) {
        PrintError(MSG_DISABLED_LEFT_OUT, listing.disabled);
    }
    if (listing.batch.failed) {
        return 1;
    }
    // With no account to add there is nothing to rewrite.
    if (listing.batch.logins.count == 0) {
        return 0;
    }
    return WriteEntries(request->passwdFile, &listing.batch.logins, g_entries, listing.batch.used);
}
