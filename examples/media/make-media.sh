#!/usr/bin/env bash
# Makes the example machine's media in DIR: a blank formatted 1.44 MB floppy
# (floppy.img), a 64 MiB USB stick with one FAT16 partition at sector 2048
# (usb.img), and the fixed disk behind C: (disk0.img, sparse and empty).
#   examples/media/make-media.sh DIR
set -euo pipefail
dir=${1:?usage: make-media.sh DIR}
mkdir -p "$dir"
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)

rm -f "$dir/floppy.img" "$dir/usb.img" "$dir/disk0.img"
"$mkfs" -C -n "FLOPPY" -i 12345678 "$dir/floppy.img" 1440 >/dev/null

# The stick: an MBR whose first entry is a FAT16 partition (type 0x06) from
# sector 2048 to the end, then the file system inside it.
total=$((64 * 1024 * 1024 / 512))
start=2048
count=$((total - start))
truncate -s $((total * 512)) "$dir/usb.img"
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
{
  printf "$(le32 0x5645444c)\\x00\\x00"              # disk signature, then two zero bytes
  printf '\x00\xfe\xff\xff\x06\xfe\xff\xff'         # not active, CHS unused, FAT16
  printf "$(le32 $start)$(le32 $count)"
} | dd of="$dir/usb.img" bs=1 seek=440 conv=notrunc status=none
printf '\x55\xaa' | dd of="$dir/usb.img" bs=1 seek=510 conv=notrunc status=none
"$mkfs" -F 16 -n "VELDRA" -i 87654321 --offset $start "$dir/usb.img" $((count / 2)) >/dev/null

truncate -s 1G "$dir/disk0.img"
