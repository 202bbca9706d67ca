#!/usr/bin/env bash
# Builds the 64-bit acctmap.exe and runs it under Wine on the bundled example
# machine (examples/): a fresh prefix with Cygwin's mount table
# (registry.reg, in the 32-bit view), its C: drive (c-drive/) and the account
# records of accounts.txt, served by the netapi32 stand-in. The repository's
# files stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target acctmap netapi32_standin >/dev/null
exe=$PWD/build/windows/acctmap.exe

source scripts/wine-env.sh
folder=$(mktemp -d)
wine_env_at_exit 'rm -rf "$folder"'
echo "Making a fresh Wine prefix (about 15 s)..."
wine_env_start "$folder/prefix"
wine_env_standin 64 build/windows/tests/windows/netapi32_standin/netapi32.dll
"$WINE64" reg import "$(wine_env_windows_path examples/registry.reg)" /reg:32 >/dev/null 2>&1
cp -r examples/c-drive/. "$WINEPREFIX/drive_c/"
# Wine knows one account's SID, its own user's: the example's local account
# is that user.
sed "s/%USERNAME%/$WINE_USER/" examples/accounts.txt >"$WINEPREFIX/drive_c/accounts.txt"
export ACCTMAP_NETAPI_DATA='C:\accounts.txt'
passwd=$WINEPREFIX/drive_c/cygwin/etc/passwd
show() { sed 's/\r$/<CR>/' "$1" | iconv -f CP1252 -t UTF-8; echo; }

echo
echo "\$ acctmap -u $WINE_USER                    (the entry on standard output)"
"$WINE64" "$exe" -u "$WINE_USER"
echo
echo
echo "\$ acctmap -u $WINE_USER -s jdoe -f C:\\cygwin\\etc\\passwd"
status=0
"$WINE64" "$exe" -u "$WINE_USER" -s jdoe -f 'C:\cygwin\etc\passwd' || status=$?
echo "exit status $status"
echo
echo '--- C:\cygwin\etc\passwd afterwards (<CR> marks the CR of each CR LF)'
show "$passwd"
echo '--- C:\cygwin\etc\passwd.bak, the file as it was before'
show "$passwd.bak"
