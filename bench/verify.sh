#!/usr/bin/env bash
# What read-back verification costs: a USB program of about 24 MiB of sector
# data (a FAT16 partition made by mkfs.fat and filled with mtools, taken with
# veldra-mkdata --from-disk) created on the simulated machine's 64 MiB stick,
# without and with VERIFY=1, each RUNS times on a fresh stick. Prints the
# median wall time of each and their ratio.
#   bench/verify.sh [BUILD-DIR [RUNS]]      (default: build/default, 5)
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$src/build/default}"
runs="${2:-5}"
veldra="$build/veldra"
mkdata="$build/tools/datafile/veldra-mkdata"
example="$build/examples/machine"
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The program: an MBR and a 62 MiB FAT16 partition from sector 2048 holding
# 24 MiB of incompressible data.
sectors=$((64 * 2048))
truncate -s $((sectors * 512)) "$work/program.img"
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
{ printf '\x80\xfe\xff\xff\x06\xfe\xff\xff'; printf "$(le32 2048)$(le32 $((sectors - 2048)))"; } |
  dd of="$work/program.img" bs=1 seek=446 conv=notrunc status=none
printf '\x55\xaa' | dd of="$work/program.img" bs=1 seek=510 conv=notrunc status=none
"$mkfs" -F 16 --offset 2048 "$work/program.img" $(((sectors - 2048) / 2)) >/dev/null
head -c $((24 << 20)) /dev/urandom >"$work/NOVUS.BIN"
mcopy -i "$work/program.img@@1M" "$work/NOVUS.BIN" ::/
"$mkdata" --from-disk "$work/program.img" --name "BENCH" "$work/BENCH.DAT"

# The machine: the example's, listing the one program.
mkdir -p "$work/machine/media"
cp "$example/machine.ini" "$work/machine/"
cp -r "$example/C" "$work/machine/"
cp "$example/media/floppy.img" "$work/machine/media/"
truncate -s "$(stat -c %s "$example/media/disk0.img")" "$work/machine/media/disk0.img"
cp "$work/BENCH.DAT" "$work/machine/C/TAVEX/"
ini="$work/machine/C/TAVEX/TAVEXMEDIA.INI"

run() {  # VERIFY value; prints the seconds one creation took
  printf '[FILE]\r\nFILES=1\r\nFILE1=BENCH.DAT\r\nFILENO=1\r\nVERIFY=%s\r\n' "$1" >"$ini"
  rm -f "$work/machine/media/usb.img"
  truncate -s $((sectors * 512)) "$work/machine/media/usb.img"
  local start end
  start=$(date +%s.%N)
  "$veldra" --machine "$work/machine" --do "create, yes, exit" >"$work/transcript.txt"
  end=$(date +%s.%N)
  grep -q '作成が完了しました' "$work/transcript.txt" || { cat "$work/transcript.txt"; exit 1; }
  echo "$end - $start" | bc
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

plain=$(for _ in $(seq "$runs"); do run 0; done | median)
verified=$(for _ in $(seq "$runs"); do run 1; done | median)
echo "data file: $(stat -c %s "$work/BENCH.DAT") bytes; median of $runs runs"
printf 'without verification: %.3f s\n' "$plain"
printf 'with verification:    %.3f s\n' "$verified"
printf 'ratio: %.2f\n' "$(echo "scale=4; $verified / $plain" | bc)"
