#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Power cuts, the step beyond kill -9 (which keeps the kernel's page cache): kolvik-cli runs in a
# small virtual machine (qemu, TCG) on a file system in a raw disk image, and the machine is
# killed at a random moment of the run, losing whatever its kernel had not yet written. The image
# is then mounted here (its journal replays) and every original's bytes must be in a plain file
# or in a .kol that decrypts. Runs encrypt and decrypt in turn.
# Usage: powercut.sh PATH/TO/kolvik-cli FS CUTS [SEED] [--careless]
#   FS: ext4, xfs or btrfs. POWERCUT_ARGS: more kolvik-cli arguments (the file format), for the
#   encryption runs in the machine and for making the encrypted tree here.
#   --careless: instead of kolvik-cli, a copy-rename-delete without fsync (busybox cp, mv, rm):
#   it must lose files under the same cuts, or the sweep proves nothing.
# Exit 0: nothing lost; 1: files lost or the sweep broke; 77: it cannot run here (reason printed).
set -u
cli=$(realpath "$1") fs=$2 cuts=$3
RANDOM=${4:-$$}
careless=0
[ "${5:-}" = --careless ] && careless=1
args=${POWERCUT_ARGS:-}

name=powercut
# The strong format's key derivation takes 256 MiB on its own.
memory=768
source "$(dirname "$(realpath "$0")")/machine.sh"
add_modules ${module[$fs]}
cat > "$root/config" <<EOF
FS=$fs OPTIONS=${options[$fs]} CARELESS=$careless ARGS='$args'
EOF
write_init <<'EOF'
mount -t $FS -o $OPTIONS /dev/vda /mnt || { echo MACHINE-NOMOUNT; poweroff -f; }
echo MACHINE-START
if [ "$CARELESS" = 1 ]; then
    # What a careless program does: copy, rename the copy into place, delete; no fsync.
    find /mnt/boom -type f | while IFS= read -r f; do
        cp "$f" "$f.tmp" && mv "$f.tmp" "$f.kopie" && rm "$f"
    done
    echo "MACHINE-END 0"
else
    # The format is chosen when encrypting; decryption recognises it by itself.
    if [ "$pcdir" = encrypt ]; then FORMAT=$ARGS; else FORMAT=; fi
    # Said once the run has made its first file: a strong run derives its key before that.
    begun() { until [ -n "$(find /mnt/boom -type f "$@" | head -n 1)" ]; do sleep 0.05; done
              echo MACHINE-BEGUN; }
    if [ "$pcdir" = encrypt ]; then begun -name '*.kol' & else begun ! -name '*.kol' & fi
    watcher=$!
    kolvik-cli "$pcdir" /mnt/boom --password-file /pw $FORMAT >/dev/null 2>/tmp/err
    status=$?
    kill $watcher 2>/dev/null; wait $watcher 2>/dev/null
    echo "MACHINE-END $status"
    head -5 /tmp/err
fi
umount /mnt
sync
poweroff -f
EOF

make_tree 100
image plain
[ $careless = 1 ] || image encrypted encrypt

# check IMAGE: the plain hashes of every original must all be found again.
check() {
    mount -o loop -t "$fs" "$1" "$mnt" || { echo "cannot mount $1 after the cut"; return 1; }
    local opened=$work/open i=0
    rm -rf "$opened"
    while IFS= read -r -d '' kol; do
        i=$((i + 1)); mkdir -p "$opened/$i"; cp "$kol" "$opened/$i/"
    done < <(find "$mnt/boom" -type f -name '*.kol' -print0)
    [ $i -eq 0 ] || "$program" decrypt "$opened" --password-file "$pw" >/dev/null 2>&1
    { hashes "$mnt/boom"; [ $i -eq 0 ] || hashes "$opened"; } | sort > "$work/found"
    umount "$mnt"
    lost=$(comm -23 "$work/expected" "$work/found" | wc -l)
}

# A run to the end sets the window the cuts are spread over, and must lose nothing itself.
failed=0 lost_total=0
declare -A spread=()
for mode in encrypt decrypt; do
    [ $careless = 1 ] && [ $mode = decrypt ] && continue
    src=$work/plain.img; [ $mode = decrypt ] && src=$work/encrypted.img
    cp --sparse=always "$src" "$work/cut.img"
    boot "$work/cut.img" $mode
    spread[$mode]=$ran
    check "$work/cut.img"
    echo "clean ${mode}ion: ${ran} us, ${said:-no end}, $lost lost"
    { [ "$said" = "MACHINE-END 0" ] && [ "$lost" -eq 0 ]; } || failed=1
done
[ $failed -eq 0 ] || { echo "powercut $fs: the clean runs failed"; exit 1; }

# On a busy machine a boot can take many times its 3.5 s: past the budget no new cut is started
# (and the summary says how many were made), so that the test runner never kills the sweep with
# an image still mounted.
budget=${POWERCUT_BUDGET:-200} made=0
for k in $(seq 1 "$cuts"); do
    ((SECONDS < budget)) || { echo "time budget of $budget s reached: $made of $cuts cuts made"; break; }
    made=$k
    mode=encrypt src=$work/plain.img
    [ $careless = 0 ] && ((k % 2 == 0)) && mode=decrypt src=$work/encrypted.img
    cp --sparse=always "$src" "$work/cut.img"
    delay=$(((RANDOM * 32768 + RANDOM) % spread[$mode]))
    boot "$work/cut.img" $mode $delay 2>/dev/null  # not the shell's word on the kill
    check "$work/cut.img" || { failed=1; continue; }
    echo "cut $k ($mode after $delay us${said:+, it had ended}): $lost of $files lost"
    lost_total=$((lost_total + lost))
    [ "$lost" -eq 0 ] || failed=1
done
what=kolvik-cli; [ $careless = 1 ] && what="careless copier"
echo "powercut $fs ($what${args:+ $args}): $made cuts over $files files, $lost_total lost"
[ $failed -eq 0 ]
