#!/usr/bin/env bash
# Builds every configuration and runs every test: the host's unit tables,
# the same under AddressSanitizer and UndefinedBehaviorSanitizer, the 64-bit
# and 32-bit acctmap.exe end to end under Wine (the two at once), the kills
# and runs at once of scripts/stress.sh in its short form, and each fuzz
# target for 10 seconds.
# Ends with one summary line.
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
for preset in host host-asan; do
  run ctest --preset "$preset"
done
# The two exes' Wine suites at once: each has a prefix of its own, and most
# of their time is Wine starting processes and the suites' waits, not work
# for a core. Their output follows, one suite after the other.
declare -A suite_out=() suite_pid=()
for preset in windows windows-x86; do
  suite_out[$preset]=$(mktemp)
  ctest --preset "$preset" >"${suite_out[$preset]}" 2>&1 &
  suite_pid[$preset]=$!
done
for preset in windows windows-x86; do
  wait "${suite_pid[$preset]}"
  status=$?
  echo "== ctest --preset $preset"
  tee -a "$log" <"${suite_out[$preset]}"
  rm -f "${suite_out[$preset]}"
  if [ "$status" -ne 0 ]; then
    echo "== failed ($status): ctest --preset $preset"
    failed=1
  fi
done
run bash scripts/stress.sh --short
run bash scripts/fuzz.sh --smoke

# One closing line over the ctest runs and the stress checks; the fuzz run
# counts as one test.
passed=0
total=0
while read -r fails count; do
  total=$((total + count))
  passed=$((passed + count - fails))
done < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log"
         sed -n 's/^stress: \([0-9]*\) passed, \([0-9]*\) failed$/\2 \1 \2/p' "$log" |
           awk '{print $1, $2 + $3}'
         sed -n 's/^fuzz findings: \([0-9]*\)$/\1/p' "$log" | awk '{print ($1 > 0), 1}')
# ctest counts a skipped test as passed.
skipped=$(grep -c '(Skipped)$' "$log")
rm -f "$log"
echo "tests: $((passed - skipped)) passed, $((total - passed)) failed, $skipped skipped"
if [ "$failed" -ne 0 ] || [ "$total" -eq 0 ]; then
  exit 1
fi
