#!/usr/bin/env bash
# Installs the Debian packages both builds and their tests need. Does
# nothing when they are all there already.
set -euo pipefail

packages=(
  g++ cmake ninja-build libgtest-dev libtomlplusplus-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 wine64
  zip util-linux
)
if [ "${1:-}" = "--host-only" ]; then
  packages=(g++ cmake ninja-build libgtest-dev libtomlplusplus-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
