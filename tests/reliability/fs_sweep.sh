#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# crash_sweep.sh on each file system a user's files may live on, each in a small sparse image
# on a loop device: ext4, XFS and Btrfs through the kernel, NTFS through ntfs-3g and exFAT
# through exfat-fuse (FUSE; no O_TMPFILE, and exFAT has no hard links and no renameat2 flags).
# Only the trees live on the file system under test; the program and its home stay outside it.
# Prints one line per file system: its kills and failures, or "niet beschikbaar: WHY".
# Usage: fs_sweep.sh PATH/TO/kolvik-cli COUNT [SEED [FS...]]   FS: ext4 xfs btrfs ntfs-3g exfat
# Exit 0: every sweep passed; 1: one failed; 77: none failed, but one could not run here.
set -u
cli=$(realpath "$1") count=$2 seed=${3:-$$}
shift $(($# < 3 ? $# : 3))
systems=("$@")
[ ${#systems[@]} -gt 0 ] || systems=(ext4 xfs btrfs ntfs-3g exfat)
sweep=$(dirname "$(realpath "$0")")/crash_sweep.sh
# A sweep that hangs would be ended by the test runner without our traps, leaving the mount and
# the loop device behind: this budget (seconds per file system) ends it first.
budget=${FS_SWEEP_BUDGET:-$((40 + 20 * count))}

scratch=$(mktemp -d)
device="" mounted="" sweeper=""
release() {  # undoes only what this script attached and mounted
    if [ -n "$mounted" ]; then
        for _ in 1 2 3 4 5; do umount "$mounted" 2>/dev/null && break; sleep 1; done
        mountpoint -q "$mounted" && umount -l "$mounted"
        mounted=""
    fi
    [ -n "$device" ] && losetup -d "$device" 2>/dev/null
    device=""
}
trap 'release; rm -rf "$scratch"' EXIT
# timeout runs the sweep in a process group of its own and passes a signal on to all of it,
# kolvik-cli included, so that nothing keeps the mount busy.
trap '[ -n "$sweeper" ] && { kill -TERM "$sweeper"; wait "$sweeper"; }; exit 130' INT TERM HUP

# Image size in MiB (sparse; mkfs.xfs refuses less than 300 MiB, Btrfs wants about 110), the
# tools that make and mount it (exfat through FUSE, never the kernel's own driver), and the
# type the mount must show.
declare -A size=([ext4]=96 [xfs]=300 [btrfs]=128 [ntfs-3g]=96 [exfat]=96)
declare -A make=([ext4]="mkfs.ext4 -q -F" [xfs]="mkfs.xfs -q -f" [btrfs]="mkfs.btrfs -q -f"
                 [ntfs-3g]="mkntfs -F -Q -q" [exfat]="mkfs.exfat")
declare -A mounter=([ext4]="mount -t ext4" [xfs]="mount -t xfs" [btrfs]="mount -t btrfs"
                    [ntfs-3g]="ntfs-3g" [exfat]="mount.exfat-fuse")
declare -A type=([ext4]=ext4 [xfs]=xfs [btrfs]=btrfs [ntfs-3g]=fuseblk [exfat]=fuseblk)

unavailable() {  # why FS cannot be tried on this machine, or nothing
    [ "$(id -u)" -eq 0 ] || { echo "geen root"; return; }
    for tool in losetup ${make[$1]%% *} ${mounter[$1]%% *}; do
        command -v "$tool" >/dev/null || { echo "$tool ontbreekt"; return; }
    done
    [ "${type[$1]}" = fuseblk ] && [ ! -c /dev/fuse ] && echo "geen FUSE"
}
first_line() { tr '\n' ' ' < "$scratch/err" | cut -c1-160; }

skipped=0 broken=0
for fs in "${systems[@]}"; do
    [ -n "${size[$fs]:-}" ] || { echo "$fs: onbekend bestandssysteem"; broken=1; continue; }
    why=$(unavailable "$fs")
    [ -z "$why" ] || { echo "$fs: niet beschikbaar: $why"; skipped=1; continue; }
    image=$scratch/$fs.img folder=$scratch/$fs
    mkdir -p "$folder"
    truncate -s "${size[$fs]}M" "$image"
    if ! device=$(losetup -f --show "$image" 2>"$scratch/err"); then
        device=""; echo "$fs: niet beschikbaar: losetup: $(first_line)"; skipped=1; continue
    fi
    if ! ${make[$fs]} "$device" >"$scratch/err" 2>&1; then
        echo "$fs: ${make[$fs]%% *} mislukt: $(first_line)"; broken=1
    elif ! { ${mounter[$fs]} "$device" "$folder" >"$scratch/err" 2>&1 && mounted=$folder; }; then
        echo "$fs: niet beschikbaar: aankoppelen mislukt: $(first_line)"; skipped=1
    elif [ "$(findmnt -n -o FSTYPE --mountpoint "$folder")" != "${type[$fs]}" ]; then
        echo "$fs: niet aangekoppeld als ${type[$fs]}"; broken=1
    else
        TMPDIR=$folder KOLVIK_PROGRAM_TMPDIR=$scratch \
            timeout -k 10 "$budget" bash "$sweep" "$cli" "$count" "$seed" >"$scratch/log" 2>&1 &
        sweeper=$!
        wait "$sweeper"
        status=$? sweeper=""
        summary=$(grep '^crash sweep: ' "$scratch/log" | tail -1)
        echo "$fs: ${summary:-geen samenvatting (exitcode $status)}"
        if [ $status -ne 0 ]; then
            broken=1
            grep -v '^clean runs: \|^crash sweep: ' "$scratch/log" | head -25 | sed 's/^/    /'
        fi
    fi
    release; rm -f "$image"
done
((broken)) && exit 1
((skipped)) && exit 77
exit 0
