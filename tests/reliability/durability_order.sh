#!/usr/bin/env bash
# The order in which kolvik-cli makes its copies durable, read from strace of real runs. For
# every original it deletes:
#   (a) the copy's data was synced (fsync of the copy, or a syncfs of its file system) after the
#       copy's last write and before the original's unlink;
#   (b) the copy's name was made durable (fsync of its folder, or a syncfs) after the naming and
#       before the original's unlink.
# Small copies are named before their group's syncfs: a crash in between leaves the original
# beside a copy that may be incomplete, never a lost file, because the original is unlinked
# strictly after that sync. Usage: durability_order.sh PATH/TO/kolvik-cli
set -u
cli=$1
command -v strace >/dev/null || { echo "strace is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_STATE_HOME=$work/home/state
mkdir -p "$HOME" "$work/bin"
cp "$cli" "$work/bin/kolvik-cli"
printf 'Geheim123\n' > "$work/pw"
failed=0

t=$work/tree
mkdir -p "$t/sub" "$t/alone"
for i in $(seq 1 12); do head -c $((i * 300)) /dev/urandom > "$t/f$i.txt"; done
for i in $(seq 1 5); do head -c $((i * 7)) /dev/urandom > "$t/sub/g$i"; done
# At least 8 MiB: synced on its own, in a folder of its own and in one with small files.
head -c $((9 << 20)) /dev/urandom > "$t/alone/big.bin"
head -c $((9 << 20)) /dev/urandom > "$t/big.iso"
printf 'los' > "$work/single.txt"

# check_order LABEL EXPECTED-DELETIONS ARGS...: runs kolvik-cli under strace and checks (a), (b).
check_order() {
    local label=$1 expected=$2; shift 2
    strace -f -qq -o "$work/trace" -y \
        -e trace=openat,write,fsync,fdatasync,syncfs,linkat,renameat2,unlinkat,close \
        "$work/bin/kolvik-cli" "$@" --password-file "$work/pw" >/dev/null 2>&1 || {
        echo "FAILED: $label: kolvik-cli failed" >&2; failed=$((failed + 1)); return; }
    awk -v label="$label" -v expected="$expected" '
        function fd(s) { sub(/^[a-z0-9_]+\(/, "", s); return s + 0 }
        function inside(s) { s = substr(s, index(s, "<") + 1); return substr(s, 1, index(s, ">") - 1) }
        function bad(msg) { print "FAILED: " label ": " msg > "/dev/stderr"; failures++ }
        { sub(/^[0-9]+ +/, "") }
        /^openat\([0-9]/ && / = [0-9]/ {
            split($0, q, "\"")
            if (q[3] ~ /O_TMPFILE/) { f = fd(substr(q[3], index(q[3], " = ") + 3)); copyFd[f] = 1
                lastWrite[f] = 0; synced[f] = 0; source[f] = current[inside(q[1])] }
            else if (q[3] ~ /O_NOFOLLOW/ && q[3] !~ /O_DIRECTORY/) current[inside(q[1])] = inside(q[1]) "/" q[2]
            next
        }
        /^(write|fdatasync|fsync)\(/ {
            f = fd($0)
            if (f in copyFd) { if ($0 ~ /^write/) { lastWrite[f] = NR; synced[f] = 0 } else synced[f] = NR }
            else if ($0 ~ /^fsync/) folderSync[inside($0)] = NR
            next
        }
        /^syncfs\(/ && / = 0$/ { lastSyncfs = NR; next }
        /^close\(/ { delete copyFd[fd($0)]; next }
        /^linkat\(/ && / = 0$/ {
            split($0, q, "\""); f = fd(q[1])
            if (!(f in copyFd)) next
            o = source[f]; named[o] = NR; copyWrite[o] = lastWrite[f]; copySynced[o] = synced[f]
            copyDir[o] = inside(q[3]); if (synced[f] == 0) namedFirst++
            next
        }
        /^renameat2\(/ { bad("a named temporary file; this check follows unnamed ones only"); next }
        /^unlinkat\(/ && / = 0$/ {
            split($0, q, "\""); o = inside(q[1]) "/" q[2]
            if (!(o in named)) { bad("deleted without a named copy: " o); next }
            if (copySynced[o] > copyWrite[o]) byFsync++
            else if (lastSyncfs > copyWrite[o]) bySyncfs++
            else bad("deleted before its copy was synced: " o)
            if (folderSync[copyDir[o]] <= named[o] && lastSyncfs <= named[o])
                bad("deleted before the copy'"'"'s name was synced: " o)
            deleted++
        }
        END {
            if (deleted != expected) bad("deleted " deleted + 0 " originals, expected " expected)
            printf "%s: %d originals, data synced by fsync %d, by syncfs %d; named before synced %d\n",
                label, deleted, byFsync, bySyncfs, namedFirst
            exit failures > 0
        }' "$work/trace" || failed=$((failed + 1))
}

check_order "encrypt folder" 19 encrypt "$t"
check_order "decrypt folder" 19 decrypt "$t"
check_order "encrypt single file" 1 encrypt "$work/single.txt"
check_order "decrypt single file" 1 decrypt "$work/single_txt.kol"
[ $failed -eq 0 ] && echo "durability order: all runs pass"
[ $failed -eq 0 ]
