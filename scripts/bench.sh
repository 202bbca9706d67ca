#!/usr/bin/env bash
# Measures the passwd rewrite of the 64-bit acctmap.exe against the ideal
# rewrite (bench/passwd_bench.cpp), both under Wine in one fresh prefix kept
# warm. Extra arguments go to the benchmark, e.g. `scripts/bench.sh 10000` or
# `scripts/bench.sh --rounds 11`. BENCH_FOLDER names the disk folder to make
# the prefix in (default: one under /var/tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target passwd_bench >/dev/null
cmake --preset windows -DACCTMAP_BENCH=ON >/dev/null
cmake --build --preset windows --target acctmap ideal_rewrite sid_lookups netapi32_standin >/dev/null

source scripts/wine-env.sh
folder=${BENCH_FOLDER:-$(mktemp -d /var/tmp/acctmap-bench-XXXXXX)}
[ -n "${BENCH_FOLDER:-}" ] || wine_env_at_exit 'rm -rf "$folder"'
wine_env_start "$folder/prefix"
wine_env_standin 64 build/windows/tests/windows/netapi32_standin/netapi32.dll
mkdir -p "$WINEPREFIX/drive_c/cygwin/home" "$WINEPREFIX/drive_c/bench"
wine_env_mount_home 'C:\cygwin\home'
printf 'user\t.\t%s\t1000\t513\tKim\n' "$WINE_USER" >"$WINEPREFIX/drive_c/accounts.txt"
export ACCTMAP_NETAPI_DATA='C:\accounts.txt'
build/bench/bench/passwd_bench --wine "$WINE64" --acctmap "$PWD/build/windows/acctmap.exe" \
  --ideal "$PWD/build/windows/bench/ideal_rewrite.exe" \
  --lookups "$PWD/build/windows/bench/sid_lookups.exe" --user "$WINE_USER" \
  --folder "$WINEPREFIX/drive_c/bench" --windows-folder 'C:\bench' "$@"
