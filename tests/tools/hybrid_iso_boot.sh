#!/usr/bin/env bash
# A hybrid ISO image, as most bootable images come today, made here with
# xorriso and ISOLINUX (an ISO 9660 file system with an MBR in front whose one
# partition starts at sector 0), goes through veldra-mkdata --from-disk,
# veldra-inspect and veldra-image: the medium holds the image byte for byte,
# and an emulator booted from it runs the image's chain (the MBR, ISOLINUX
# from the ISO file system, its configuration, then the example's boot sector
# as a file of the ISO), which prints its line on the serial port. Skipped
# (exit 77) where xorriso, ISOLINUX or qemu-system-i386 is missing;
# scripts/install-deps.sh --emulator installs them.
#   tests/tools/hybrid_iso_boot.sh VELDRA_MKDATA VELDRA_INSPECT VELDRA_IMAGE BOOT_SECTOR
set -euo pipefail
mkdata=${1:?usage: hybrid_iso_boot.sh VELDRA_MKDATA VELDRA_INSPECT VELDRA_IMAGE BOOT_SECTOR}
inspect=${2:?} image_tool=${3:?} boot=${4:?}
skip() { echo "skipped: $1 (scripts/install-deps.sh --emulator installs it)"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
command -v xorriso >/dev/null || skip "xorriso is not installed"
command -v qemu-system-i386 >/dev/null || skip "qemu-system-i386 is not installed"
mbr=/usr/lib/ISOLINUX/isohdpfx.bin isolinux=/usr/lib/ISOLINUX/isolinux.bin
ldlinux=/usr/lib/syslinux/modules/bios/ldlinux.c32
[ -f "$mbr" ] && [ -f "$isolinux" ] || skip "ISOLINUX is not installed (package isolinux)"
[ -f "$ldlinux" ] || skip "ISOLINUX's ldlinux.c32 is not installed (package syslinux-common)"

work=$(mktemp -d)
emulator=
trap '[ -z "$emulator" ] || kill "$emulator" 2>/dev/null || true; rm -rf "$work"' EXIT
line="NOVUS-KT FD BOOT OK"  # the boot sector's
mkdir -p "$work/root/isolinux"
cp "$isolinux" "$ldlinux" "$work/root/isolinux/"
cp "$boot" "$work/root/isolinux/hello.bs"
printf 'SERIAL 0 115200\nDEFAULT hello\nPROMPT 0\nLABEL hello\n  BOOT /isolinux/hello.bs\n' \
  >"$work/root/isolinux/isolinux.cfg"
xorriso -as mkisofs -quiet -o "$work/hybrid.iso" -isohybrid-mbr "$mbr" \
  -c isolinux/boot.cat -b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4 -boot-info-table \
  "$work/root" 2>"$work/xorriso.txt" || { cat "$work/xorriso.txt"; fail "xorriso"; }
size=$(stat -c %s "$work/hybrid.iso")

"$mkdata" --from-disk "$work/hybrid.iso" --name "HYBRID ISO" "$work/hybrid.dat"
"$inspect" "$work/hybrid.dat" >"$work/inspect.txt" ||
  { cat "$work/inspect.txt"; fail "veldra-inspect refuses the data file"; }
"$image_tool" "$work/hybrid.dat" "$work/medium.img" >"$work/transcript.txt" ||
  { cat "$work/transcript.txt"; fail "veldra-image hybrid.dat"; }
cmp -n "$size" "$work/hybrid.iso" "$work/medium.img" || fail "the medium differs from the image"

timeout 60 qemu-system-i386 -display none -no-reboot -monitor none -snapshot \
  -drive "file=$work/medium.img,if=ide,format=raw" -boot c -serial "file:$work/serial.txt" \
  2>/dev/null &
emulator=$!
for _ in $(seq 1 100); do
  if grep -q "$line" "$work/serial.txt" 2>/dev/null; then
    echo "the medium holds the $size bytes of the image and boots: $line"
    exit 0
  fi
  sleep 0.5
done
echo "the emulator printed no boot line:"; cat "$work/serial.txt" 2>/dev/null || true
exit 1
