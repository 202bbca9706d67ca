#!/usr/bin/env bash
# Measures the passwd rewrite (bench/passwd_bench.cpp): the optimised host
# binary (preset bench) and the 64-bit acctmap.exe under Wine (preset
# windows), each against the ideal rewrite, with the two-copy floor and the
# shell pipeline beside them. Extra arguments go to the benchmark, e.g.
# `scripts/bench.sh 10000` or `scripts/bench.sh --rounds 21`.
# BENCH_FOLDER names the disk folder to work in (default: one under /var/tmp);
# BENCH_NO_WINE=1 leaves Wine out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
folder=${BENCH_FOLDER:-$(mktemp -d /var/tmp/acctmap-bench-XXXXXX)}
prefix=$PWD/build/bench/wine-prefix
cleanup() {
  [ -d "$prefix" ] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -z "${BENCH_FOLDER:-}" ] && rm -rf "$folder"
}
trap cleanup EXIT
wine=()
if [ "${BENCH_NO_WINE:-0}" != 1 ]; then
  cmake --preset windows -DACCTMAP_BENCH=ON >/dev/null
  cmake --build --preset windows --target acctmap ideal_rewrite netapi32_standin >/dev/null
  cp build/windows/acctmap.exe build/windows/bench/ideal_rewrite.exe \
     build/windows/tests/windows/standin/netapi32.dll "$folder/"
  # A fresh 64-bit prefix, Cygwin's mount table in its 32-bit view, the
  # account services from the test stand-in, Wine's services kept up.
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES='netapi32=n;mscoree,mshtml=;winemenubuilder.exe=d'
  rm -rf "$prefix"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  # The interpreter reads from this script, so it lives as long as the script.
  exec 9> >(/usr/lib/wine/wine64 cmd /q /k >/dev/null 2>&1)
  windows_folder="Z:${folder//\//\\}"
  /usr/lib/wine/wine64 reg add 'HKLM\SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home' \
    /v native /d "$windows_folder\\c\\home" /f /reg:32 >/dev/null 2>&1
  user=$(/usr/lib/wine/wine64 cmd /c echo %USERNAME% | tr -d '\r')
  printf 'user\t.\t%s\t1000\t513\tKim\n' "$user" > "$folder/accounts-wine.txt"
  export ACCTMAP_NETAPI_DATA="$windows_folder\\accounts-wine.txt"
  wine=(--wine /usr/lib/wine/wine64 --wine-user "$user")
fi
build/bench/bench/passwd_bench --binary "$PWD/build/bench/acctmap" \
  --ideal "$PWD/build/bench/bench/ideal_rewrite" --folder "$folder" "${wine[@]}" "$@"
