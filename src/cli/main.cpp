#include <cstdio>

#include "cli/acctmap.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    int status = AcctmapMain(argc, argv);
    fflush(RtStdout());
    fflush(RtStderr());
    return status;
}
