#!/bin/sh
# Runs the end-to-end cases of a UTF-8 ANSI code page in a prefix of their
# own: Wine takes the code page from the locale its server starts in.
# Usage: utf8_code_page.sh <wine-run.sh> <wineserver> <e2e exe> <folder>
set -u
run=$1 server=$2 exe=$3 prefix=$4/utf8-prefix
export LANG=hi_IN.UTF-8 LC_ALL=hi_IN.UTF-8 ACCTMAP_WINEPREFIX="$prefix" ACCTMAP_E2E=1
rm -rf "$prefix" && mkdir -p "$4" || exit 1
trap 'WINEPREFIX="$prefix" "$server" -k; rm -rf "$prefix"' EXIT
# Into a file: the services wineboot starts keep its streams.
if ! "$run" wineboot --init >"$prefix.log" 2>&1; then
  cat "$prefix.log"
  exit 1
fi
WINEPREFIX="$prefix" "$server" -w </dev/null >/dev/null 2>&1
"$run" "$exe" --gtest_filter='Utf8CodePage.*'
