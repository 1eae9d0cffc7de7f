# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by per_file_cpu.sh and small_files_wall.sh: one build or several side by side (say the
# one before a change and the one after) over trees of small files, encrypted and decrypted.
# The builds take turns in every round, the tree is checked after each pair of runs, and each
# figure is the median. The caller sets NAME, ROUNDS, SHAPES ("folders files-per-folder
# bytes-per-file" each) and HEADER, and defines measure (a command: one number) and show (files,
# KiB, direction, kolvik-cli, median: one table row); the arguments are
#   [scratch folder, default /dev/shm] kolvik-cli...
set -euo pipefail
shopt -s inherit_errexit
BASE=$(realpath "${1:-/dev/shm}")
shift || true
[ $# -gt 0 ] || set -- build/release/app/kolvik-cli
CLIS=()
for c in "$@"; do CLIS+=("$(realpath "$c")"); done
ROUNDS=${KOLVIK_BENCH_ROUNDS:-$ROUNDS}
WORK=$(mktemp -d "$BASE/kolvik-$NAME-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
PW=$WORK/pw
echo 'bench-wachtwoord' >"$PW"

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
echo "$HEADER"
echo '|---|---|---|---|'
for shape in "${SHAPES[@]}"; do
    read -r folders per bytes <<<"$shape"
    tree "$WORK/t" "$folders" "$per" "$bytes"
    rm -f "$WORK"/samples.*
    for _ in $(seq "$ROUNDS"); do
        for i in "${!CLIS[@]}"; do
            cli=${CLIS[$i]}
            measure "$cli" encrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.encrypt"
            measure "$cli" decrypt "$WORK/t" --password-file "$PW" >>"$WORK/samples.$i.decrypt"
            (cd "$WORK/t" && sha256sum --quiet -c "$WORK/sums") ||
                { echo "$NAME: $cli changed the data" >&2; exit 1; }
        done
    done
    for direction in encrypt decrypt; do
        for i in "${!CLIS[@]}"; do
            show $((folders * per)) $((bytes / 1024)) "$direction" "${CLIS[$i]}" \
                "$(median <"$WORK/samples.$i.$direction")"
        done
    done
done
echo
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"
echo "file system $(df -T "$WORK" | awk 'NR == 2 {print $2}'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
