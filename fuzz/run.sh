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
    targets=(data_file_header profile_rules manifest operator_script machine_description)
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
    echo "== $t: ${seconds}s"
    if ! "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -artifact_prefix="$build/artifacts/$t/" -print_final_stats=1 "${dict[@]}" \
        "$work/$t" "$src/fuzz/corpus/$t" >"$build/logs/$t.log" 2>&1; then
        echo "$t: FAILED; see $build/logs/$t.log and $build/artifacts/$t/"
        status=1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/logs/$t.log" || true
done
exit $status
