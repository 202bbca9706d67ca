#!/usr/bin/env bash
# Installs the Debian packages both builds and their tests need. Does
# nothing when they are all there already.
set -euo pipefail

packages=(
  g++ cmake ninja-build libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine64 wine32:i386 gcc-multilib
  zip util-linux dosfstools fusefat
)
if [ "${1:-}" = "--host-only" ]; then
  packages=(g++ cmake ninja-build libgtest-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# The 32-bit exe runs under Wine's 32-bit loader, an i386 package.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
