#include <cstdio>

#include "cli/acctmap.h"
#include "diag/report.h"
#include "messages.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    int status = AcctmapMain(argc, argv);
    // Output is only out once flushed: a run whose entry was lost on the way
    // (a full disk behind ">>") must not say that it succeeded.
    FILE* out = RtStdout();
    if ((fflush(out) != 0 || ferror(out)) && status == 0) {
        PrintError(MSG_STDOUT_FAILED);
        status = 1;
    }
    fflush(RtStderr());
    return status;
}
