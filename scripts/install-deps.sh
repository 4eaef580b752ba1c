#!/usr/bin/env bash
# Installs what building and testing VELDRA needs on Debian 12, in one
# apt-get update and as few installs as the options allow.
#   scripts/install-deps.sh            the native build and its tests
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compilers
#   scripts/install-deps.sh --emulator also QEMU, to boot the media the program makes
#   scripts/install-deps.sh --wine     also Wine, Xvfb and the Japanese locale and
#                                      fonts, to run the Windows builds (wine32 only
#                                      where this machine can execute 32-bit programs)
#   scripts/install-deps.sh --release  also what the manual TvMan.pdf is made and
#                                      checked with (WeasyPrint, Python-Markdown, the
#                                      IPA Gothic fonts, poppler-utils), for the
#                                      release archives (which need --windows too)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Recommended packages are left out here (they pull desktops' worth of GUI
# libraries into QEMU and ImageMagick); Wine keeps its own, which its X11
# driver loads at run time.
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev clang-format dosfstools mtools)
wine_packages=()
wine32=no
for arg in "$@"; do
  case "$arg" in
    --windows) packages+=(g++-mingw-w64-x86-64 g++-mingw-w64-i686) ;;
    --emulator) packages+=(qemu-system-x86) ;;
    --release)
      # python3-fonttools, which WeasyPrint needs, takes SciPy for its first
      # choice of an assignment solver unless python3-munkres is there: that
      # keeps some 250 MB of numerics off the machine.
      packages+=(weasyprint python3-markdown python3-munkres fonts-ipafont-gothic poppler-utils)
      ;;
    --wine)
      # fonts-ipafont-gothic is metric-compatible with the dialogs' "ＭＳ Ｐゴシック";
      # ImageMagick turns the screenshots into PNG.
      packages+=(xvfb fonts-ipafont-gothic locales imagemagick)
      wine_packages+=(wine wine64 fonts-wine)
      if "$here/can-run-32bit.sh"; then
        wine32=yes
        wine_packages+=(wine32:i386)
      fi
      ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t need < <(missing "${packages[@]}")
mapfile -t need_wine < <(missing "${wine_packages[@]}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#need[@]} -gt 0 ] || [ ${#need_wine[@]} -gt 0 ]; then
  if [ "$wine32" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#need[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ ${#need_wine[@]} -gt 0 ]; then
  # wine64 recommends wine32: where i386 packages can be had but not run,
  # keep it out, or `wine` becomes a loader that cannot start.
  keep_out=()
  if [ "$wine32" = no ] && [ -n "$(missing wine32:i386)" ] &&
     dpkg --print-foreign-architectures | grep -qx i386; then
    keep_out=(wine32:i386-)
  fi
  $sudo apt-get install -y -qq "${need_wine[@]}" "${keep_out[@]}" >/dev/null
fi
if [ ${#wine_packages[@]} -gt 0 ]; then
  if [ "$wine32" = no ]; then
    if [ -z "$(missing wine32:i386)" ]; then
      echo "install-deps.sh: wine32 is installed but this machine cannot execute 32-bit programs; the i686 build will not run under Wine"
    else
      echo "install-deps.sh: this machine cannot execute 32-bit programs; wine32 not installed, the i686 build will not run under Wine"
    fi
  fi
  if ! locale -a | grep -qix 'ja_JP.utf8'; then
    $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
fi
