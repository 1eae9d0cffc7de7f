#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The run storm (storm.py) on one file system: tmpfs (/dev/shm, or a tmpfs mounted here as root)
# or exFAT through exfat-fuse on a loop device (root and FUSE). Only the trees live there; the
# program, its home (sandbox.sh) and the decrypted copies of the check stay in $TMPDIR.
# Usage: run_storm.sh PATH/TO/kolvik-cli tmpfs|exfat SEED COUNT [storm.py options]
# Exit 0: every seed passed; 1: a seed lost something; 77: the file system cannot be made here.
set -u
cli=$(realpath "$1") fs=$2 seed=$3 count=$4
shift 4
storm=$(dirname "$(realpath "$0")")/storm.py
skip() { echo "run storm on $fs: skipped: $*"; exit 77; }
command -v python3 >/dev/null || skip "python3 missing"

source "$(dirname "$(realpath "$0")")/../sandbox.sh"
scratch=$work stormer=""
source "$(dirname "$(realpath "$0")")/../loopfs.sh"
loop_size[exfat]=256
trap 'loop_release; rm -rf "$work"' EXIT
# The storm's runs are its children: a signal ends them too, so nothing keeps the mount busy.
trap '[ -n "$stormer" ] && kill -TERM "$stormer" && wait "$stormer"; exit 130' INT TERM HUP

root=$scratch/fs
mkdir -p "$root"
case $fs in
tmpfs)
    if [ "$(findmnt -n -o FSTYPE --target /dev/shm 2>/dev/null)" = tmpfs ]; then
        root=$(mktemp -d -p /dev/shm)
        trap 'rm -rf "$root" "$work"' EXIT
    elif [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256m tmpfs "$root"; then
        loop_mounted=$root
    else
        skip "no tmpfs at /dev/shm and not root"
    fi
    ;;
exfat)
    loop_try exfat "$scratch/exfat.img" "$root"
    case $? in
        77) skip "$loop_why" ;;
        1) echo "$loop_why"; exit 1 ;;
    esac
    ;;
*) echo "run storm: unknown file system $fs (tmpfs or exfat)"; exit 1 ;;
esac

echo "run storm on $fs: seeds $seed to $((seed + count - 1))"
python3 "$storm" "$program" "$pw" "$seed" "$count" --root "$root" "$@" &
stormer=$!
wait $stormer
