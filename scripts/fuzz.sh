#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each on its seed
# corpus, then prints each one's executions and findings.
#
#   scripts/fuzz.sh --smoke      10 s per target, as the test script runs it
#   scripts/fuzz.sh [SECONDS]    SECONDS (default 600)
#
# FUZZ_BUILD_DIR names another build folder (default build/fuzz). What the
# runs learn is kept in <build>/corpus/<target> and grows from run to run;
# an input that broke a check or crashed is saved as
# <build>/findings/<target>-crash-* (replay it: <build>/tests/fuzz/fuzz_<target> FILE).
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=600
if [ "${1:-}" = "--smoke" ]; then
  seconds=10
elif [ -n "${1:-}" ]; then
  seconds=$1
fi
build=${FUZZ_BUILD_DIR:-build/fuzz}
targets=(passwd_rewrite account_line)

cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" -j2 >/dev/null || { cmake --build "$build" -j1; exit 1; }

findings_total=0
summary=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings"
  mkdir -p "$corpus" "$findings"
  log="$build/fuzz-$target.log"
  before=$(find "$findings" -name "$target-*" | wc -l)
  # New inputs go to the first folder; the seeds in the repo stay as they are.
  "$build/tests/fuzz/fuzz_$target" "$corpus" "tests/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" >"$log" 2>&1
  status=$?
  after=$(find "$findings" -name "$target-*" | wc -l)
  found=$((after - before))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  units=$(find "$corpus" -type f | wc -l)
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then
    found=1  # stopped without saving an input: see the log
  fi
  findings_total=$((findings_total + found))
  line=$(printf '%-16s %10s executions (%s/s), %s, corpus %s, findings %s' \
    "$target" "${runs:-?}" "${speed:-?}" "${coverage:-cov: ?}" "$units" "$found")
  summary+=("$line")
  echo "$line"
  if [ "$found" -ne 0 ]; then
    grep -E 'check failed|ERROR|SUMMARY' "$log" | head -5
    echo "    log: $log"
  fi
done

echo "== fuzzing, $seconds s per target"
printf '%s\n' "${summary[@]}"
echo "fuzz findings: $findings_total"
[ "$findings_total" -eq 0 ]
