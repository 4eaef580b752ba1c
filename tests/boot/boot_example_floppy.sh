#!/usr/bin/env bash
# Creates the example floppy on a copy of the example machine, checks the
# medium with tools nobody here wrote (fsck.fat, mtools), and boots it in an
# emulator, which must print the boot sector's line on the serial port.
#   tests/boot/boot_example_floppy.sh VELDRA EXAMPLE_MACHINE
set -euo pipefail
veldra=${1:?usage: boot_example_floppy.sh VELDRA EXAMPLE_MACHINE}
example=${2:?usage: boot_example_floppy.sh VELDRA EXAMPLE_MACHINE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$example" "$work/machine"
rm -rf "$work/machine/.objects" "$work/machine/C/TAVEX/TVLOG.TXT"

"$veldra" --machine "$work/machine" --do "program 1, drive 1, create, yes, exit" > "$work/transcript.txt"
grep -q 'status: "実行メディアの作成が完了しました。"' "$work/transcript.txt" ||
  { cat "$work/transcript.txt"; echo "the creation did not succeed"; exit 1; }

image="$work/machine/media/floppy.img"
fsck=$(command -v fsck.fat || echo /sbin/fsck.fat)
"$fsck" -n "$image"
export MTOOLS_SKIP_CHECK=1
mdir -i "$image" -a ::/ | tee "$work/dir.txt"
grep -q "README" "$work/dir.txt" && grep -q "NOVUS" "$work/dir.txt"

timeout 60 qemu-system-i386 -display none -no-reboot -monitor none \
  -drive "file=$image,if=floppy,format=raw,readonly=on" -boot a \
  -serial "file:$work/serial.txt" &
emulator=$!
for _ in $(seq 1 100); do
  if grep -q "NOVUS-KT FD BOOT OK" "$work/serial.txt" 2>/dev/null; then
    kill "$emulator" 2>/dev/null || true
    echo "booted: $(tr -d '\r' < "$work/serial.txt")"
    exit 0
  fi
  sleep 0.5
done
kill "$emulator" 2>/dev/null || true
echo "the emulator printed no boot line:"; cat "$work/serial.txt" 2>/dev/null || true
exit 1
