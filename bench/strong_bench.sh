#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A tree of 2,000 files of 4 KiB, and one file of 512 MiB, encrypted by kolvik-cli in the
# described format and in the strong one, side by side in each of 3 rounds (medians, sync
# included; the strong runs overwrite their originals where TMPDIR's file system lets them). The
# last ratio takes away a strong run over one empty file, which is the key derivation paid once
# per run whatever the tree. Then the derivation on its own (bench_strong) and the peak memory
# of a strong run.
#   bench/strong_bench.sh [path/to/kolvik-cli] [path/to/bench_strong]
set -euo pipefail
CLI=$(realpath "${1:-build/release/app/kolvik-cli}")
BENCH=$(realpath "${2:-build/release/bench/bench_strong}")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kolvik-strong-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
echo 'bench-wachtwoord' >"$WORK/pw"
head -c 4096 /dev/urandom >"$WORK/seed"

tree() {
    rm -rf "$WORK/t"
    if [ "$SHAPE" = empty ]; then
        mkdir -p "$WORK/t" && : >"$WORK/t/leeg.dat" && sync
        return
    fi
    if [ "$SHAPE" = large ]; then
        mkdir -p "$WORK/t" && head -c 512M /dev/urandom >"$WORK/t/groot.dat" && sync
        return
    fi
    for d in $(seq 1 20); do
        mkdir -p "$WORK/t/map$d"
        for f in $(seq 1 100); do cp "$WORK/seed" "$WORK/t/map$d/bestand$f.dat"; done
    done
    sync
}
run() {  # seconds for one encryption run of a fresh tree
    tree
    local t0 t1
    t0=$(date +%s.%N)
    "$CLI" encrypt "$WORK/t" --password-file "$WORK/pw" "$@" >/dev/null
    sync
    t1=$(date +%s.%N)
    echo "$t1 - $t0" | bc -l
}
median() { sort -g | sed -n 2p; }
derivation=$("$BENCH" --benchmark_filter=BM_MasterKey --benchmark_format=csv 2>/dev/null |
    awk -F, '/BM_MasterKey/ {print $3 / 1000}')
printf '| data | described (s) | strong (s) | strong / described | the same less a strong run over one empty file |\n'
printf '|---|---|---|---|---|\n'
for shape in small large; do
    # Each round runs the three side by side, so that a busy moment weighs on all of them.
    rounds=$(for _ in 1 2 3; do
        d=$(SHAPE=$shape run)
        s=$(SHAPE=$shape run --strong)
        e=$(SHAPE=empty run --strong)
        echo "$d $s $e"
    done)
    described=$(awk '{print $1}' <<<"$rounds" | median)
    strong=$(awk '{print $2}' <<<"$rounds" | median)
    fixed=$(awk '{print $3}' <<<"$rounds" | median)
    label='2,000 x 4 KiB, 20 folders'
    [ "$shape" = large ] && label='512 MiB file'
    printf '| %s | %.2f | %.2f | %.2f | %.2f |\n' "$label" "$described" "$strong" \
        "$(echo "$strong / $described" | bc -l)" "$(echo "($strong - $fixed) / $described" | bc -l)"
done
printf '\na strong run over one empty file (the derivation and the fixed cost): %.2f s\n' "$fixed"
printf 'the one derivation (Argon2id, 256 MiB, 3 passes) alone: %.3f s\n' "$derivation"
SHAPE=empty tree
peak=$(/usr/bin/time -f %M "$CLI" encrypt "$WORK/t" --password-file "$WORK/pw" --strong 2>&1 >/dev/null |
    tail -1)
printf 'peak memory of that strong run: %d MiB\n' $((peak / 1024))
