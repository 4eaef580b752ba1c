#!/usr/bin/env bash
# veldra-image end to end, judged by tools nobody here wrote: the example
# floppy program's image passes fsck.fat and mtools lists its files; images
# made by mkfs.fat and mtools (a floppy with the example's boot sector, a disk
# with an MBR and a FAT16 partition at sector 2048) come back sector for
# sector through veldra-mkdata and veldra-image; a creation that fails leaves
# no output behind; and the floppy boots in an emulator as the original does
# (when qemu-system-i386 is installed).
#   tests/tools/image_round_trip.sh VELDRA_IMAGE VELDRA_MKDATA EXAMPLE_FLOPPY_DAT BOOT_SECTOR
set -euo pipefail
image_tool=${1:?usage: image_round_trip.sh VELDRA_IMAGE VELDRA_MKDATA EXAMPLE_FLOPPY_DAT BOOT_SECTOR}
mkdata=${2:?} example=${3:?} boot=${4:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)
fsck=$(command -v fsck.fat || echo /sbin/fsck.fat)
fail() { echo "FAIL: $*"; exit 1; }
image() { "$image_tool" "$@" >"$work/transcript.txt" || { cat "$work/transcript.txt"; fail "veldra-image $*"; }; }

# The example floppy program.
image "$example" "$work/example.img"
"$fsck" -n "$work/example.img"
mdir -i "$work/example.img" -a ::/ >"$work/dir.txt"
grep -q "README   TXT" "$work/dir.txt" && grep -q "NOVUS    CFG" "$work/dir.txt" ||
  { cat "$work/dir.txt"; fail "the example's files are not on its image"; }

# Files for the media below; read-only, so the floppy's finishing step, which
# leaves read-only files as they are, changes nothing.
printf 'NOVUS-KT\r\n' >"$work/README.TXT"
seq 1 9000 >"$work/PROGRAM.BIN"
fill() {
  mcopy -i "$1" "$work/README.TXT" "$work/PROGRAM.BIN" ::/
  mattrib -i "$1" +r ::/README.TXT ::/PROGRAM.BIN
}

# A floppy: mkfs.fat, the example's boot sector over its own, two files.
"$mkfs" -C -n ROUNDTRIP "$work/floppy.img" 1440 >/dev/null
dd if="$boot" of="$work/floppy.img" conv=notrunc status=none
fill "$work/floppy.img"
"$mkdata" --from-floppy "$work/floppy.img" --name "ROUND TRIP" "$work/fd.dat"
image "$work/fd.dat" "$work/fd-out.img"
cmp "$work/floppy.img" "$work/fd-out.img"

# A disk: an MBR with one FAT16 partition (type 0x06) from sector 2048.
sectors=65536
truncate -s $((sectors * 512)) "$work/disk.img"
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
{
  printf '\x80\xfe\xff\xff\x06\xfe\xff\xff'
  printf "$(le32 2048)$(le32 $((sectors - 2048)))"
} | dd of="$work/disk.img" bs=1 seek=446 conv=notrunc status=none
printf '\x55\xaa' | dd of="$work/disk.img" bs=1 seek=510 conv=notrunc status=none
"$mkfs" -F 16 -n ROUNDTRIP --offset 2048 "$work/disk.img" $(((sectors - 2048) / 2)) >/dev/null
fill "$work/disk.img@@1M"
"$mkdata" --from-disk "$work/disk.img" --name "ROUND TRIP USB" "$work/usb.dat"
image "$work/usb.dat" "$work/usb-out.img" --size $((sectors * 512)) --verify
cmp "$work/disk.img" "$work/usb-out.img"

# A USB program offered no USB drive: the program says so, and nothing is
# written, not even a temporary file.
mkdir "$work/out"
if "$image_tool" "$work/usb.dat" "$work/out/x.img" --floppy >"$work/transcript.txt"; then
  fail "a failed creation exited 0"
fi
grep -q 'USBメモリがありません。' "$work/transcript.txt" || { cat "$work/transcript.txt"; fail "no message"; }
[ -z "$(ls -A "$work/out")" ] || { ls -la "$work/out"; fail "a failed creation left files"; }

command -v qemu-system-i386 >/dev/null || { echo "qemu-system-i386 is not installed: no boot check"; exit 0; }
boot_line() {
  rm -f "$work/serial.txt"
  timeout 60 qemu-system-i386 -display none -no-reboot -monitor none \
    -drive "file=$1,if=floppy,format=raw,readonly=on" -boot a -serial "file:$work/serial.txt" \
    2>/dev/null &
  local emulator=$!
  for _ in $(seq 1 100); do
    if grep -q "BOOT OK" "$work/serial.txt" 2>/dev/null; then break; fi
    sleep 0.5
  done
  kill "$emulator" 2>/dev/null || true
  wait "$emulator" 2>/dev/null || true
  tr -d '\r' <"$work/serial.txt" 2>/dev/null | grep "BOOT OK" || true
}
original=$(boot_line "$work/floppy.img")
written=$(boot_line "$work/fd-out.img")
[ -n "$original" ] || fail "the original floppy does not boot"
[ "$written" = "$original" ] || fail "the written floppy printed '$written', the original '$original'"
echo "both boot: $written"
