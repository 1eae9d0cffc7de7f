#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A run stays on the mount it started on: a bind mount of a folder elsewhere and a small
# loop-mounted image inside the target are named and left, and nothing outside the tree
# changes, in either direction. Two FUSE mounts of one folder (bindfs; sshfs), where neither
# lease nor lock holds across the mounts: runs through both at once leave every file as it was,
# and what another machine writes meanwhile stays.
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
    # The status of a run that left something is kolvik-cli's own rule (tests/cli).
    "$cli" "$mode" "$scratch/t" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err"
    check "$mode: the bind mount is named" \
        grep -qxF "$scratch/t/elders: andere schijf, overgeslagen" "$scratch/err"
    check "$mode: the image is named" \
        grep -qxF "$scratch/t/sub/usb: andere schijf, overgeslagen" "$scratch/err"
    check "$mode: nothing outside the tree changed" [ "$(outside)" = "$before" ]
done
check "the tree's own files went both ways" \
    [ "$(cat "$scratch/t/a.txt" "$scratch/t/sub/b.txt")" = "$(printf 'eigen\ndieper')" ]

# Two mounts of one folder, through which runs go at once, over an earlier run's pair (an
# original beside its finished copy): each run took the other's fresh copies for leftovers.
# Meanwhile "the other machine" appends to a file in the folder itself.
two_mounts() {  # KIND MOUNT-FUNCTION
    local kind=$1 mount_one=$2 src="$scratch/gedeeld"
    rm -rf "$src" && mkdir -p "$src/sub" "$scratch/via1" "$scratch/via2"
    for i in 1 2 3; do printf 'inhoud %s\n' $i > "$src/sub/f$i.txt"; done
    cp "$src/sub/f1.txt" "$src/paar.txt"
    "$cli" encrypt "$src/paar.txt" --password-file "$scratch/pw" 2>/dev/null
    cp "$src/sub/f1.txt" "$src/paar.txt"
    sums() { (cd "$src" && find . -type f ! -name f3.txt -exec sha256sum {} + | sort); }
    local before expected writer
    before=$(sums) expected=$(printf 'inhoud 3\n'; seq -f 'regel %g' 40)
    "$mount_one" "$src" "$scratch/via1" && "$mount_one" "$src" "$scratch/via2" || {
        echo "niet beschikbaar: $kind"; return; }
    (for n in $(seq 40); do echo "regel $n" >> "$src/sub/f3.txt"; sleep 0.02; done) &
    writer=$!
    "$cli" encrypt "$scratch/via1" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err1" &
    "$cli" decrypt "$scratch/via2" --password-file "$scratch/pw" >/dev/null 2>"$scratch/err2"
    wait $! "$writer"
    umount "$scratch/via1" "$scratch/via2"
    check "$kind: every file as it was" [ "$(sums)" = "$before" ]
    check "$kind: the other side's writes all there" [ "$(cat "$src/sub/f3.txt")" = "$expected" ]
    # The file being written to may be left as changed since the run began, whichever check
    # comes to it first.
    named() { grep -cE ': (kan niet bewaakt worden|gewijzigd na het kiezen van de modus)$' "$1"; }
    check "$kind: each file of the run's kind named" \
        [ "$(named "$scratch/err1") $(named "$scratch/err2")" = "4 1" ]
    check "$kind: the file system named once" [ "$(grep -c "^Let op: $scratch/via2 ligt op \
een gedeeld bestandssysteem (FUSE)" "$scratch/err2")" -eq 1 ]
}
bindfs_mount() { command -v bindfs >/dev/null && bindfs "$1" "$2"; }
# sshfs as over the network, its SFTP server started on this machine instead of through ssh.
printf '#!/bin/sh\nexec /usr/lib/openssh/sftp-server\n' > "$scratch/sftp" && chmod +x "$scratch/sftp"
sshfs_mount() {
    command -v sshfs >/dev/null && [ -x /usr/lib/openssh/sftp-server ] &&
        sshfs -o ssh_command="$scratch/sftp" "localhost:$1" "$2"
}
two_mounts bindfs bindfs_mount
two_mounts sshfs sshfs_mount
checks_end mounts
