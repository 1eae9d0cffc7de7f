#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# crash_sweep.sh on each file system a user's files may live on, each in a small sparse image
# on a loop device: ext4, XFS and Btrfs through the kernel, NTFS through ntfs-3g and exFAT
# through exfat-fuse (FUSE; no O_TMPFILE, and exFAT has no hard links and no renameat2 flags).
# Only the trees live on the file system under test; the program and its home stay outside it.
# Prints one line per file system: its kills and failures, or "niet beschikbaar: WHY".
# Usage: fs_sweep.sh PATH/TO/kolvik-cli COUNT [SEED [FS...]]   FS: ext4 xfs btrfs ntfs-3g exfat
# With FS_SWEEP_FORMAT=strong every encryption writes the strong format.
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
source "$(dirname "$(realpath "$0")")/loopfs.sh"
sweeper=""
trap 'loop_release; rm -rf "$scratch"' EXIT
# timeout runs the sweep in a process group of its own and passes a signal on to all of it,
# kolvik-cli included, so that nothing keeps the mount busy.
trap '[ -n "$sweeper" ] && { kill -TERM "$sweeper"; wait "$sweeper"; }; exit 130' INT TERM HUP

skipped=0 broken=0
for fs in "${systems[@]}"; do
    image=$scratch/$fs.img folder=$scratch/$fs
    loop_try "$fs" "$image" "$folder"
    case $? in
        77) echo "$fs: $loop_why"; skipped=1 ;;
        1) echo "$fs: $loop_why"; broken=1 ;;
        *)
        TMPDIR=$folder KOLVIK_PROGRAM_TMPDIR=$scratch \
            timeout -k 10 "$budget" bash "$sweep" "$cli" "$count" "$seed" ${FS_SWEEP_FORMAT:-} \
            >"$scratch/log" 2>&1 &
        sweeper=$!
        wait "$sweeper"
        status=$? sweeper=""
        summary=$(grep '^crash sweep: ' "$scratch/log" | tail -1)
        echo "$fs: ${summary:-geen samenvatting (exitcode $status)}"
        if [ $status -ne 0 ]; then
            broken=1
            grep -v '^clean runs: \|^crash sweep: ' "$scratch/log" | head -25 | sed 's/^/    /'
        fi ;;
    esac
    loop_release; rm -f "$image"
done
((broken)) && exit 1
((skipped)) && exit 77
exit 0
