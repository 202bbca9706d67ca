#!/usr/bin/env bash
# Builds the 64-bit and the 32-bit acctmap.exe with mingw-w64 and runs the
# Windows tests of each under Wine: the unit tests cross-compiled, the
# end-to-end suite on acctmap.exe, the import check, a 32-bit Windows and the
# package. ctest makes a fresh Wine prefix first.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in windows windows-x86; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
