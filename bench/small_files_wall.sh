#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wall time of whole kolvik-cli runs over many small files, for one build or several side by
# side (the one before a change and the one after): 20,000 files of 1 KiB in 100 folders and
# 2,000 of 4 KiB in 20, encrypted and decrypted, each run followed by `sync` inside its timing
# as in run_bench.sh. The builds take turns in every round (KOLVIK_BENCH_ROUNDS, default 5);
# each figure is the median.
#   bench/small_files_wall.sh [scratch folder, default /dev/shm] kolvik-cli...
NAME=small_files_wall ROUNDS=5 HEADER="| files | direction | kolvik-cli | wall (s) |"
SHAPES=("100 200 1024" "20 100 4096")
measure() {  # command...: its wall seconds, sync included
    local t0
    sync
    t0=$(date +%s.%N)
    "$@" >/dev/null
    sync
    echo "$(date +%s.%N) - $t0" | bc -l
}
show() { printf '| %d x %d KiB | %s | %s | %.3f |\n' "$@"; }
source "$(dirname "$(realpath "$0")")/side_by_side.sh"
