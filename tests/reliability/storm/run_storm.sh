#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The run storm (storm.py) on one file system: tmpfs (/dev/shm, or a tmpfs mounted here as root)
# or exFAT through exfat-fuse on a loop device (root and FUSE). Only the trees live there; the
# program, its home and the decrypted copies of the check stay in $TMPDIR.
# Usage: run_storm.sh PATH/TO/kolvik-cli tmpfs|exfat SEED COUNT [storm.py options]
# Exit 0: every seed passed; 1: a seed lost something; 77: the file system cannot be made here.
set -u
cli=$(realpath "$1") fs=$2 seed=$3 count=$4
shift 4
storm=$(dirname "$(realpath "$0")")/storm.py
skip() { echo "run storm on $fs: skipped: $*"; exit 77; }
command -v python3 >/dev/null || skip "python3 missing"

scratch=$(mktemp -d) device="" mounted="" stormer=""
release() {  # undoes only what this script mounted and attached
    if [ -n "$mounted" ]; then
        for _ in 1 2 3 4 5; do umount "$mounted" 2>/dev/null && break; sleep 1; done
        mountpoint -q "$mounted" && umount -l "$mounted"
    fi
    [ -n "$device" ] && losetup -d "$device" 2>/dev/null
    rm -rf "$scratch"
}
trap release EXIT
# The storm's runs are its children: a signal ends them too, so nothing keeps the mount busy.
trap '[ -n "$stormer" ] && kill -TERM "$stormer" && wait "$stormer"; exit 130' INT TERM HUP

root=$scratch/fs
mkdir -p "$root"
case $fs in
tmpfs)
    if [ "$(findmnt -n -o FSTYPE --target /dev/shm 2>/dev/null)" = tmpfs ]; then
        root=$(mktemp -d -p /dev/shm)
        mounted="" && trap 'rm -rf "$root"; release' EXIT
    elif [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256m tmpfs "$root"; then
        mounted=$root
    else
        skip "no tmpfs at /dev/shm and not root"
    fi
    ;;
exfat)
    [ "$(id -u)" -eq 0 ] || skip "not root"
    [ -c /dev/fuse ] || skip "no FUSE (/dev/fuse)"
    for tool in losetup mkfs.exfat mount.exfat-fuse; do
        command -v $tool >/dev/null || skip "$tool missing"
    done
    truncate -s 256M "$scratch/exfat.img"
    device=$(losetup -f --show "$scratch/exfat.img") || { device=""; skip "no loop device"; }
    mkfs.exfat "$device" >/dev/null || { echo "mkfs.exfat failed"; exit 1; }
    mount.exfat-fuse "$device" "$root" >/dev/null 2>&1 || skip "mount.exfat-fuse failed"
    mounted=$root
    [ "$(findmnt -n -o FSTYPE --mountpoint "$root")" = fuseblk ] || { echo "not mounted through FUSE"; exit 1; }
    ;;
*) echo "run storm: unknown file system $fs (tmpfs or exfat)"; exit 1 ;;
esac

echo "run storm on $fs: seeds $seed to $((seed + count - 1))"
python3 "$storm" "$cli" "$seed" "$count" --root "$root" "$@" &
stormer=$!
wait $stormer
