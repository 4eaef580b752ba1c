#!/usr/bin/env bash
# Makes the sector images of the example USB program in DIR: usb-mbr.bin, a
# master boot record with one FAT16 partition from sector 2048, and
# usb-fat-head.bin, the start of that partition as mkfs.fat formats it (boot
# sector, reserved sectors, both FATs and the root directory), so that the
# program's data file carries a complete empty file system.
#   examples/media/make-usb-program.sh DIR
set -euo pipefail
dir=${1:?usage: make-usb-program.sh DIR}
mkdir -p "$dir"
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)
start=2048
count=65536   # 32 MiB

volume="$dir/usb-volume.tmp"
rm -f "$volume"
"$mkfs" -C -F 16 -n "NOVUS-KT" -i 20040401 "$volume" $((count / 2)) >/dev/null
u16() { od -An -t u2 -j "$1" -N 2 "$volume" | tr -d ' '; }
u8() { od -An -t u1 -j "$1" -N 1 "$volume" | tr -d ' '; }
reserved=$(u16 14)
fats=$(u8 16)
roots=$(u16 17)
fatsize=$(u16 22)
head=$((reserved + fats * fatsize + roots * 32 / 512))
dd if="$volume" of="$dir/usb-fat-head.bin" bs=512 count="$head" status=none
rm -f "$volume"

le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
mbr="$dir/usb-mbr.bin"
head -c 512 /dev/zero > "$mbr"
{
  printf "$(le32 0x4b53564e)\\x00\\x00"       # disk signature "NVSK"
  printf '\x80\xfe\xff\xff\x06\xfe\xff\xff'  # active, CHS unused, FAT16
  printf "$(le32 $start)$(le32 $count)"
} | dd of="$mbr" bs=1 seek=440 conv=notrunc status=none
printf '\x55\xaa' | dd of="$mbr" bs=1 seek=510 conv=notrunc status=none
