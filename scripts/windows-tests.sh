#!/usr/bin/env bash
# Builds acctmap.exe with mingw-w64 and runs the Windows tests under Wine:
# the unit tests cross-compiled, the end-to-end suite on acctmap.exe, the
# import check and the package. ctest makes a fresh Wine prefix first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
