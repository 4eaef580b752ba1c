#!/usr/bin/env bash
# Installs what building and testing VELDRA needs on Debian 12.
#   scripts/install-deps.sh            the native build and its tests
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compilers
#   scripts/install-deps.sh --emulator also QEMU, to boot the media the program makes,
#                                      and xorriso and ISOLINUX for the hybrid ISO image
#   scripts/install-deps.sh --wine     also Wine, Xvfb and the Japanese locale and
#                                      fonts, to run the Windows builds (wine32 only
#                                      where this machine can execute 32-bit programs)
#   scripts/install-deps.sh --release  also what the manual TvMan.pdf is made and
#                                      checked with (WeasyPrint, Python-Markdown, the
#                                      IPA Gothic fonts, poppler-utils), for the
#                                      release archives (which need --windows too)
#   --keep-going                       a package that only an optional step needs and
#                                      that will not install is reported and left out
#                                      (CI); only the native build's packages must install
#
# The packages come in groups, each named by the step that needs it, so that
# one that will not install stops only that step. apt-get update is tried a
# few times (a mirror in the middle of a sync often recovers within a
# minute); when it still reports a failed index, the install goes on with the
# lists the machine has. A package that will not install is named with apt's
# own reason. Without --keep-going that ends the script, except for wine32,
# which only the i686 build's run under Wine needs: it is always reported and
# left out, never fatal.
#
# What could not be installed, and why, is written to build/install-deps.report
# (one "package<TAB>step<TAB>apt's reason" line each; empty when everything is
# there), which .ci/run and scripts/wine-tests.sh read to name what they skip.
# VELDRA_APT_UPDATE_TRIES and VELDRA_APT_UPDATE_PAUSE (seconds) set the retries.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
report_dir="$here/../build"
report="$report_dir/install-deps.report"
tries=${VELDRA_APT_UPDATE_TRIES:-3}
pause=${VELDRA_APT_UPDATE_PAUSE:-20}

# Each group: its name, the step that needs it, whether that step is
# required, whether apt may add recommended packages, and its packages.
# Recommended packages are left out except for Wine (they pull desktops'
# worth of GUI libraries into QEMU and ImageMagick), whose X11 driver loads
# its recommendations at run time.
group_names=() group_steps=() group_required=() group_recommends=() group_packages=()
add_group() {
  group_names+=("$1") group_steps+=("$2") group_required+=("$3") group_recommends+=("$4")
  shift 4
  group_packages+=("$*")
}

keep_going=no
want_windows=no want_emulator=no want_wine=no want_release=no
for arg in "$@"; do
  case "$arg" in
    --windows) want_windows=yes ;;
    --emulator) want_emulator=yes ;;
    --wine) want_wine=yes ;;
    --release) want_release=yes ;;
    --keep-going) keep_going=yes ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
optional=yes
[ "$keep_going" = yes ] || optional=no
[ "$optional" = yes ] && asked=no || asked=yes

add_group native "the native build and its tests" yes no \
  cmake ninja-build g++ libgtest-dev libgmock-dev dosfstools mtools
add_group format "the formatting check" no no clang-format
if [ "$want_windows" = yes ]; then
  add_group windows-x64 "the windows-x64 build" "$asked" no g++-mingw-w64-x86-64
  add_group windows-x86 "the windows-x86 build" "$asked" no g++-mingw-w64-i686
fi
# xorriso and ISOLINUX make the hybrid ISO image that is booted from its medium.
[ "$want_emulator" = yes ] && add_group emulator "the boot tests in an emulator" "$asked" no \
  qemu-system-x86 xorriso isolinux syslinux-common
if [ "$want_release" = yes ]; then
  # python3-fonttools, which WeasyPrint needs, takes SciPy for its first
  # choice of an assignment solver unless python3-munkres is there: that
  # keeps some 250 MB of numerics off the machine.
  add_group manual "the manual and the release archives" "$asked" no \
    weasyprint python3-markdown python3-munkres fonts-ipafont-gothic poppler-utils
fi
wine32=no
if [ "$want_wine" = yes ]; then
  # fonts-ipafont-gothic is metric-compatible with the dialogs' "ＭＳ Ｐゴシック".
  add_group wine "the runs under Wine" "$asked" no xvfb fonts-ipafont-gothic locales
  add_group wine-loader "the runs under Wine" "$asked" yes wine wine64 fonts-wine
  # ImageMagick only turns the screenshots into PNG.
  add_group screenshots "the screenshots' PNG files" "$asked" no imagemagick
  if "$here/can-run-32bit.sh"; then
    wine32=yes
    add_group wine32 "the windows-x86 run under Wine" no yes wine32:i386
  fi
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing_of() {
  local p
  for p in $1; do installed "$p" || echo "$p"; done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$report_dir"
: >"$report"

# apt's reason in one line: the first unmet dependency it names, if any, and
# its last error.
apt_reason() {
  local dep err
  dep=$(grep -E '^ +[^ ]+ : (Depends|PreDepends|Breaks|Conflicts):' "$1" | head -n 1 | sed 's/^ *//') || true
  err=$(grep -E '^E: ' "$1" | tail -n 1) || true
  [ -n "$err" ] || err=$(grep -v '^ *$' "$1" | tail -n 1) || true
  if [ -n "$dep" ]; then echo "$dep; $err"; else echo "$err"; fi
}

any_missing=no
for i in "${!group_names[@]}"; do
  [ -z "$(missing_of "${group_packages[$i]}")" ] || any_missing=yes
done

if [ "$any_missing" = yes ]; then
  if [ "$wine32" = yes ] && ! installed wine32:i386 &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  attempt=1
  while :; do
    status=0
    $sudo apt-get update -qq -o DPkg::Lock::Timeout=300 >"$scratch/update.log" 2>&1 || status=$?
    if [ $status -eq 0 ] && ! grep -qE '^(W|E): (Failed to fetch|Some index files failed)' "$scratch/update.log"; then
      break
    fi
    if [ "$attempt" -ge "$tries" ]; then
      reason=$(grep -E '^(E|W): ' "$scratch/update.log" | head -n 1) || true
      echo "install-deps.sh: apt-get update failed $attempt times (${reason:-exit $status}); going on with the package lists this machine has"
      break
    fi
    echo "install-deps.sh: apt-get update failed (exit $status); trying again in $pause s"
    sleep "$pause"
    attempt=$((attempt + 1))
  done
fi

# Installs a list of packages in one apt-get call; its output goes to $2.
apt_install() {
  local recommends=$1 log=$2
  shift 2
  # Another apt (unattended upgrades on a fresh machine) holds the lock for a while.
  local options=(-y -qq -o DPkg::Lock::Timeout=300)
  [ "$recommends" = yes ] || options+=(--no-install-recommends)
  $sudo apt-get install "${options[@]}" "$@" >"$log" 2>&1
}

fatal=no
not_installed=()
for i in "${!group_names[@]}"; do
  mapfile -t need < <(missing_of "${group_packages[$i]}")
  [ ${#need[@]} -gt 0 ] || continue
  extra=()
  if [ "${group_names[$i]}" = wine-loader ] && ! installed wine32:i386 &&
     dpkg --print-foreign-architectures | grep -qx i386; then
    # wine64 recommends wine32. Where i386 packages can be had but not run,
    # it would make `wine` a loader that cannot start; where they can be run,
    # wine32 comes on its own afterwards, so that when it cannot be had now
    # it takes nothing else down with it.
    extra=(wine32:i386-)
  fi
  log="$scratch/${group_names[$i]}.log"
  apt_install "${group_recommends[$i]}" "$log" "${need[@]}" "${extra[@]}" && continue
  # One at a time, so that what can be installed is, and what cannot is named.
  for p in "${need[@]}"; do
    plog="$scratch/${group_names[$i]}-$p.log"
    apt_install "${group_recommends[$i]}" "$plog" "$p" "${extra[@]}" && continue
    reason=$(apt_reason "$plog")
    printf '%s\t%s\t%s\n' "$p" "${group_steps[$i]}" "$reason" >>"$report"
    not_installed+=("$p")
    if [ "${group_required[$i]}" = yes ]; then
      echo "install-deps.sh: $p, which ${group_steps[$i]} cannot do without, will not install; apt says:" >&2
      grep -E '^(E: | +[^ ]+ : )' "$plog" | sed 's/^/  /' >&2 || tail -n 5 "$plog" | sed 's/^/  /' >&2
      fatal=yes
    fi
  done
done

if [ "$want_wine" = yes ] && installed locales && ! locale -a | grep -qix 'ja_JP.utf8'; then
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
if [ "$want_wine" = yes ] && [ "$wine32" = no ]; then
  if installed wine32:i386; then
    echo "install-deps.sh: wine32 is installed but this machine cannot execute 32-bit programs; the i686 build will not run under Wine"
  else
    echo "install-deps.sh: this machine cannot execute 32-bit programs; wine32 not installed, the i686 build will not run under Wine"
  fi
fi

if [ ${#not_installed[@]} -gt 0 ]; then
  summary=$(awk -F '\t' '{ printf "%s%s (%s; needed by %s)", (NR > 1 ? "; " : ""), $1, $3, $2 }' "$report")
  echo "install-deps.sh: not installed: $summary"
fi
[ "$fatal" = no ] || exit 1
