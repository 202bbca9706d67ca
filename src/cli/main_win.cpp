// The program's entry on Windows: the run mode from the system's version,
// then the NT-mode worker or the legacy listing.
#include <cstdio>
#include <cstring>

#include "cli/acctmap.h"
#include "cli/legacy.h"
#include "cli/words.h"
#include "diag/report.h"
#include "messages.h"
#include "platform/ansi.h"
#include "platform/platform.h"

// The words of the system's wide command line, split as the C runtime
// splits argv and each made ANSI without best fit, into `*argv`. A word the
// code page cannot hold is refused: its look-alike (Ŝam for Sam, a
// fullwidth quote for a quote) would name another account or smuggle in an
// option. The program's own path may lie in any folder and is only shown.
// 0 to go on, 1 after the message.
static int ReadWideWords(int* argc, char*** argv) {
    // The system's limit for a command line, and what its words can take:
    // up to three ANSI bytes a UTF-16 unit (UTF-8), and a terminator each.
    enum { kLineUnits = 32768 };
    static wchar_t word[kLineUnits];
    static char bytes[3 * kLineUnits + kLineUnits / 2];
    static char* words[kLineUnits / 2 + 1];
    const wchar_t* line = GetCommandLineW();
    size_t at = 0;
    size_t used = 0;
    int count = 0;
    while (line != NULL && count < static_cast<int>(ARRAYSIZE(words)) - 1 &&
           NextWord(line, &at, word, ARRAYSIZE(word), count == 0) != kNoMoreWords) {
        char* text = bytes + used;
        const AnsiResult result = WideToAnsi(word, text, sizeof bytes - used, '?');
        if (result == kAnsiUnmappable && count > 0) {
            PrintError(MSG_NOT_ANSI, AnsiCodePage(), text);
            return 1;
        }
        words[count++] = text;
        used += strlen(text) + 1;
    }
    words[count] = NULL;
    *argc = count;
    *argv = words;
    return 0;
}

static int Run(int argc, char** argv) {
    UserRequest request;
    memset(&request, 0, sizeof request);
    const bool ntMode = GetVersion() < 0x80000000u;
    // The Windows 95 family has no wide command line; its runtime's words
    // serve the legacy listing.
    if (ntMode && ReadWideWords(&argc, &argv) != 0) {
        return 1;
    }
    int status = ReadOptions(argc, argv, ntMode, &request);
    if (status != kGoOn) {
        return status;
    }
    if (!ntMode) {
        ListLegacyEntries(request.homePath);
        return 0;
    }
    if (request.allAccounts) {
        return RunListing(&request);
    }
    if (request.accountsFile[0] != '\0') {
        return RunBatch(&request);
    }
    return RequireUser(&request) != 0 ? 1 : RunNtWorker(&request);
}

int main(int argc, char** argv) {
    KeepDllsInTheSystemFolder();
    int status = Run(argc, argv);
    // Output is only out once flushed: a run whose entry was lost on the way
    // (a full disk behind ">>") must not say that it succeeded.
    if ((fflush(stdout) != 0 || ferror(stdout)) && status == 0) {
        PrintError(MSG_STDOUT_FAILED);
        status = 1;
    }
    fflush(stderr);
    return status;
}
