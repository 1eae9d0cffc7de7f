#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The order in which kolvik-cli makes its copies durable, read from strace of real runs. Before
# the unlink of every original: (a) the copy's data was synced (fsync of the copy, or a syncfs)
# after its last write, and (b) its name was made durable (fsync of its folder, or a syncfs)
# after the naming. An original whose finished copy an interrupted run left beside it is deleted
# without a new copy: that copy and its folder must then have been synced after it was opened.
# Usage: durability_order.sh PATH/TO/kolvik-cli
set -u
cli=$1
command -v strace >/dev/null || { echo "strace is missing" >&2; exit 1; }
source "$(dirname "$0")/sandbox.sh"

t=$work/tree
mkdir -p "$t/sub" "$t/alone" "$t/many"
for i in $(seq 1 12); do head -c $((i * 300)) /dev/urandom > "$t/f$i.txt"; done
for i in $(seq 1 5); do head -c $((i * 7)) /dev/urandom > "$t/sub/g$i"; done
# Enough small files in one group for their originals to be deleted by several threads, and
# files of at least 8 MiB, synced on their own, alone in a folder and beside small files.
for i in $(seq 1 60); do head -c $((i * 50)) /dev/urandom > "$t/many/m$i.txt"; done
for f in alone/big.bin big.iso; do head -c $((9 << 20)) /dev/urandom > "$t/$f"; done
printf 'los' > "$work/single.txt"

# check_order LABEL EXPECTED-DELETIONS EXPECTED-RESUMED ARGS...
check_order() {
    local label=$1 expected=$2 resumedExpected=$3; shift 3
    # LeakSanitizer cannot run under ptrace; the sanitizer build checks leaks elsewhere.
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -qq -o "$work/trace" -y \
        -e trace=openat,write,fsync,fdatasync,syncfs,linkat,renameat2,unlinkat,close \
        "$work/bin/kolvik-cli" "$@" --password-file "$work/pw" >/dev/null 2>&1 ||
        { fail "$label: kolvik-cli failed"; return; }
    awk -v label="$label" -v expected="$expected" -v resumedExpected="$resumedExpected" '
        function fd(s) { sub(/^[a-z0-9_]+\(/, "", s); return s + 0 }
        function inside(s) { s = substr(s, index(s, "<") + 1); return substr(s, 1, index(s, ">") - 1) }
        function bad(msg) { print "FAILED: " label ": " msg > "/dev/stderr"; failures++ }
        # The other form of a name in this tree: f1.txt <-> f1_txt.kol, g1 <-> g1_.kol.
        function otherForm(path,   dir, n) {
            dir = path; sub(/\/[^\/]*$/, "", dir); n = substr(path, length(dir) + 2)
            if (n ~ /_\.kol$/) return dir "/" substr(n, 1, length(n) - 5)
            if (n ~ /\.kol$/) { n = substr(n, 1, length(n) - 4); sub(/_[^_]*$/, ".&", n); sub(/\._/, ".", n); return dir "/" n }
            if (n ~ /\./) { sub(/\./, "_", n); return dir "/" n ".kol" }
            return dir "/" n "_.kol"
        }
        # Calls of threads running at once come in two pieces; they are joined again.
        { pid = $1; sub(/^[0-9]+ +/, "") }
        / <unfinished \.\.\.>$/ { sub(/ <unfinished \.\.\.>$/, ""); held[pid] = $0; next }
        /^<\.\.\. [a-z0-9_]+ resumed>/ { sub(/^<\.\.\. [a-z0-9_]+ resumed>/, ""); $0 = held[pid] $0 }
        /^openat\([0-9]/ && / = [0-9]/ {
            split($0, q, "\"")
            if (q[3] ~ /O_TMPFILE/) { f = fd(substr(q[3], index(q[3], " = ") + 3)); copyFd[f] = 1
                lastWrite[f] = 0; synced[f] = 0; source[f] = current[inside(q[1])] }
            else if (q[3] ~ /O_NOFOLLOW/ && q[3] !~ /O_DIRECTORY/) {
                current[inside(q[1])] = inside(q[1]) "/" q[2]; opened[inside(q[1]) "/" q[2]] = NR }
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
            if (!(o in named)) {
                c = otherForm(o); d = c; sub(/\/[^\/]*$/, "", d)
                if (!(c in opened)) bad("deleted without a copy: " o)
                else if (folderSync[c] < opened[c] && lastSyncfs < opened[c])
                    bad("deleted before its earlier copy was synced: " o)
                else if (folderSync[d] < opened[c] && lastSyncfs < opened[c])
                    bad("deleted before the earlier copy'"'"'s name was synced: " o)
                else resumed++
                deleted++; next
            }
            if (copySynced[o] > copyWrite[o]) byFsync++
            else if (lastSyncfs > copyWrite[o]) bySyncfs++
            else bad("deleted before its copy was synced: " o)
            if (folderSync[copyDir[o]] <= named[o] && lastSyncfs <= named[o])
                bad("deleted before the copy'"'"'s name was synced: " o)
            deleted++
        }
        END {
            if (deleted != expected) bad("deleted " deleted + 0 " originals, expected " expected)
            if (resumed != resumedExpected) bad("finished " resumed + 0 " earlier copies, expected " resumedExpected)
            printf "%s: %d originals, data synced by fsync %d, by syncfs %d; named before synced %d; earlier copies %d\n",
                label, deleted, byFsync, bySyncfs, namedFirst, resumed
            exit failures > 0
        }' "$work/trace" || failed=$((failed + 1))
}

check_order "encrypt folder" 79 0 encrypt "$t"
cp -a "$t" "$work/encrypted"
check_order "decrypt folder" 79 0 decrypt "$t"
check_order "encrypt single file" 1 0 encrypt "$work/single.txt"
check_order "decrypt single file" 1 0 decrypt "$work/single_txt.kol"

# Interrupted runs: some originals still stand beside their finished copies, the large one too.
earlier="f1_txt.kol f2_txt.kol f7_txt.kol sub/g1_.kol big_iso.kol alone/big_bin.kol many/m9_txt.kol"
cp -a "$t" "$work/half-encrypted"
for f in $earlier; do cp -p "$work/encrypted/$f" "$work/half-encrypted/$f"; done
check_order "encrypt after an interrupted run" 79 7 encrypt "$work/half-encrypted"
cp -a "$work/encrypted" "$work/half-decrypted"
for f in f1.txt f2.txt f7.txt sub/g1 big.iso alone/big.bin many/m9.txt; do cp -p "$t/$f" "$work/half-decrypted/$f"; done
check_order "decrypt after an interrupted run" 79 7 decrypt "$work/half-decrypted"
fails_end "durability order"
