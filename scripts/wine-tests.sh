#!/usr/bin/env bash
# Runs TAVEX.EXE of the Windows builds under Wine, on a virtual X display, in
# a fresh Wine prefix whose ANSI code page is 932, with tests/win32's driver
# pressing the buttons; then the port contract suites on the Win32 adapter.
# Needs the native build's example files and the Windows builds:
#   scripts/wine-tests.sh [--install] [windows-x64] [windows-x86]
# --install first installs Wine, Xvfb, the Japanese locale and fonts (Debian 12).
# The ready dialog's screenshot of each build lands in build/<preset>/wine/.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=()
install=no
for arg in "$@"; do
  case "$arg" in
    --install) install=yes ;;
    windows-x64|windows-x86) presets+=("$arg") ;;
    *) echo "wine-tests.sh: unknown argument $arg" >&2; exit 2 ;;
  esac
done
[ ${#presets[@]} -gt 0 ] || presets=(windows-x64 windows-x86)

if [ "$install" = yes ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  # fonts-ipafont-gothic is metric-compatible with the dialogs' "ＭＳ Ｐゴシック".
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
    wine wine64 xvfb fonts-ipafont-gothic fonts-wine locales imagemagick >/dev/null
  # wine32 runs the i686 build, where the 32-bit packages can be had.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq wine32:i386 >/dev/null ||
    echo "wine-tests.sh: wine32 cannot be installed; the i686 build will not be run"
  if ! locale -a | grep -qix 'ja_JP.utf8'; then
    $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
fi

examples=build/default/examples/machine/C/TAVEX
if [ ! -f "$examples/TAVEXMEDIA.INI" ]; then
  echo "wine-tests.sh: $examples is missing: build the default preset first" >&2
  exit 2
fi

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
# No Mono or Gecko prompts, and no file associations taken over from the host
# (Help must find no PDF viewer).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

scratch=$(mktemp -d)
xvfb_pid=""
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own.
for display in $(seq 90 120); do
  [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] || break
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
sleep 1

failed=0
for preset in "${presets[@]}"; do
  build=build/$preset
  if [ ! -f "$build/win32/TAVEX.EXE" ] || [ ! -f "$build/win32/tavex_driver.exe" ] ||
     [ ! -f "$build/win32/port_contracts.exe" ]; then
    echo "wine-tests.sh: build the $preset preset first" >&2
    exit 2
  fi
  if [ "$preset" = windows-x86 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
    echo "wine-tests.sh: no 32-bit Wine here; $preset not run"
    continue
  fi
  export WINEPREFIX="$scratch/prefix-$preset"
  [ "$preset" = windows-x86 ] && export WINEARCH=win32 || export WINEARCH=win64
  start=$(date +%s)
  wineboot -i >"$scratch/wineboot-$preset.log" 2>&1
  # The dialogs' font, through its metric twin; a virtual desktop, so that
  # Wine draws the caption bars the screenshot shows.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x400 /f >/dev/null
  # Wine opens PDF files with the host's browser; Help is tested without a viewer.
  wine reg delete 'HKCR\.pdf' /f >/dev/null 2>&1 || true
  wineserver -w

  source_dir="$scratch/source-$preset"
  mkdir -p "$source_dir" "$build/wine"
  cp "$examples"/* "$source_dir/"
  cp "$build/win32/TAVEX.EXE" "$source_dir/"
  echo "== $preset under Wine ($(wine --version))"
  if ! timeout 600 wine "$build/win32/tavex_driver.exe" \
      "$(winepath -w "$source_dir")" "$(winepath -w "$scratch/work-$preset")" \
      "$(winepath -w "$build/wine/ready-dialog.bmp")" | tr -d '\r' | iconv -f CP932 -t UTF-8; then
    failed=1
  fi
  # The port contract suites on the Win32 adapter. Left out: where Wine 8
  # answers otherwise than Windows does (docs/windows.md lists why).
  wine_differs="*AModulePathTooLongForTheBufferIsCutAndTerminated*"
  wine_differs+=":*NamesWindowsRefusesAndDrivesItLacks*"
  wine_differs+=":*TheReadOnlyAttributeRefusesWritersUntilItIsCleared*"
  wine_differs+=":*WritesThatCannotHappenFailAndChangeNothing*"
  wine_differs+=":*NothingFoundAndTheEndAreErrorsOfTheirOwn*"
  if ! timeout 300 wine "$build/win32/port_contracts.exe" --gtest_brief=1 \
      --gtest_filter="-$wine_differs" | tr -d '\r'; then
    failed=1
  fi
  if [ -f "$build/wine/ready-dialog.bmp" ]; then
    convert "$build/wine/ready-dialog.bmp" "$build/wine/ready-dialog.png"
    rm -f "$build/wine/ready-dialog.bmp"
    echo "screenshot: $build/wine/ready-dialog.png"
  fi
  wineserver -k 2>/dev/null || true
  echo "$preset: $(( $(date +%s) - start )) s"
done
exit $failed
