#!/usr/bin/env bash
# The wall time of a whole creation of a USB medium whose data file holds a
# 512 MiB sector image, on the simulated machine (delays on the virtual
# clock), next to dd writing the same bytes with 64 KiB blocks to an image
# file; and the peak memory (max RSS) of veldra.
#   bench/create_usb.sh [BUILD_DIR]     (default build/default, built first)
# Needs GNU time (apt-get install -y time) and bc.
set -euo pipefail
build=${1:-build/default}
cmake --build "$build" --target veldra veldra-mkdata >/dev/null
veldra=$(realpath "$build/veldra")
mkdata=$(realpath "$build/tools/datafile/veldra-mkdata")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The program: an MBR and a 512 MiB partition of random bytes at sector 2048.
mib=512
truncate -s $(((mib + 2) * 1024 * 1024)) source.img
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
{ printf '\x00\xfe\xff\xff\x06\xfe\xff\xff'; printf "$(le32 2048)$(le32 $((mib * 2048)))"; } |
  dd of=source.img bs=1 seek=446 conv=notrunc status=none
printf '\x55\xaa' | dd of=source.img bs=1 seek=510 conv=notrunc status=none
head -c $((mib * 1024 * 1024)) /dev/urandom | dd of=source.img bs=1M seek=1 conv=notrunc status=none
"$mkdata" --from-disk source.img --name BENCH --media usb --stamp none BENCH.DAT
rm source.img

# A machine with the tool on C: and a 1 GiB stick at E:.
mkdir -p machine/C/TAVEX machine/media
mv BENCH.DAT machine/C/TAVEX/
printf '[FILE]\r\nFILES=1\r\nFILE1=BENCH.DAT\r\nFILENO=1\r\n' > machine/C/TAVEX/TAVEXMEDIA.INI
truncate -s 1G machine/media/stick.img
cat > machine/machine.ini <<'INI'
[system]
clock = 2026-01-01 00:00:00
[drive C]
root = C
[drive E]
type = removable
device = disk 1
[disk 1]
image = media/stick.img
INI

# GNU time (Debian's package "time") tells the peak memory of the process itself.
peak_rss() {  # runs a command; prints its wall seconds and max RSS in KiB
  /usr/bin/time -f "%e %M" -o rss.txt "$@" >/dev/null
  cat rss.txt
}
# The best of three runs of each, so that a hiccup of the machine counts less.
payload=$((mib * 1024 * 1024))
skip=$(($(stat -c %s machine/C/TAVEX/BENCH.DAT) - payload))
truncate -s 1G dd.img
veldra_s=999999 veldra_kib=0 dd_s=999999
for _ in 1 2 3; do
  sync
  read -r seconds kib < <(peak_rss "$veldra" --machine machine --do "create, yes, exit")
  [ "$(echo "$seconds < $veldra_s" | bc)" = 1 ] && veldra_s=$seconds
  [ "$kib" -gt "$veldra_kib" ] && veldra_kib=$kib
  sync
  start=$(date +%s.%N)
  dd if=machine/C/TAVEX/BENCH.DAT iflag=skip_bytes skip="$skip" of=dd.img bs=64K seek=16 \
    conv=notrunc status=none
  seconds=$(echo "$(date +%s.%N) - $start" | bc)
  [ "$(echo "$seconds < $dd_s" | bc)" = 1 ] && dd_s=$seconds
done
[ "$(grep -c . machine/C/TAVEX/TVLOG.TXT)" = 9 ] || { echo "a creation did not succeed"; exit 1; }

printf 'veldra: %.3f s (best of 3), max RSS %d KiB\n' "$veldra_s" "$veldra_kib"
printf 'dd:     %.3f s (best of 3)\n' "$dd_s"
printf 'ratio:  %.2f\n' "$(echo "$veldra_s / $dd_s" | bc -l)"
