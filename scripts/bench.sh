#!/usr/bin/env bash
# Builds the optimised host binary and the benchmark (the bench preset) and
# runs the benchmark: the passwd rewrite against copying the file twice and
# against a cp/grep pipeline. Extra arguments go to the benchmark, e.g.
# `scripts/bench.sh 10000 100000` or `scripts/bench.sh --runs 3`.
# BENCH_BUILD_DIR names another build folder (default build/bench).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD_DIR:-build/bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
"$build/bench/passwd_bench" --binary "$build/acctmap" "$@"
