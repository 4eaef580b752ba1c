#!/usr/bin/env bash
# Installs what building and testing VELDRA needs on Debian 12.
#   scripts/install-deps.sh            the native build and its tests
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compilers
#   scripts/install-deps.sh --emulator also QEMU, to boot the media the program makes
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-format dosfstools mtools)
for arg in "$@"; do
  case "$arg" in
    --windows) packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686) ;;
    --emulator) packages+=(qemu-system-x86) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
