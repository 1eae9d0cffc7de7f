#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Processor time per small file of whole kolvik-cli runs in the described format, for one build
# or several side by side (say the one before a change and the one after): trees of 2,000 files
# of 1 KiB and of 4 KiB in 20 folders, encrypted and decrypted. The builds take turns in every
# round (KOLVIK_BENCH_ROUNDS, default 7), and each figure is the median. CPU is user + system of
# kolvik-cli alone (getrusage of the child). The strong format is left to bench_strong's
# BM_SmallFile: its one key derivation per run scatters by more than its files cost.
#   bench/per_file_cpu.sh [scratch folder, default /dev/shm] kolvik-cli...
NAME=per_file_cpu ROUNDS=7 HEADER="| files | direction | kolvik-cli | CPU per file (µs) |"
SHAPES=("20 100 1024" "20 100 4096")
measure() {  # kolvik-cli arguments...: its user + system seconds
    # Before and after: a launcher may have counted children of its own into the process.
    python3 -c 'import resource, subprocess, sys
def spent():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
before = spent()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
print(spent() - before)' "$@"
}
show() {  # files KiB direction kolvik-cli seconds
    printf '| %d x %d KiB | %s | %s | %.1f |\n' "$1" "$2" "$3" "$4" "$(echo "$5 * 1000000 / $1" | bc -l)"
}
source "$(dirname "$(realpath "$0")")/side_by_side.sh"
