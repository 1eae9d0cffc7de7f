#!/usr/bin/env bash
# Times whole encrypt and decrypt runs against `cp -r` + `sync` of the same data, side by side
# in one run on one file system, and prints the ratios and the peak memory.
#   bench/run_bench.sh [path/to/kolvik-cli] [scratch folder]
set -euo pipefail
CLI=${1:-build/release/app/kolvik-cli}
BASE=${2:-${TMPDIR:-/tmp}}
WORK=$(mktemp -d "$BASE/kolvik-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# A store of its own, so a PIN code of the user's never stops the runs.
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
echo 'bench-wachtwoord' >"$WORK/pw"
kolvik() { "$CLI" "$1" "$2" --password-file "$WORK/pw"; }

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
    enc_s=$(timed kolvik encrypt "$dir")
    dec_s=$(timed kolvik decrypt "$dir")
    printf '%-22s cp+sync %6.2fs  encrypt %6.2fs (%.2fx)  decrypt %6.2fs (%.2fx)\n' "$name" \
        "$cp_s" "$enc_s" "$(echo "$enc_s / $cp_s" | bc -l)" "$dec_s" "$(echo "$dec_s / $cp_s" | bc -l)"
}

report "512 MiB file" "$WORK/large"
report "2000 x 4 KiB, 20 maps" "$WORK/small"
pw=(--password-file "$WORK/pw")
printf 'peak memory (512 MiB file): encrypt %s KiB, decrypt %s KiB, cp %s KiB\n' \
    "$(peak_kib "$CLI" encrypt "$WORK/large" "${pw[@]}")" "$(peak_kib "$CLI" decrypt "$WORK/large" "${pw[@]}")" \
    "$(peak_kib cp -r "$WORK/large" "$WORK/copy")"
