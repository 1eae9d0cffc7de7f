#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# kill -9 of kolvik-cli at random moments of folder runs, encrypting and decrypting in turn.
# After each kill a rerun of the same mode must finish the tree (no original left beside its
# copy), leave no scratch file of Kolvik's, and a full decryption must give back every original
# byte for byte. The user's own a/tijdel.enc carries an old scratch name and must stay.
# Usage: crash_sweep.sh PATH/TO/kolvik-cli COUNT [SEED] [strong]
# With "strong" every encryption writes the strong format.
# The trees live in $TMPDIR; fs_sweep.sh points it at each file system in turn.
set -u
cli=$1 count=$2 format=${4:-}
RANDOM=${3:-$$}
source "$(dirname "$0")/sandbox.sh"
pairs=0 late=0
# The options of a run in MODE: decryption recognises the format by itself.
opts() { [ "$1" = encrypt ] && [ "$format" = strong ] && echo --strong; }
kcli() { "$program" "$1" "$2" --password-file "$pw" $(opts "$1") >/dev/null 2>&1; }
now_us() { echo $(($(date +%s%N) / 1000)); }

# A few hundred small files in folders, a few of a few MiB, and the user's tijdel.enc.
plain=$work/plain
for d in a b c d e f g h; do
    mkdir -p "$plain/$d/sub"
    for i in $(seq 1 20); do head -c $((RANDOM % 4000)) /dev/urandom > "$plain/$d/f$i.txt"; done
    for i in $(seq 1 15); do head -c $((RANDOM % 300)) /dev/urandom > "$plain/$d/sub/g$i"; done
done
for i in 1 2 3; do head -c $(((i << 20) + RANDOM)) /dev/urandom > "$plain/c/groot$i.bin"; done
head -c 3000 /dev/urandom > "$plain/a/tijdel.enc"
hashes "$plain" > "$work/plain.sums"
files=$(wc -l < "$work/plain.sums")

# A clean run each way sets the window the kills are spread over. It must transform every file:
# on a file system where Kolvik left files alone, every check below would pass without a copy.
# A strong run changes nothing while it derives its key, a second or more: its kills are timed
# from the first file it starts to write (a new name, or a scratch file).
first_change() {  # first_change MODE PID
    local new=(-name '*.kol' -o -name '*kolvik-tijdel-*')
    [ "$1" = decrypt ] && new=(! -name '*.kol')
    while kill -0 "$2" 2>/dev/null &&
          [ -z "$(find "$work/tree" -type f \( "${new[@]}" \) -print -quit)" ]; do
        sleep 0.005
    done
}
clean_run() {  # clean_run MODE: sets spread, and begins (0 in the described format)
    local start=$(now_us) pid rc
    "$program" "$1" "$work/tree" --password-file "$pw" $(opts "$1") > "$work/clean.out" 2>&1 &
    pid=$!
    begins=0
    if [ "$format" = strong ]; then first_change "$1" $pid; begins=$(($(now_us) - start)); fi
    wait $pid; rc=$?
    ((rc == 0)) || { fail "clean ${1}ion: exit $rc"; head -20 "$work/clean.out" >&2; }
    spread=$(($(now_us) - start))
}
cp -a "$plain" "$work/tree"
clean_run encrypt; spread_encrypt=$spread begins_encrypt=$begins
[ "$(find "$work/tree" -type f -name '*.kol' | wc -l)/$(find "$work/tree" -type f ! -name '*.kol' | wc -l)" = "$files/0" ] ||
    fail "clean encryption did not encrypt every file"
cp -a "$work/tree" "$work/encrypted"
clean_run decrypt; spread_decrypt=$spread begins_decrypt=$begins
[ "$(hashes "$work/tree")" = "$(cat "$work/plain.sums")" ] || fail "clean round trip"
echo "clean runs: encryption $spread_encrypt us, decryption $spread_decrypt us" \
     "(first change after $begins_encrypt us, $begins_decrypt us)"
# Kills of runs that cannot finish when left alone would only repeat the same failure.
((failed == 0)) || { echo "crash sweep: 0 kills over $files files (clean runs failed), $failed failures"; exit 1; }

for k in $(seq 1 "$count"); do
    if ((k % 2)); then mode=encrypt from=$plain spread=$((spread_encrypt - begins_encrypt))
    else mode=decrypt from=$work/encrypted spread=$((spread_decrypt - begins_decrypt)); fi
    ((spread > 0)) || spread=1
    rm -rf "$work/tree"; cp -a "$from" "$work/tree"
    delay=$(((RANDOM * 32768 + RANDOM) % spread))
    "$program" $mode "$work/tree" --password-file "$pw" $(opts $mode) >/dev/null 2>&1 &
    pid=$!
    [ "$format" = strong ] && first_change $mode $pid
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    kill -9 $pid 2>/dev/null
    { wait $pid; } 2>/dev/null; [ $? -eq 137 ] || late=$((late + 1))
    label="kill $k ($mode after ${delay} us)"
    kcli $mode "$work/tree" || fail "$label: rerun"
    # Scratch files: "tijdel*" of older versions and ".kolvik-tijdel-*" of this one, in either form.
    while IFS= read -r rel; do fail "$label: scratch file $rel left"; done < <(cd "$work/tree" &&
        find . \( -name 'tijdel*' ! -path ./a/tijdel.enc ! -path ./a/tijdel_enc.kol \) -o -name '*kolvik-tijdel-*')
    # Whatever is left in the form the run started from stands beside its finished copy.
    left=$(find "$work/tree" -type f $([ $mode = encrypt ] && echo '!') -name '*.kol' | wc -l)
    ((left == 0)) || { fail "$label: $left originals beside their copies"; pairs=$((pairs + left)); }
    [ $mode = encrypt ] && { kcli decrypt "$work/tree" || fail "$label: final decryption"; }
    # Every original back, byte for byte, and nothing else.
    [ "$(hashes "$work/tree")" = "$(cat "$work/plain.sums")" ] || fail "$label: the tree differs from the originals"
done

echo "crash sweep: $count kills over $files files ($((count - late)) during a run)," \
     "originals beside their copies after the reruns $pairs, $failed failures"
[ $failed -eq 0 ]
