#!/usr/bin/env bash
# Times whole encrypt and decrypt runs of kolvik-cli against `cp -r` + `sync` of the same data,
# and against the tools a user might pick instead (ccrypt, gpg --symmetric, openssl enc), side
# by side in one run on one file system. Prints a Markdown table: seconds, ratio to cp, and
# the peak memory of the tool itself.
#   bench/run_bench.sh [path/to/kolvik-cli] [scratch folder]
#   (KOLVIK_BENCH_MIB=8 shrinks the large file for a quick try of the script itself.)
#
# Every timed command is followed by `sync`, inside the timing, so that each tool's output is
# on disk as kolvik's is. gpg and openssl write a new file; removing the original is timed too.
# cp and kolvik rows are the median of a few rounds; the other tools run once.
set -euo pipefail
shopt -s inherit_errexit
CLI=$(realpath "${1:-build/release/app/kolvik-cli}")
BASE=${2:-${TMPDIR:-/tmp}}
for tool in /usr/bin/time ccrypt gpg openssl bc; do
    command -v "$tool" >/dev/null || { echo "run_bench.sh: $tool is missing (scripts/build-packages)" >&2; exit 1; }
done
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
row() {  # data tool seconds cp-seconds
    local kib user sys
    read -r kib user sys <"$WORK/peak"
    rows+=("$(printf '| %s | %s | %.2f s | %.2fx | %.2f s | %.1f MiB |' "$1" "$2" "$3" "$(ratio "$3" "$4")" \
        "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)")")
}
same_data() {  # folder: fails the run when a round trip changed the data
    (cd "$1" && sha256sum --quiet -c "$WORK/sums.$2") || { echo "run_bench.sh: $3 changed the data" >&2; exit 1; }
}

mkdir -p "$WORK/large" "$WORK/small"
head -c $((${KOLVIK_BENCH_MIB:-512} << 20)) /dev/urandom >"$WORK/large/data.bin"
for d in $(seq -w 1 20); do
    mkdir -p "$WORK/small/map$d"
    for f in $(seq -w 1 100); do head -c 4096 /dev/urandom >"$WORK/small/map$d/file$f.txt"; done
done
(cd "$WORK/large" && sha256sum data.bin) >"$WORK/sums.large"
(cd "$WORK/small" && find . -type f -exec sha256sum {} +) >"$WORK/sums.small"
sync

# Samples: one line "seconds KiB user sys" per round; the row shows the round of median time.
sample() {  # file seconds
    echo "$2 $(cat "$WORK/peak")" >>"$1"
}
median_row() {  # data tool samples cp-seconds
    sort -n "$3" | sed -n "$(( ($(wc -l <"$3") + 1) / 2 ))p" | cut -d' ' -f2- >"$WORK/peak"
    row "$1" "$2" "$(sort -n "$3" | sed -n "$(( ($(wc -l <"$3") + 1) / 2 ))p" | cut -d' ' -f1)" "$4"
}

# cp and kolvik take turns for a few rounds (KOLVIK_BENCH_ROUNDS, default 3), so that a burst of
# load elsewhere on the machine hits one round rather than one tool; each row is the median.
# Then ccrypt in place on the same folder, once.
compare() {  # label key folder
    local label=$1 key=$2 dir=$3 cp_s s round
    rm -f "$WORK"/samples.*
    for round in $(seq "${KOLVIK_BENCH_ROUNDS:-3}"); do
        sample "$WORK/samples.cp" "$(timed '' cp -r "$dir" "$WORK/copy")"
        rm -rf "$WORK/copy"
        sample "$WORK/samples.enc" "$(timed '' "$CLI" encrypt "$dir" --password-file "$PW")"
        sample "$WORK/samples.dec" "$(timed '' "$CLI" decrypt "$dir" --password-file "$PW")"
        same_data "$dir" "$key" kolvik-cli
    done
    cp_s=$(sort -n "$WORK/samples.cp" | sed -n "$(( (${KOLVIK_BENCH_ROUNDS:-3} + 1) / 2 ))p" | cut -d' ' -f1)
    last_cp=$cp_s
    median_row "$label" 'cp -r + sync' "$WORK/samples.cp" "$cp_s"
    median_row "$label" 'kolvik-cli encrypt' "$WORK/samples.enc" "$cp_s"
    median_row "$label" 'kolvik-cli decrypt' "$WORK/samples.dec" "$cp_s"

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

last_cp=0
compare "${KOLVIK_BENCH_MIB:-512} MiB file" large "$WORK/large"
compare_file "${KOLVIK_BENCH_MIB:-512} MiB file" "$WORK/large/data.bin" "$last_cp"
compare '2,000 x 4 KiB, 20 folders' small "$WORK/small"

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"
echo "file system $(df -T "$WORK" | awk 'NR == 2 {print $2}') ($(df "$WORK" | awk 'NR == 2 {print $6}')), kolvik-cli $CLI"
echo
echo '| data | tool | time | ratio to cp -r + sync | CPU (user + sys) | peak memory |'
echo '|---|---|---|---|---|---|'
printf '%s\n' "${rows[@]}"
