#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A run stays on the mount it started on: a bind mount of a folder elsewhere and a small
# loop-mounted image inside the target are named and left, and nothing outside the tree
# changes, in either direction. Two FUSE mounts of one folder (bindfs), where neither lease nor
# lock holds across the mounts: runs through both at once leave every file as it was.
# Usage: mounts.sh PATH/TO/kolvik-cli   Exit 77: this machine cannot mount (no root, no loop).
set -u
cli=$(realpath "$1")
source "$(dirname "$(realpath "$0")")/../support/checks.sh"
[ "$(id -u)" -eq 0 ] || { echo "niet beschikbaar: geen root"; exit 77; }
scratch=$(mktemp -d)
source "$(dirname "$(realpath "$0")")/loopfs.sh"
release() {
    for m in "$scratch/t/elders" "$scratch/via1" "$scratch/via2"; do
        mountpoint -q "$m" && umount "$m"
    done
    loop_release
    rm -rf "$scratch"
}
trap release EXIT
mkdir -p "$scratch/t/sub" "$scratch/t/elders" "$scratch/buiten"
printf 'geheim' > "$scratch/pw"
printf 'eigen\n' > "$scratch/t/a.txt"
printf 'dieper\n' > "$scratch/t/sub/b.txt"
printf 'van buiten\n' > "$scratch/buiten/o.txt"
mount --bind "$scratch/buiten" "$scratch/t/elders" || { echo "niet beschikbaar: bind"; exit 77; }
loop_try ext4 "$scratch/usb.img" "$scratch/t/sub/usb" || { echo "$loop_why"; exit 77; }
printf 'op de stick\n' > "$scratch/t/sub/usb/u.txt"
outside() { (cd "$scratch" && cat buiten/o.txt t/sub/usb/u.txt && ls -A buiten t/sub/usb); }
before=$(outside)

for mode in encrypt decrypt; do
    "$cli" "$mode" "$scratch/t" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err"
    status=$?
    check "$mode: a tree with folders left ends with 1" [ "$status" -eq 1 ]
    check "$mode: the bind mount is named" \
        grep -qxF "$scratch/t/elders: andere schijf, overgeslagen" "$scratch/err"
    check "$mode: the image is named" \
        grep -qxF "$scratch/t/sub/usb: andere schijf, overgeslagen" "$scratch/err"
    check "$mode: nothing outside the tree changed" [ "$(outside)" = "$before" ]
done
check "the tree's own files went both ways" \
    [ "$(cat "$scratch/t/a.txt" "$scratch/t/sub/b.txt")" = "$(printf 'eigen\ndieper')" ]

# An earlier run's pair (an original beside its finished copy) is what two runs through two
# mounts fed on: each took the other's fresh copies for leftovers.
if command -v bindfs >/dev/null; then
    mkdir -p "$scratch/gedeeld/sub" "$scratch/via1" "$scratch/via2"
    for i in 1 2 3; do printf 'inhoud %s\n' $i > "$scratch/gedeeld/sub/f$i.txt"; done
    cp "$scratch/gedeeld/sub/f1.txt" "$scratch/gedeeld/paar.txt"
    "$cli" encrypt "$scratch/gedeeld/paar.txt" --password-file "$scratch/pw" 2>/dev/null
    cp "$scratch/gedeeld/sub/f1.txt" "$scratch/gedeeld/paar.txt"
    sums() { (cd "$scratch/gedeeld" && find . -type f -exec sha256sum {} + | sort); }
    before=$(sums)
    bindfs "$scratch/gedeeld" "$scratch/via1" && bindfs "$scratch/gedeeld" "$scratch/via2" || {
        echo "niet beschikbaar: bindfs"; exit 77; }
    "$cli" encrypt "$scratch/via1" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err1" &
    "$cli" decrypt "$scratch/via2" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err2"
    status2=$?
    wait $!
    status1=$?
    check "two mounts: both runs end with 1" [ "$status1$status2" = 11 ]
    check "two mounts: every file as it was" [ "$(sums)" = "$before" ]
    named() { grep -c ': kan niet bewaakt worden$' "$1"; }
    check "two mounts: each file of the run's kind named" \
        [ "$(named "$scratch/err1") $(named "$scratch/err2")" = "4 1" ]
    check "two mounts: the file system named once" [ "$(grep -c "^Let op: $scratch/via2 ligt op \
een gedeeld bestandssysteem (FUSE)" "$scratch/err2")" -eq 1 ]
fi
checks_end mounts
