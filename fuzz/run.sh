#!/usr/bin/env bash
# Builds the fuzz targets and runs each in turn, one job at a time:
#   fuzz/run.sh [SECONDS [TARGET...]]     (default: 120 seconds, every target)
# Everything it makes stays in build/fuzz: the corpus libFuzzer grows
# (corpus/TARGET), seeds that are not text (data files built by veldra-mkdata,
# NUL-separated profile inputs), crash inputs (artifacts/TARGET) and logs.
set -euo pipefail

src="$(cd "$(dirname "$0")/.." && pwd)"
build="$src/build/fuzz"
seconds="${1:-120}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(data_file_header profile_rules manifest operator_script machine_description
        fat_volume inspect)
fi

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$src" -B "$build" -G Ninja -DVELDRA_FUZZ=ON \
        -DVELDRA_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target fuzzers veldra-mkdata

work="$build/corpus"
for t in "${targets[@]}"; do mkdir -p "$work/$t" "$build/artifacts/$t" "$build/logs"; done

# Data files: the examples, and those manifest seeds that need no host files.
mkdir -p "$work/data_file_header"
for manifest in "$src"/examples/manifests/*.manifest "$src"/fuzz/corpus/manifest/*.manifest; do
    out="$work/data_file_header/$(basename "$manifest" .manifest).dat"
    "$build/tools/datafile/veldra-mkdata" "$manifest" "$out" 2>/dev/null || true
done
# veldra-inspect reads the same files.
mkdir -p "$work/inspect"
cp "$work"/data_file_header/*.dat "$work/inspect/" 2>/dev/null || true

# Media for the FAT layer: small FAT12 and FAT16 volumes made by mkfs.fat, with
# files, a long name and a subdirectory, whole or behind an MBR. The target
# takes a medium as its size in sectors (4 bytes, little-endian) and its first
# bytes, the rest being zeros; 64 KiB hold everything these media have.
mkdir -p "$work/fat_volume"
rm -f "$work"/fat_volume/*.img # whole images, as the target once took them
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)
seed_files() {
    printf 'NOVUS-KT\r\n' >"$build/seed-readme.txt"
    head -c 5000 /dev/urandom >"$build/seed-data.bin"
    MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$build/seed-readme.txt" ::README.TXT
    MTOOLS_SKIP_CHECK=1 mmd -i "$1" ::BOOT
    MTOOLS_SKIP_CHECK=1 mcopy -i "$1" "$build/seed-data.bin" "::BOOT/A long file name.bin"
}
as_medium_input() { # IMAGE NAME
    local n=$(($(stat -c %s "$1") / 512))
    printf "$(printf '\\x%02x' $((n & 255)) $((n >> 8 & 255)) $((n >> 16 & 255)) $((n >> 24)))" \
        >"$work/fat_volume/$2"
    head -c 65536 "$1" >>"$work/fat_volume/$2"
    rm -f "$1"
}
if command -v mcopy >/dev/null && [ -x "$mkfs" ]; then
    for kib in 64 160; do
        img="$build/fat12-$kib.img"
        rm -f "$img"
        "$mkfs" -C -n SEED "$img" $kib >/dev/null
        seed_files "$img"
        as_medium_input "$img" "fat12-$kib"
    done
    img="$build/fat16.img"
    rm -f "$img"
    "$mkfs" -C -F 16 -s 1 -n SEED "$img" 2200 >/dev/null
    seed_files "$img"
    as_medium_input "$img" fat16
    # An MBR with one FAT12 partition (type 0x01) from sector 8.
    img="$build/mbr-fat12.img"
    rm -f "$img"
    truncate -s $((8 * 512 + 128 * 1024)) "$img"
    "$mkfs" -n SEED --offset 8 "$img" 128 >/dev/null
    printf '\x00\xfe\xff\xff\x01\xfe\xff\xff\x08\x00\x00\x00\x00\x01\x00\x00' |
        dd of="$img" bs=1 seek=446 conv=notrunc status=none
    printf '\x55\xaa' | dd of="$img" bs=1 seek=510 conv=notrunc status=none
    MTOOLS_SKIP_CHECK=1 mcopy -i "$img@@4096" "$build/seed-readme.txt" ::README.TXT
    as_medium_input "$img" mbr-fat12
    rm -f "$build/seed-readme.txt" "$build/seed-data.bin"
fi

# A path whose double-byte characters end in 0x5C, which is no separator.
printf 'C:\\\x83\x5C\\A\x83\x5C.DAT' >"$work/data_file_header/dbcs-path"

# Profile inputs: a buffer-size byte, then section, key and value, then the file.
mkdir -p "$work/profile_rules"
n=0
for ini in "$src"/fuzz/corpus/profile_rules/*.ini; do
    while IFS='|' read -r section key value; do
        { printf '\x40%s\0%s\0%s\0' "$section" "$key" "$value"; cat "$ini"; } \
            >"$work/profile_rules/seed-$n"
        n=$((n + 1))
    done <<'EOF'
PROGRAM|FILENO|3
 drive |letter|B
app|Key|"q"
New|k|v
EOF
done
printf '\x08App\0key\0no file' >"$work/profile_rules/no-file"

status=0
for t in "${targets[@]}"; do
    dict=()
    [ -f "$src/fuzz/dict/$t.dict" ] && dict=(-dict="$src/fuzz/dict/$t.dict")
    seeds=()
    [ -d "$src/fuzz/corpus/$t" ] && seeds=("$src/fuzz/corpus/$t")
    echo "== $t: ${seconds}s"
    if ! "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -artifact_prefix="$build/artifacts/$t/" -print_final_stats=1 "${dict[@]}" \
        "$work/$t" "${seeds[@]}" >"$build/logs/$t.log" 2>&1; then
        echo "$t: FAILED; see $build/logs/$t.log and $build/artifacts/$t/"
        status=1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/logs/$t.log" || true
done
exit $status
