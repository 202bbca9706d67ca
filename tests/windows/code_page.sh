#!/bin/sh
# Runs the end-to-end cases of another ANSI code page in a prefix of their
# own: Wine takes the code page from the locale its server starts in
# (hi_IN.UTF-8 gives UTF-8, ja_JP.UTF-8 code page 932). The locale is made
# first where the machine lacks it.
# Usage: code_page.sh <locale> <gtest filter> <wine-run.sh> <wineserver> <e2e exe> <folder>
set -u
locale=$1 filter=$2 run=$3 server=$4 exe=$5 prefix=$6/prefix-$1
locale -a 2>/dev/null | grep -qix "$(echo "$locale" | sed 's/UTF-8/utf8/')" ||
  localedef -i "${locale%%.*}" -f UTF-8 "$locale" || exit 1
export LANG="$locale" LC_ALL="$locale" ACCTMAP_WINEPREFIX="$prefix" ACCTMAP_E2E=1
rm -rf "$prefix" && mkdir -p "$6" || exit 1
trap 'WINEPREFIX="$prefix" "$server" -k; rm -rf "$prefix"' EXIT
# Into a file: the services wineboot starts keep its streams.
"$run" wineboot --init >"$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }
WINEPREFIX="$prefix" "$server" -w </dev/null >/dev/null 2>&1
"$run" "$exe" --gtest_filter="$filter"
