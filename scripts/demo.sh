#!/usr/bin/env bash
# Builds the host build and runs acctmap on a copy of the bundled example
# machine (examples/machine.toml), so the repository's files stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --host-only
cmake --preset host >/dev/null
cmake --build --preset host --target acctmap >/dev/null

machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
cp -r examples/. "$machine"
export ACCTMAP_MACHINE="$machine/machine.toml"
passwd="$machine/c-drive/cygwin/etc/passwd"
show() { sed 's/\r$/<CR>/' "$1" | iconv -f CP1252 -t UTF-8; echo; }

echo '$ acctmap -u jdoe                      (the entry on standard output)'
build/host/acctmap -u jdoe
echo
echo
echo '$ acctmap -u asmith -d SALES -f C:\cygwin\etc\passwd'
build/host/acctmap -u asmith -d SALES -f 'C:\cygwin\etc\passwd'
echo "exit status $?"
echo
echo '--- C:\cygwin\etc\passwd afterwards (<CR> marks the CR of each CR LF)'
show "$passwd"
echo '--- C:\cygwin\etc\passwd.bak, the file as it was before'
show "$passwd.bak"
