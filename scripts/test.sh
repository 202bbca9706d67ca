#!/usr/bin/env bash
# Builds every configuration and runs every test: the host build, the host
# build under AddressSanitizer and UndefinedBehaviorSanitizer, and the 64-bit
# and 32-bit acctmap.exe under Wine. Ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

log=$(mktemp)
failed=0
run() {
  echo "== $*"
  "$@" 2>&1 | tee -a "$log"
  local status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "== failed ($status): $*"
    failed=1
  fi
}

for preset in host host-asan windows windows-x86; do
  run cmake --preset "$preset"
  run cmake --build --preset "$preset"
done
run ctest --preset host
run ctest --preset host-asan
[ -x scripts/windows-tests.sh ] && run bash scripts/windows-tests.sh
[ -x scripts/fuzz.sh ] && run bash scripts/fuzz.sh --smoke

# One closing line over all the ctest runs.
passed=0
total=0
while read -r fails count; do
  total=$((total + count))
  passed=$((passed + count - fails))
done < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log")
rm -f "$log"
echo "tests: $passed passed, $((total - passed)) failed"
if [ "$failed" -ne 0 ] || [ "$total" -eq 0 ]; then
  exit 1
fi
