#!/usr/bin/env bash
# Times whole encrypt and decrypt runs against `cp -r` + `sync` of the same data, side by side
# in one run on one file system, and prints the ratios and the peak memory.
#   bench/run_bench.sh [path/to/walk_bench] [scratch folder]
set -euo pipefail
BENCH=${1:-build/release/bench/walk_bench}
BASE=${2:-${TMPDIR:-/tmp}}
WORK=$(mktemp -d "$BASE/kolvik-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

now() { date +%s.%N; }
# Seconds taken by a command, after the page cache has been flushed of earlier writes.
timed() { sync; local t0; t0=$(now); "$@" >/dev/null; echo "$(now) - $t0" | bc -l; }
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

mkdir -p "$WORK/large" "$WORK/small"
head -c $((512 << 20)) /dev/urandom >"$WORK/large/data.bin"
for d in $(seq -w 1 20); do
    mkdir -p "$WORK/small/map$d"
    for f in $(seq -w 1 100); do head -c 4096 /dev/urandom >"$WORK/small/map$d/file$f.txt"; done
done
sync

report() {  # name folder
    local name=$1 dir=$2
    local cp_s enc_s dec_s
    cp_s=$(timed bash -c "cp -r '$dir' '$WORK/copy' && sync")
    rm -rf "$WORK/copy"
    enc_s=$(timed "$BENCH" encrypt "$dir")
    dec_s=$(timed "$BENCH" decrypt "$dir")
    printf '%-22s cp+sync %6.2fs  encrypt %6.2fs (%.2fx)  decrypt %6.2fs (%.2fx)\n' "$name" \
        "$cp_s" "$enc_s" "$(echo "$enc_s / $cp_s" | bc -l)" "$dec_s" "$(echo "$dec_s / $cp_s" | bc -l)"
}

report "512 MiB file" "$WORK/large"
report "2000 x 4 KiB, 20 maps" "$WORK/small"
printf 'peak memory: encrypt %s KiB, decrypt %s KiB (512 MiB file)\n' \
    "$(peak_kib "$BENCH" encrypt "$WORK/large")" "$(peak_kib "$BENCH" decrypt "$WORK/large")"
