#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times whole encrypt and decrypt runs of kolvik-cli against `cp -r` + `sync` of the same data,
# and against the tools a user might pick instead (ccrypt, gpg --symmetric, openssl enc), side
# by side in one run on one file system. Prints a Markdown table: seconds, ratio to cp with
# kolvik's goal, CPU time and the peak memory of the tool itself; then the system calls per
# file of kolvik-cli and of cp -r on the tree of 2,000 files (strace -f -c).
#   bench/run_bench.sh [path/to/kolvik-cli] [scratch folder]
#   (KOLVIK_BENCH_MIB=8 shrinks the large file for a quick try of the script itself.)
#
# Every timed command is followed by `sync`, inside the timing, so that each tool's output is
# on disk as kolvik's is. gpg and openssl write a new file; removing the original is timed too.
# cp and kolvik rows are the median of 5 rounds; the other tools run once. A few minutes.
set -euo pipefail
shopt -s inherit_errexit
CLI=$(realpath "${1:-build/release/app/kolvik-cli}")
BASE=$(realpath "${2:-${TMPDIR:-/tmp}}")
for tool in /usr/bin/time ccrypt gpg openssl bc strace; do
    command -v "$tool" >/dev/null || { echo "run_bench.sh: $tool is missing (scripts/build-packages)" >&2; exit 1; }
done
LOAD=$(cut -d' ' -f1-3 /proc/loadavg)
WORK=$(mktemp -d "$BASE/kolvik-bench-XXXXXX")
export GNUPGHOME=$WORK/gnupg
cleanup() {
    gpgconf --kill gpg-agent 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -m 700 "$GNUPGHOME"
# A store of its own, so a PIN code of the user's never stops the runs.
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
PW=$WORK/pw
echo 'bench-wachtwoord' >"$PW"
GPG=(gpg --batch --yes --quiet --pinentry-mode loopback --passphrase-file "$PW")
SSL=(openssl enc -aes-256-ctr -pbkdf2 -pass "file:$PW")

now() { date +%s.%N; }
# Seconds for a command plus an optional follow-up (shell text) and sync; starts on a clean
# page cache of earlier writes. The command's own peak memory in KiB and its user and system
# CPU seconds land in $WORK/peak; its error output in $WORK/err.
timed() {
    local then=$1
    shift
    sync
    local t0
    t0=$(now)
    /usr/bin/time -f '%M %U %S' -o "$WORK/peak" "$@" >/dev/null 2>"$WORK/err" ||
        { cat "$WORK/err" >&2; echo "run_bench.sh: failed: $*" >&2; exit 1; }
    [ -z "$then" ] || eval "$then"
    sync
    echo "$(now) - $t0" | bc -l
}
ratio() { echo "$1 / $2" | bc -l; }

rows=()
row() {  # data tool seconds cp-seconds [goal: the largest ratio to cp kolvik aims at]
    local kib user sys r goal=''
    read -r kib user sys <"$WORK/peak"
    r=$(ratio "$3" "$4")
    if [ -n "${5:-}" ]; then
        goal="$5x, $( (( $(echo "$r <= $5" | bc -l) )) && echo met || echo 'NOT met')"
    fi
    rows+=("$(printf '| %s | %s | %.2f s | %.2fx | %s | %.2f s | %.1f MiB |' "$1" "$2" "$3" "$r" "$goal" \
        "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)")")
}
same_data() {  # folder: fails the run when a round trip changed the data
    (cd "$1" && sha256sum --quiet -c "$WORK/sums.$2") || { echo "run_bench.sh: $3 changed the data" >&2; exit 1; }
}

tree() {  # folder folders files-per-folder bytes-per-file
    local d
    for d in $(seq -w 1 "$2"); do
        mkdir -p "$1/map$d"
        head -c $(($3 * $4)) /dev/urandom |
            (cd "$1/map$d" && split -b "$4" -d -a 3 --additional-suffix=.txt - file)
    done
}
mkdir -p "$WORK/large"
head -c $((${KOLVIK_BENCH_MIB:-512} << 20)) /dev/urandom >"$WORK/large/data.bin"
tree "$WORK/small" 20 100 4096
tree "$WORK/many" 100 200 1024
(cd "$WORK/large" && sha256sum data.bin) >"$WORK/sums.large"
(cd "$WORK/small" && find . -type f -exec sha256sum {} +) >"$WORK/sums.small"
(cd "$WORK/many" && find . -type f -exec sha256sum {} +) >"$WORK/sums.many"
sync

# Samples: one line "seconds KiB user sys" per round; the row shows the round of median time.
sample() {  # file seconds
    echo "$2 $(cat "$WORK/peak")" >>"$1"
}
median_row() {  # data tool samples cp-seconds [goal]
    sort -n "$3" | sed -n "$(( ($(wc -l <"$3") + 1) / 2 ))p" | cut -d' ' -f2- >"$WORK/peak"
    row "$1" "$2" "$(sort -n "$3" | sed -n "$(( ($(wc -l <"$3") + 1) / 2 ))p" | cut -d' ' -f1)" "$4" "${5:-}"
}

# cp and kolvik take turns for a few rounds (KOLVIK_BENCH_ROUNDS, default 5), so that a burst of
# load elsewhere on the machine hits one round rather than one tool; each row is the median.
# Then ccrypt in place on the same folder, once.
ROUNDS=${KOLVIK_BENCH_ROUNDS:-5}
compare() {  # label key folder goal
    local label=$1 key=$2 dir=$3 goal=$4 cp_s s round
    rm -f "$WORK"/samples.*
    for round in $(seq "$ROUNDS"); do
        sample "$WORK/samples.cp" "$(timed '' cp -r "$dir" "$WORK/copy")"
        rm -rf "$WORK/copy"
        sample "$WORK/samples.enc" "$(timed '' "$CLI" encrypt "$dir" --password-file "$PW")"
        sample "$WORK/samples.dec" "$(timed '' "$CLI" decrypt "$dir" --password-file "$PW")"
        same_data "$dir" "$key" kolvik-cli
    done
    cp_s=$(sort -n "$WORK/samples.cp" | sed -n "$(( (ROUNDS + 1) / 2 ))p" | cut -d' ' -f1)
    last_cp=$cp_s
    median_row "$label" 'cp -r + sync' "$WORK/samples.cp" "$cp_s"
    median_row "$label" 'kolvik-cli encrypt' "$WORK/samples.enc" "$cp_s" "$goal"
    median_row "$label" 'kolvik-cli decrypt' "$WORK/samples.dec" "$cp_s" "$goal"

    s=$(timed '' ccrypt -e -r -f -q -k "$PW" "$dir")
    row "$label" 'ccrypt -e (in place)' "$s" "$cp_s"
    s=$(timed '' ccrypt -d -r -f -q -k "$PW" "$dir")
    row "$label" 'ccrypt -d (in place)' "$s" "$cp_s"
    same_data "$dir" "$key" ccrypt
}
compare_file() {  # label file cp-seconds
    local label=$1 f=$2 cp_s=$3 s
    s=$(timed "rm '$f'" "${GPG[@]}" --symmetric --output "$f.gpg" "$f")
    row "$label" 'gpg --symmetric (new file, rm original)' "$s" "$cp_s"
    s=$(timed "rm '$f.gpg'" "${GPG[@]}" --decrypt --output "$f" "$f.gpg")
    row "$label" 'gpg --decrypt (new file, rm original)' "$s" "$cp_s"
    same_data "$(dirname "$f")" large gpg

    s=$(timed "rm '$f'" "${SSL[@]}" -e -in "$f" -out "$f.enc")
    row "$label" 'openssl enc -aes-256-ctr -pbkdf2 (new file, rm original)' "$s" "$cp_s"
    s=$(timed "rm '$f.enc'" "${SSL[@]}" -d -in "$f.enc" -out "$f")
    row "$label" 'openssl enc -d (new file, rm original)' "$s" "$cp_s"
    same_data "$(dirname "$f")" large openssl
}

# System calls per file over whole runs on the tree of 2,000 files, every thread counted.
calls() {  # command...: prints the calls of the run divided by 2,000
    strace -f -c -o "$WORK/strace" "$@" >/dev/null 2>"$WORK/err" ||
        { cat "$WORK/err" >&2; echo "run_bench.sh: failed under strace: $*" >&2; exit 1; }
    awk '$NF == "total" {printf "%.1f", $4 / 2000}' "$WORK/strace"
}
count_calls() {
    local enc dec cp
    cp=$(calls cp -r "$WORK/small" "$WORK/copy")
    rm -rf "$WORK/copy"
    enc=$(calls "$CLI" encrypt "$WORK/small" --password-file "$PW")
    dec=$(calls "$CLI" decrypt "$WORK/small" --password-file "$PW")
    same_data "$WORK/small" small 'kolvik-cli under strace'
    calls_rows=("| kolvik-cli encrypt | $enc |" "| kolvik-cli decrypt | $dec |" "| cp -r | $cp |")
}

last_cp=0
compare "${KOLVIK_BENCH_MIB:-512} MiB file" large "$WORK/large" 1.25
compare_file "${KOLVIK_BENCH_MIB:-512} MiB file" "$WORK/large/data.bin" "$last_cp"
compare '2,000 x 4 KiB, 20 folders' small "$WORK/small" 2
compare '20,000 x 1 KiB, 100 folders' many "$WORK/many" 1.5
count_calls

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"
echo "file system $(df -T "$WORK" | awk 'NR == 2 {print $2}') ($(df "$WORK" | awk 'NR == 2 {print $6}')), kolvik-cli $CLI"
echo "load average before the runs: $LOAD"
echo
echo "| data | tool | time | ratio to cp -r + sync | kolvik's goal | CPU (user + sys) | peak memory |"
echo '|---|---|---|---|---|---|---|'
printf '%s\n' "${rows[@]}"
echo
echo '| 2,000 files of 4 KiB | system calls per file (strace -f -c) |'
echo '|---|---|'
printf '%s\n' "${calls_rows[@]}"
