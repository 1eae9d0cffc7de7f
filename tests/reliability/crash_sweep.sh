#!/usr/bin/env bash
# kill -9 of kolvik-cli at random moments of folder runs, encrypting and decrypting in turn.
# After each kill a rerun of the same mode must finish the tree: no original may stand beside its
# copy any more (the rerun recognises the copies the killed run finished and deletes their
# originals), and a full decryption must give back every original byte for byte: no file lost.
# Kolvik's own scratch files are hidden ".kolvik-tijdel-*": a rerun removes those of a killed run.
# Any other "tijdel*" in the tree is Kolvik's too, except the user's own a/tijdel.enc.
# Usage: crash_sweep.sh PATH/TO/kolvik-cli COUNT [SEED]
# The trees live in $TMPDIR; fs_sweep.sh points it at each file system in turn.
set -u
cli=$1 count=$2
RANDOM=${3:-$$}
source "$(dirname "$0")/sandbox.sh"
failed=0 pairs=0 late=0
fail() { echo "FAILED: $*" >&2; failed=$((failed + 1)); }
kcli() { "$program" "$1" "$2" --password-file "$pw" >/dev/null 2>&1; }
now_us() { echo $(($(date +%s%N) / 1000)); }
hashes() { (cd "$1" && find . -type f -exec sha256sum {} + | sort -k2); }

# A few hundred small files in folders, and a few of a few MiB.
plain=$work/plain
for d in a b c d e f g h; do
    mkdir -p "$plain/$d/sub"
    for i in $(seq 1 20); do head -c $((RANDOM % 4000)) /dev/urandom > "$plain/$d/f$i.txt"; done
    for i in $(seq 1 15); do head -c $((RANDOM % 300)) /dev/urandom > "$plain/$d/sub/g$i"; done
done
for i in 1 2 3; do head -c $(((i << 20) + RANDOM)) /dev/urandom > "$plain/c/groot$i.bin"; done
# A user's file that carries the name older versions gave their scratch file: it is the user's.
head -c 3000 /dev/urandom > "$plain/a/tijdel.enc"
hashes "$plain" > "$work/plain.sums"
files=$(wc -l < "$work/plain.sums")

# A clean run each way sets the window the kills are spread over.
# They must transform every file: a file system on which Kolvik leaves files alone would
# otherwise pass every check below without a single copy published.
clean_run() {  # clean_run MODE: fails with the program's own summary
    "$program" "$1" "$work/tree" --password-file "$pw" > "$work/clean.out" 2>&1 && return
    fail "clean ${1}ion: exit $?"; sed 's/^/    /' "$work/clean.out" | head -20 >&2
}
cp -a "$plain" "$work/tree"
start=$(now_us); clean_run encrypt; spread_encrypt=$(($(now_us) - start))
encrypted=$(find "$work/tree" -type f -name '*.kol' | wc -l)
unencrypted=$(find "$work/tree" -type f ! -name '*.kol' | wc -l)
((encrypted == files && unencrypted == 0)) ||
    fail "clean encryption: $encrypted of $files files encrypted, $unencrypted other files"
cp -a "$work/tree" "$work/encrypted"
start=$(now_us); clean_run decrypt; spread_decrypt=$(($(now_us) - start))
[ "$(hashes "$work/tree")" = "$(cat "$work/plain.sums")" ] || fail "clean round trip"
echo "clean runs: encryption $spread_encrypt us, decryption $spread_decrypt us"
if ((failed > 0)); then
    # Kills of runs that cannot finish when left alone would only repeat the same failure.
    echo "crash sweep: 0 kills over $files files (clean runs failed), $failed failures"
    exit 1
fi

# Scratch files of Kolvik's: "tijdel*" of older versions (never the user's own file) and hidden
# ".kolvik-tijdel-*" of this one, which a rerun clears away; also in the encrypted form a rerun
# would give either if it took it for a user's file.
scratch_left() {  # scratch_left LABEL
    local rel
    while IFS= read -r rel; do
        fail "$1: scratch file $rel left"
    done < <(cd "$work/tree" && find . \( -name 'tijdel*' ! -path ./a/tijdel.enc \
             ! -path ./a/tijdel_enc.kol \) -o -name '*kolvik-tijdel-*')
}

# After the final decryption every original is back, byte for byte, and nothing else is there.
verify_tree() {  # verify_tree LABEL
    local label=$1 rel
    if grep -vxFf <(hashes "$work/tree") "$work/plain.sums" | grep -q .; then
        fail "$label: originals missing or changed"
    fi
    while read -r _ rel; do
        [ -n "$rel" ] && fail "$label: unexpected $rel"
    done < <(hashes "$work/tree" | grep -vxFf "$work/plain.sums")
}

for k in $(seq 1 "$count"); do
    if ((k % 2)); then mode=encrypt from=$plain spread=$spread_encrypt
    else mode=decrypt from=$work/encrypted spread=$spread_decrypt; fi
    rm -rf "$work/tree"; cp -a "$from" "$work/tree"
    delay=$(((RANDOM * 32768 + RANDOM) % spread))
    "$program" $mode "$work/tree" --password-file "$pw" >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    kill -9 $pid 2>/dev/null
    { wait $pid; } 2>/dev/null; [ $? -eq 137 ] || late=$((late + 1))
    label="kill $k ($mode after ${delay} us)"
    kcli $mode "$work/tree" || fail "$label: rerun"
    scratch_left "$label"
    # Whatever is left in the form the run started from stands beside its finished copy.
    if [ $mode = encrypt ]; then left=$(find "$work/tree" -type f ! -name '*.kol' | wc -l)
    else left=$(find "$work/tree" -type f -name '*.kol' | wc -l); fi
    if ((left > 0)); then fail "$label: $left originals beside their copies"; pairs=$((pairs + left)); fi
    if [ $mode = encrypt ]; then kcli decrypt "$work/tree" || fail "$label: final decryption"; fi
    verify_tree "$label"
done

echo "crash sweep: $count kills over $files files ($((count - late)) during a run)," \
     "originals beside their copies after the reruns $pairs, $failed failures"
[ $failed -eq 0 ]
