#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What of a file's plain text stays readable on the device, on each file system in a small
# image (loopfs.sh). Files of 4 KiB lines, each line a marker of its own, are written, synced
# and found on the raw image first; then, after each run, sync and unmount, the raw image is
# searched for them again:
# - a strong encryption (kolvik-cli encrypt --strong) must leave no marker, except where the
#   file system writes anew rather than over old blocks (Btrfs): there every marker may stay,
#   and the run must say so on standard error;
# - the decryption of a damaged strong file is refused and leaves no marker either, though its
#   chunks before the damage did verify;
# - the described format only hides a file from a casual look: its markers stay.
# The password file, the program and its home stay outside the image.
# Usage: remanence.sh PATH/TO/kolvik-cli [FS...]   FS: ext4 xfs btrfs ntfs-3g exfat
# Exit 0: all passed; 1: one failed; 77: none failed, but one could not run here.
set -u
cli=$(realpath "$1")
shift
systems=("$@")
[ ${#systems[@]} -gt 0 ] || systems=(ext4 xfs btrfs ntfs-3g exfat)
scratch=$(mktemp -d)
source "$(dirname "$(realpath "$0")")/loopfs.sh"
KOLVIK_PROGRAM_TMPDIR=$scratch TMPDIR=$scratch source "$(dirname "$(realpath "$0")")/sandbox.sh"
# Btrfs discards freed blocks by default, which a sparse image turns into holes: as on a device
# that keeps them (most USB sticks, many SSDs), it is told not to.
loop_mounter[btrfs]="mount -t btrfs -o nodiscard"
trap 'loop_release; chmod -R u+rwx "$work" "$own" 2>/dev/null; rm -rf "$work" "$own" "$scratch"' EXIT

# marked FILE TAG LINES: LINES lines of 4 KiB, "KOLVIK-MARKER-TAG-NUMBER" padded with dots.
marked() {
    awk -v tag="$2" -v n="$3" 'BEGIN {
        pad = sprintf("%4096s", ""); gsub(/ /, ".", pad); pad = substr(pad, 1, 4095 - 21 - length(tag))
        for (i = 0; i < n; i++) printf "KOLVIK-MARKER-%s-%06d%s\n", tag, i, pad }' > "$1"
}
# The distinct markers of TAG on the raw image.
on_image() { grep -a -o "KOLVIK-MARKER-$1-[0-9]\{6\}" "$image" | sort -u | wc -l; }
# settled NAME PATTERN: NAME set to the distinct markers of PATTERN on the image as the device
# holds it (what is cached written out, the file system taken off it); then mounted again, or
# failed and released.
settled() {
    sync
    loop_unmount
    printf -v "$1" %s "$(on_image "$2")"
    loop_remount "$fs" "$folder" || { fail "$fs: $loop_why"; loop_release; return 1; }
}
kcli() { "$program" "$@" --password-file "$pw" >"$scratch/out" 2>"$scratch/err"; }
told() { grep -q "ligt op een bestandssysteem dat oude blokken bewaart ($1)" "$scratch/err"; }

# A damaged strong file, made once outside the images: its last chunk does not verify.
damaged=$scratch/damaged
mkdir -p "$damaged"
marked "$damaged/groot.txt" D 6144  # 24 MiB: most of it reaches the disk before the damage
kcli encrypt "$damaged/groot.txt" --strong || fail "the damaged file could not be made"
kol=$damaged/groot_txt.kol
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(-100, 2); b = f.read(1); f.seek(-100, 2); f.write(bytes([b[0] ^ 0xFF]))' "$kol"

skipped=0
for fs in "${systems[@]}"; do
    image=$scratch/$fs.img folder=$scratch/$fs
    loop_try "$fs" "$image" "$folder"
    case $? in
        77) echo "$fs: $loop_why"; skipped=1; loop_release; continue ;;
        1) fail "$fs: $loop_why"; loop_release; continue ;;
    esac
    keeps=0; [ "$fs" = btrfs ] && keeps=1
    mkdir "$folder/sterk" "$folder/beschreven" "$folder/kapot"
    for f in 1 2 3 4; do marked "$folder/sterk/s$f.txt" "S$f" 256; done
    for f in 1 2; do marked "$folder/beschreven/b$f.txt" "B$f" 256; done
    cp "$kol" "$folder/kapot/"
    settled before '[SB][1-4]' || continue
    # The check checks: every marker is on the device before a run.
    ((before == 1024 + 512)) || fail "$fs: not every marker reached the image: $before of 1536"

    # Each run's markers are counted before the next run, whose copies could reuse the blocks.
    kcli decrypt "$folder/kapot" && fail "$fs: the damaged file was decrypted"
    [ -f "$folder/kapot/groot_txt.kol" ] && [ ! -e "$folder/kapot/groot.txt" ] ||
        fail "$fs: the damaged file did not stay as it was"
    settled damaged D || continue
    # Nor can the scratch copy be overwritten in place where old blocks are kept.
    ((keeps || damaged == 0)) || fail "$fs: $damaged markers of a damaged strong file's plain text left"

    kcli encrypt "$folder/sterk" --strong || fail "$fs: strong encryption ended with $?: $(head -3 "$scratch/err")"
    [ "$(find "$folder/sterk" -name '*.kol' | wc -l)" = 4 ] || fail "$fs: not every file encrypted"
    if ((keeps)); then told "$fs" || fail "$fs: no notice of the old blocks"
    else ! told '.*' || fail "$fs: a notice where old blocks are overwritten"; fi
    settled strong 'S[1-4]' || continue
    if ((keeps)); then ((strong > 0)) || fail "$fs: old blocks kept, yet no marker: the check sees nothing"
    else ((strong == 0)) || fail "$fs: $strong markers of strong originals left"; fi

    kcli encrypt "$folder/beschreven" || fail "$fs: described encryption ended with $?"
    settled described 'B[12]' || continue
    ((described > 0)) || fail "$fs: the described format's originals were overwritten"
    echo "$fs: markers left: damaged strong $damaged, strong $strong of 1024, described $described of 512"
    loop_release; rm -f "$image"
done
fails_end remanence || exit 1
((skipped)) && exit 77
exit 0
