#!/usr/bin/env bash
# Runs TAVEX.EXE of the Windows builds under Wine, on a virtual X display, in
# a fresh Wine prefix whose ANSI code page is 932, with tests/win32's driver
# pressing the buttons; then the port contract suites on the Win32 adapter.
# Needs the native build's example files and the Windows builds:
#   scripts/wine-tests.sh [--install] [--release[=DIR]] [windows-x64] [windows-x86]
# --install first installs Wine, Xvfb, the Japanese locale and fonts (Debian 12)
# through scripts/install-deps.sh --wine. --release takes the program and its
# files from the release archives in DIR (build/release, as `cpack --preset
# release` leaves them) instead: each build's archive, checked against
# SHA256SUMS, is unpacked into the prefix's C:\TAVEX, where TAVEX.EXE first
# runs its installation run (/INSTALL) in place, and the driver then works
# from there. The i686 build runs only where this machine can execute 32-bit
# programs (scripts/can-run-32bit.sh) and wine32 is installed; where apt
# could not install wine32 (build/install-deps.report says why), that run is
# skipped with apt's reason. The last line names the builds that ran, and
# those that did not and why.
# The ready dialog's screenshot of each build lands in build/<preset>/wine/.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=()
install=no
release=""
for arg in "$@"; do
  case "$arg" in
    --install) install=yes ;;
    --release) release=build/release ;;
    --release=*) release=${arg#--release=} ;;
    windows-x64|windows-x86) presets+=("$arg") ;;
    *) echo "wine-tests.sh: unknown argument $arg" >&2; exit 2 ;;
  esac
done
[ ${#presets[@]} -gt 0 ] || presets=(windows-x64 windows-x86)

if [ "$install" = yes ]; then
  scripts/install-deps.sh --wine
fi

# Which loader runs the 64-bit build. Debian's `wine` starts the 32-bit
# loader whenever wine32 is installed, and on a kernel without IA-32
# emulation that loader cannot start at all ("Exec format error"); the
# 64-bit loader then has to be called by its own name.
wine=(wine)
run32=yes
if ! scripts/can-run-32bit.sh; then
  run32=no
  if [ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ]; then
    wine=(/usr/lib/wine/wine64)
    export WINELOADER=/usr/lib/wine/wine64
  fi
fi
have_wine32=no
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed" && have_wine32=yes

examples=build/default/examples/machine/C/TAVEX
if [ -n "$release" ]; then
  if [ ! -f "$release/SHA256SUMS" ]; then
    echo "wine-tests.sh: $release/SHA256SUMS is missing: make the release archives first (cpack --preset release)" >&2
    exit 2
  fi
elif [ ! -f "$examples/TAVEXMEDIA.INI" ]; then
  echo "wine-tests.sh: $examples is missing: build the default preset first" >&2
  exit 2
fi

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
# No Mono or Gecko prompts, and no file associations taken over from the host
# (Help must find no PDF viewer).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

scratch=$(mktemp -d)
# Runs a step with its output in a log of its own; when the step fails, the
# end of that log is shown before the script stops, since the exit trap
# deletes the scratch folder it lives in.
step() {
  local name=$1 log="$scratch/$1.log"
  shift
  local status=0
  "$@" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    echo "wine-tests.sh: $name failed (exit $status); the end of its log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}
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
if ! kill -0 "$xvfb_pid" 2>/dev/null; then
  echo "wine-tests.sh: Xvfb did not start; the end of its log:" >&2
  tail -n 20 "$scratch/xvfb.log" >&2
  exit 1
fi

winepath() { "${wine[@]}" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# The release archive of a build, unpacked into the prefix's C:\TAVEX after
# its checksum is checked; then the installation run there, which must add
# its entry to C:\TAVEX\TVLOG.TXT.
unpack_release() {
  local arch=${1#windows-} line archive tavex="$WINEPREFIX/drive_c/TAVEX"
  line=$(grep -E "  VELDRA-[^ ]+-windows-$arch\.zip\$" "$release/SHA256SUMS" || true)
  archive=${line#*  }
  if [ -z "$line" ] || [ ! -f "$release/$archive" ]; then
    echo "wine-tests.sh: no windows-$arch archive in $release/SHA256SUMS" >&2
    return 1
  fi
  (cd "$release" && echo "$line" | sha256sum --quiet -c -) || return 1
  local zip
  zip=$(realpath "$release/$archive")
  mkdir -p "$tavex"
  (cd "$tavex" && cmake -E tar xf "$zip") || return 1
  echo "unpacked $archive into C:\TAVEX"
  timeout 120 "${wine[@]}" 'C:\TAVEX\TAVEX.EXE' /INSTALL || return 1
  local log
  log=$(iconv -f CP932 -t UTF-8 "$tavex/TVLOG.TXT" | tr -d '\r') || return 1
  if ! grep -qx '◆VELDRAをインストールしました。' <<<"$log" ||
     ! grep -qxF '  インストール先：C:\TAVEX' <<<"$log"; then
    echo "wine-tests.sh: TAVEX.EXE /INSTALL in C:\TAVEX left no installation entry; TVLOG.TXT:" >&2
    echo "$log" >&2
    return 1
  fi
  echo "TAVEX.EXE /INSTALL in C:\TAVEX: installation entry in TVLOG.TXT"
}

failed=0
ran=()
skipped=()
for preset in "${presets[@]}"; do
  build=build/$preset
  if [ ! -f "$build/win32/TAVEX.EXE" ] || [ ! -f "$build/win32/tavex_driver.exe" ] ||
     [ ! -f "$build/win32/port_contracts.exe" ]; then
    echo "wine-tests.sh: build the $preset preset first" >&2
    exit 2
  fi
  if [ "$preset" = windows-x86 ]; then
    if [ "$run32" = no ]; then
      echo "wine-tests.sh: $preset not run: this machine cannot execute 32-bit programs"
      skipped+=("$preset (no 32-bit execution here)")
      continue
    fi
    if [ "$have_wine32" = no ]; then
      # Not installed: skipped only where install-deps.sh tried and apt
      # refused it (a mirror out of step), with apt's reason; otherwise the
      # run is owed.
      why=$(awk -F '\t' '$1 == "wine32:i386" { print $3; exit }' build/install-deps.report 2>/dev/null || true)
      if [ -z "$why" ]; then
        echo "wine-tests.sh: $preset needs wine32, which this machine can run: install it with --install" >&2
        exit 2
      fi
      echo "wine-tests.sh: $preset not run: wine32 could not be installed ($why)"
      skipped+=("$preset (wine32 could not be installed: $why)")
      continue
    fi
  fi
  export WINEPREFIX="$scratch/prefix-$preset"
  [ "$preset" = windows-x86 ] && export WINEARCH=win32 || export WINEARCH=win64
  start=$(date +%s)
  step "wineboot-$preset" "${wine[@]}" wineboot -i
  # The dialogs' font, through its metric twin; a virtual desktop, so that
  # Wine draws the caption bars the screenshot shows.
  step "fonts-$preset" "${wine[@]}" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f
  step "desktop-$preset" "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
  step "desktop-size-$preset" "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x400 /f
  # Wine opens PDF files with the host's browser; Help is tested without a viewer.
  "${wine[@]}" reg delete 'HKCR\.pdf' /f >/dev/null 2>&1 || true
  wineserver -w

  echo "== $preset under Wine ($("${wine[@]}" --version))"
  mkdir -p "$build/wine"
  if [ -n "$release" ]; then
    if ! unpack_release "$preset"; then
      failed=1
      wineserver -k 2>/dev/null || true
      continue
    fi
    source_dir="$WINEPREFIX/drive_c/TAVEX"
  else
    source_dir="$scratch/source-$preset"
    mkdir -p "$source_dir"
    cp "$examples"/* "$source_dir/"
    cp "$build/win32/TAVEX.EXE" "$source_dir/"
  fi
  if ! timeout 600 "${wine[@]}" "$build/win32/tavex_driver.exe" \
      "$(winepath "$source_dir")" "$(winepath "$scratch/work-$preset")" \
      "$(winepath "$build/wine/ready-dialog.bmp")" | tr -d '\r' | iconv -f CP932 -t UTF-8; then
    failed=1
  fi
  # The port contract suites on the Win32 adapter. Left out: where Wine 8
  # answers otherwise than Windows does (docs/windows.md lists why).
  wine_differs="*AModulePathTooLongForTheBufferIsCutAndTerminated*"
  wine_differs+=":*NamesWindowsRefusesAndDrivesItLacks*"
  wine_differs+=":*TheReadOnlyAttributeRefusesWritersUntilItIsCleared*"
  wine_differs+=":*WritesThatCannotHappenFailAndChangeNothing*"
  wine_differs+=":*NothingFoundAndTheEndAreErrorsOfTheirOwn*"
  if ! timeout 300 "${wine[@]}" "$build/win32/port_contracts.exe" --gtest_brief=1 \
      --gtest_filter="-$wine_differs" | tr -d '\r'; then
    failed=1
  fi
  if [ -f "$build/wine/ready-dialog.bmp" ]; then
    if command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick; then
      convert "$build/wine/ready-dialog.bmp" "$build/wine/ready-dialog.png"
      rm -f "$build/wine/ready-dialog.bmp"
      echo "screenshot: $build/wine/ready-dialog.png"
    else
      echo "screenshot: $build/wine/ready-dialog.bmp (ImageMagick is not installed: left as BMP)"
    fi
  fi
  wineserver -k 2>/dev/null || true
  echo "$preset: $(( $(date +%s) - start )) s"
  ran+=("$preset")
done
echo "Wine ran: ${ran[*]:-nothing}${skipped:+; not run: ${skipped[*]}}"
exit $failed
