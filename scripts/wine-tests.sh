#!/usr/bin/env bash
# Runs TAVEX.EXE of the Windows builds under Wine, on a virtual X display, in
# fresh Wine prefixes whose ANSI code pages are 932 (Japanese), 1252
# (English) and 65001 (UTF-8), with tests/win32's driver pressing the
# buttons; then the port contract suites on the Win32 adapter. What the
# program leaves in C:\テスト\TAVEX under 1252 and 65001 must be the bytes it
# leaves under 932; the ready dialog is taken again at 144 DPI (150%).
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
# The screenshots of each build land in build/<preset>/wine/ (932), and in
# its cp1252/, cp65001/ and dpi144/. The other code pages need localedef
# (glibc's locales package) to make their locales; without it they are not
# run, and the last line says so.
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
  local prefix
  for prefix in "$scratch"/prefix-*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  done
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

# The locales of the other code pages, made with localedef into the scratch
# folder when the system has none (LOCPATH): Wine takes the ANSI code page
# from LC_CTYPE, and needs the host's locale to exist for the UTF-8 names of
# C:\テスト on the host.
locales=""
locales_why=""
if command -v localedef >/dev/null; then
  mkdir -p "$scratch/locales"
  for made in en_US hi_IN; do
    if ! localedef -i "$made" -f UTF-8 "$scratch/locales/$made.UTF-8" >"$scratch/localedef.log" 2>&1 &&
       [ ! -e "$scratch/locales/$made.UTF-8/LC_CTYPE" ]; then
      locales_why="localedef could not make $made.UTF-8: $(tail -n 1 "$scratch/localedef.log")"
      break
    fi
  done
  [ -n "$locales_why" ] || locales="$scratch/locales"
else
  locales_why="no localedef to make en_US.UTF-8 and hi_IN.UTF-8"
fi

# A fresh prefix for one build in one locale: the dialogs' font through its
# metric twin, and the same font linked to the message boxes' font for the
# kana (Windows 7 to 11 link their Japanese fonts to the UI fonts in every
# language); a virtual desktop (so that Wine draws the caption bars the
# screenshot shows); no PDF viewer (Wine opens PDF files with the host's
# browser; Help is tested without one).
prepare_prefix() {
  local name=$1
  step "wineboot-$name" "${wine[@]}" wineboot -i
  step "fonts-$name" "${wine[@]}" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f
  step "font-link-$name" "${wine[@]}" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f
  step "desktop-$name" "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
  step "desktop-size-$name" "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x400 /f
  "${wine[@]}" reg delete 'HKCR\.pdf' /f >/dev/null 2>&1 || true
  wineserver -w
}

# Screenshots of a run, BMP to PNG.
convert_shots() {
  local dir=$1 shot
  for shot in "$dir"/*.bmp; do
    [ -f "$shot" ] || continue
    if command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick; then
      convert "$shot" "${shot%.bmp}.png" && rm -f "$shot"
      echo "screenshot: ${shot%.bmp}.png"
    else
      echo "screenshot: $shot (ImageMagick is not installed: left as BMP)"
    fi
  done
}

# One build in a fresh prefix whose ANSI code page is cp (LC_CTYPE ctype,
# messages in lcmsg): the driver's scenarios and the port contract suites.
# What the program left in C:\テスト\TAVEX goes to OUT/japanese-folder, the
# log without its date line; every code page but 932 must leave the bytes
# that 932 left.
run_code_page() {
  local preset=$1 cp=$2 ctype=$3 lcmsg=$4 out=$5 build=build/$1
  (
    export WINEPREFIX="$scratch/prefix-$preset-$cp"
    if [ "$cp" != 932 ]; then
      unset LC_ALL
      export LOCPATH=$locales
      # (This shell's own setlocale cannot see LOCPATH yet and would say so.)
      { export LANG=$lcmsg LC_CTYPE=$ctype; } 2>/dev/null
    fi
    prepare_prefix "$preset-$cp"
    rm -rf "$out/japanese-folder"
    mkdir -p "$out/japanese-folder"
    rm -f "$out"/*.png
    local source_dir
    if [ -n "$release" ]; then
      unpack_release "$preset" || exit 1
      source_dir="$WINEPREFIX/drive_c/TAVEX"
    else
      source_dir="$scratch/source-$preset"
      mkdir -p "$source_dir"
      cp "$examples"/* "$source_dir/"
      cp "$build/win32/TAVEX.EXE" "$source_dir/"
    fi
    local status=0 report="$scratch/driver-$preset-$cp.txt"
    timeout 600 "${wine[@]}" "$build/win32/tavex_driver.exe" "$(winepath "$source_dir")" \
        "$(winepath "$scratch/work-$preset-$cp")" "$(winepath "$out")" |
      tr -d '\r' | iconv -f CP932 -t UTF-8 | tee "$report" || status=1
    if ! grep -qx "ANSI code page $cp" "$report"; then
      echo "wine-tests.sh: $preset was to run in ANSI code page $cp: $(head -n 1 "$report")" >&2
      status=1
    fi
    # The port contract suites on the Win32 adapter. Left out: where Wine 8
    # answers otherwise than Windows does (docs/windows.md lists why).
    local wine_differs="*NamesWindowsRefusesAndDrivesItLacks*"
    wine_differs+=":*TheReadOnlyAttributeRefusesWritersUntilItIsCleared*"
    wine_differs+=":*WritesThatCannotHappenFailAndChangeNothing*"
    wine_differs+=":*NothingFoundAndTheEndAreErrorsOfTheirOwn*"
    timeout 300 "${wine[@]}" "$build/win32/port_contracts.exe" --gtest_brief=1 \
        --gtest_filter="-$wine_differs" | tr -d '\r' || status=1
    local installed="$WINEPREFIX/drive_c/テスト/TAVEX"
    if [ -f "$installed/TVLOG.TXT" ]; then
      LC_ALL=C grep -av $'^  \x93\xfa\x8e\x9e\x81\x46' "$installed/TVLOG.TXT" \
        >"$out/japanese-folder/TVLOG.TXT" || true
      cp "$installed/TAVEXMEDIA.INI" "$out/japanese-folder/"
    fi
    if [ "$cp" != 932 ]; then
      local name
      for name in TVLOG.TXT TAVEXMEDIA.INI; do
        if ! cmp "$build/wine/japanese-folder/$name" "$out/japanese-folder/$name"; then
          echo "wine-tests.sh: C:\\テスト\\TAVEX\\$name in code page $cp differs from code page 932's" >&2
          status=1
        else
          echo "C:\\テスト\\TAVEX\\$name in code page $cp: the bytes of code page 932's"
        fi
      done
    fi
    convert_shots "$out"
    # The Japanese prefix stays up for the run at 150%.
    [ "$cp" = 932 ] || wineserver -k 2>/dev/null || true
    exit $status
  )
}

# The ready dialog in the Japanese prefix again at 144 DPI (150%): its
# screenshot must be half as large again as the one at 96 DPI.
run_at_150_percent() {
  local preset=$1 build=build/$1 out=build/$1/wine/dpi144
  (
    export WINEPREFIX="$scratch/prefix-$preset-932"
    wineserver -k 2>/dev/null || true
    step "dpi-$preset" "${wine[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f
    step "dpi-desktop-$preset" "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1000x700 /f
    wineserver -w
    rm -f "$out"/*.png
    local status=0 source_dir="$scratch/source-$preset"
    [ -z "$release" ] || source_dir="$WINEPREFIX/drive_c/TAVEX"
    timeout 300 "${wine[@]}" "$build/win32/tavex_driver.exe" "$(winepath "$source_dir")" \
        "$(winepath "$scratch/work-$preset-dpi")" "$(winepath "$out")" ReadyDialog |
      tr -d '\r' | iconv -f CP932 -t UTF-8 | sed 's/^/144 dpi: /' || status=1
    convert_shots "$out"
    if command -v identify >/dev/null && [ -f "$out/ready-dialog.png" ]; then
      local at96 at144
      at96=$(identify -format '%w' "$build/wine/ready-dialog.png")
      at144=$(identify -format '%w' "$out/ready-dialog.png")
      if [ $(( at144 * 10 )) -lt $(( at96 * 14 )) ] || [ $(( at144 * 10 )) -gt $(( at96 * 16 )) ]; then
        echo "wine-tests.sh: the dialog is $at144 pixels wide at 144 DPI, $at96 at 96" >&2
        status=1
      else
        echo "144 dpi: the dialog is $at144 pixels wide, $at96 at 96 DPI"
      fi
    fi
    wineserver -k 2>/dev/null || true
    exit $status
  )
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
  [ "$preset" = windows-x86 ] && export WINEARCH=win32 || export WINEARCH=win64
  start=$(date +%s)
  echo "== $preset under Wine ($("${wine[@]}" --version))"
  # Japanese first: the reference the other code pages are held to.
  if ! run_code_page "$preset" 932 ja_JP.UTF-8 ja_JP.UTF-8 "$build/wine"; then
    failed=1
    continue
  fi
  # The same prefix at 150%: the dialog must still lay out, 1.5 times as large.
  if ! run_at_150_percent "$preset"; then failed=1; fi
  done_here="932"
  if [ -n "$locales" ]; then
    # English (ANSI code page 1252), and UTF-8 as the ANSI code page (as with
    # Windows 10's "Beta: Unicode UTF-8" option): Wine takes 65001 for a
    # locale whose Windows counterpart has no ANSI code page, Hindi here,
    # with English messages.
    if run_code_page "$preset" 1252 en_US.UTF-8 en_US.UTF-8 "$build/wine/cp1252"; then
      done_here+=", 1252"
    else
      failed=1
    fi
    if run_code_page "$preset" 65001 hi_IN.UTF-8 en_US.UTF-8 "$build/wine/cp65001"; then
      done_here+=", 65001"
    else
      failed=1
    fi
  else
    skipped+=("$preset in code pages 1252 and 65001 ($locales_why)")
  fi
  echo "$preset: $(( $(date +%s) - start )) s"
  ran+=("$preset (code pages $done_here; 150%)")
done
echo "Wine ran: ${ran[*]:-nothing}${skipped:+; not run: ${skipped[*]}}"
exit $failed
