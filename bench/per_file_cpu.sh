#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Processor time per small file of whole kolvik-cli runs in the described format, for one build
# or several side by side (say the one before a change and the one after): trees of 2,000 files
# of 1 KiB and of 4 KiB in 20 folders, encrypted and decrypted. The builds take turns in every
# round (KOLVIK_BENCH_ROUNDS, default 7), and each figure is the median. CPU is user + system of
# kolvik-cli alone (getrusage of the child). The strong format is left to bench_strong's
# BM_SmallFile: its one key derivation per run scatters by more than its files cost.
#   bench/per_file_cpu.sh [scratch folder, default /dev/shm] kolvik-cli...
set -euo pipefail
shopt -s inherit_errexit
BASE=$(realpath "${1:-/dev/shm}")
shift || true
[ $# -gt 0 ] || set -- build/release/app/kolvik-cli
CLIS=()
for c in "$@"; do CLIS+=("$(realpath "$c")"); done
ROUNDS=${KOLVIK_BENCH_ROUNDS:-7}
FILES=2000
WORK=$(mktemp -d "$BASE/kolvik-cpu-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
PW=$WORK/pw
echo 'bench-wachtwoord' >"$PW"

cpu() {  # kolvik-cli arguments...: its user + system seconds
    # Before and after: a launcher may have counted children of its own into the process.
    python3 -c 'import resource, subprocess, sys
def spent():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
before = spent()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
print(spent() - before)' "$@"
}
tree() {  # folder bytes-per-file
    local d
    rm -rf "$1"
    for d in $(seq -w 1 20); do
        mkdir -p "$1/map$d"
        head -c $((FILES * $2 / 20)) /dev/urandom |
            (cd "$1/map$d" && split -b "$2" -d -a 3 --additional-suffix=.txt - file)
    done
    (cd "$1" && find . -type f -exec sha256sum {} +) >"$WORK/sums"
}
median() { sort -g | sed -n "$(((ROUNDS + 1) / 2))p"; }
echo "| files | direction | kolvik-cli | CPU per file (µs) |"
echo '|---|---|---|---|'
for bytes in 1024 4096; do
    tree "$WORK/t" "$bytes"
    rm -f "$WORK"/samples.*
    for _ in $(seq "$ROUNDS"); do
        for i in "${!CLIS[@]}"; do
            cli=${CLIS[$i]}
            cpu "$cli" encrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.encrypt"
            cpu "$cli" decrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.decrypt"
            (cd "$WORK/t" && sha256sum --quiet -c "$WORK/sums") ||
                { echo "per_file_cpu.sh: $cli changed the data" >&2; exit 1; }
        done
    done
    for direction in encrypt decrypt; do
        for i in "${!CLIS[@]}"; do
            s=$(median <"$WORK/samples.$i.$direction")
            printf '| %d x %d KiB | %s | %s | %.1f |\n' "$FILES" $((bytes / 1024)) "$direction" \
                "${CLIS[$i]}" "$(echo "$s * 1000000 / $FILES" | bc -l)"
        done
    done
done
echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"
echo "file system $(df -T "$WORK" | awk 'NR == 2 {print $2}'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
