#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wall time of whole kolvik-cli runs over many small files, for one build or several side by
# side (the one before a change and the one after): 20,000 files of 1 KiB in 100 folders and
# 2,000 of 4 KiB in 20, encrypted and decrypted, each run followed by `sync` inside its timing
# as in run_bench.sh. The builds take turns in every round (KOLVIK_BENCH_ROUNDS, default 5);
# each figure is the median.
#   bench/small_files_wall.sh [scratch folder, default /dev/shm] kolvik-cli...
set -euo pipefail
shopt -s inherit_errexit
BASE=$(realpath "${1:-/dev/shm}")
shift || true
[ $# -gt 0 ] || set -- build/release/app/kolvik-cli
CLIS=()
for c in "$@"; do CLIS+=("$(realpath "$c")"); done
ROUNDS=${KOLVIK_BENCH_ROUNDS:-5}
WORK=$(mktemp -d "$BASE/kolvik-wall-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
PW=$WORK/pw
echo 'bench-wachtwoord' >"$PW"

seconds() {  # command...: its wall seconds, sync included
    local t0
    sync
    t0=$(date +%s.%N)
    "$@" >/dev/null
    sync
    echo "$(date +%s.%N) - $t0" | bc -l
}
tree() {  # folder folders files-per-folder bytes-per-file
    local d
    rm -rf "$1"
    for d in $(seq -w 1 "$2"); do
        mkdir -p "$1/map$d"
        head -c $(($3 * $4)) /dev/urandom |
            (cd "$1/map$d" && split -b "$4" -d -a 3 --additional-suffix=.txt - file)
    done
    (cd "$1" && find . -type f -exec sha256sum {} +) >"$WORK/sums"
}
median() { sort -g | sed -n "$(((ROUNDS + 1) / 2))p"; }
echo "| files | direction | kolvik-cli | wall (s) |"
echo '|---|---|---|---|'
for shape in "100 200 1024" "20 100 4096"; do
    read -r folders per bytes <<<"$shape"
    tree "$WORK/t" "$folders" "$per" "$bytes"
    rm -f "$WORK"/samples.*
    for _ in $(seq "$ROUNDS"); do
        for i in "${!CLIS[@]}"; do
            cli=${CLIS[$i]}
            seconds "$cli" encrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.encrypt"
            seconds "$cli" decrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.decrypt"
            (cd "$WORK/t" && sha256sum --quiet -c "$WORK/sums") ||
                { echo "small_files_wall.sh: $cli changed the data" >&2; exit 1; }
        done
    done
    for direction in encrypt decrypt; do
        for i in "${!CLIS[@]}"; do
            printf '| %d x %d KiB | %s | %s | %.3f |\n' $((folders * per)) $((bytes / 1024)) \
                "$direction" "${CLIS[$i]}" "$(median <"$WORK/samples.$i.$direction")"
        done
    done
done
echo
echo "$(nproc) cores, file system $(df -T "$WORK" | awk 'NR == 2 {print $2}'),"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
