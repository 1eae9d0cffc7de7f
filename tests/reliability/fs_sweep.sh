#!/usr/bin/env bash
# crash_sweep.sh on each file system a user's files may live on, each in a small sparse image
# on a loop device: ext4, XFS and Btrfs through the kernel, NTFS through ntfs-3g and exFAT
# through exfat-fuse (FUSE; no O_TMPFILE, and exFAT has no hard links and no renameat2 flags).
# Only the trees live on the file system under test; the program and its home stay outside it.
# Prints one line per file system: its kills and failures, or "niet beschikbaar: WHY" where it
# cannot be made or mounted here (no root, no tool, no loop device, no FUSE).
# Usage: fs_sweep.sh PATH/TO/kolvik-cli COUNT [SEED [FS...]]   FS: ext4 xfs btrfs ntfs-3g exfat
# Exit 0: every sweep passed; 1: one failed; 77: none failed, but one could not run here.
set -u
cli=$(realpath "$1") count=$2 seed=${3:-$$}
shift $(($# < 3 ? $# : 3))
systems=("$@")
[ ${#systems[@]} -gt 0 ] || systems=(ext4 xfs btrfs ntfs-3g exfat)
sweep=$(dirname "$(realpath "$0")")/crash_sweep.sh
# A sweep that hangs would be ended by the test runner without our traps: no cleanup, and the
# mount and loop device would stay. This budget (seconds per file system) ends it first.
budget=${FS_SWEEP_BUDGET:-$((40 + 20 * count))}

scratch=$(mktemp -d)
device="" mounted="" sweeper=""
release() {  # undoes only what this script attached and mounted
    if [ -n "$mounted" ]; then
        local try
        for try in 1 2 3 4 5; do umount "$mounted" 2>/dev/null && break; sleep 1; done
        mountpoint -q "$mounted" && umount -l "$mounted"
        mounted=""
    fi
    [ -n "$device" ] && losetup -d "$device" 2>/dev/null
    device=""
}
trap 'release; rm -rf "$scratch"' EXIT
# timeout runs the sweep in a process group of its own and passes a signal on to all of it,
# kolvik-cli included, so that nothing keeps the mount busy.
interrupted() {
    [ -n "$sweeper" ] && { kill -TERM "$sweeper" 2>/dev/null; wait "$sweeper"; }
    exit 130
}
trap interrupted INT TERM HUP

# Image size in MiB (sparse; the sweep needs about 30 MB: three copies of its tree plus scratch
# copies; mkfs.xfs refuses less than 300 MiB, and Btrfs wants about 110), the tool that makes
# the file system, the package it comes from, and the mounted type the check requires.
declare -A size=([ext4]=96 [xfs]=300 [btrfs]=128 [ntfs-3g]=96 [exfat]=96)
declare -A maker=([ext4]=mkfs.ext4 [xfs]=mkfs.xfs [btrfs]=mkfs.btrfs [ntfs-3g]=mkntfs
                  [exfat]=mkfs.exfat)
declare -A package=([ext4]=e2fsprogs [xfs]=xfsprogs [btrfs]=btrfs-progs [ntfs-3g]=ntfs-3g
                    [exfat]=exfatprogs)
declare -A mounted_as=([ext4]=ext4 [xfs]=xfs [btrfs]=btrfs [ntfs-3g]=fuseblk [exfat]=fuseblk)
need_kb=$((40 * 1024))

make_fs() {  # make_fs FS DEVICE
    case $1 in
        ext4) mkfs.ext4 -q -F "$2" ;;
        xfs) mkfs.xfs -q -f "$2" ;;
        btrfs) mkfs.btrfs -q -f "$2" ;;
        ntfs-3g) mkntfs -F -Q -q "$2" ;;
        exfat) mkfs.exfat "$2" ;;
    esac
}
mount_fs() {  # mount_fs FS DEVICE FOLDER; exfat through FUSE, never the kernel's own driver
    case $1 in
        ntfs-3g) ntfs-3g "$2" "$3" ;;
        exfat) mount.exfat-fuse "$2" "$3" ;;
        *) mount -t "$1" "$2" "$3" ;;
    esac
}
# Why FS cannot be tried on this machine, or nothing when it can.
unavailable() {  # unavailable FS
    [ "$(id -u)" -eq 0 ] || { echo "geen root (loop-apparaten en mount)"; return; }
    command -v losetup >/dev/null || { echo "losetup ontbreekt (util-linux)"; return; }
    command -v "${maker[$1]}" >/dev/null || { echo "${maker[$1]} ontbreekt (${package[$1]})"; return; }
    case $1 in
        ntfs-3g) command -v ntfs-3g >/dev/null || { echo "ntfs-3g ontbreekt (ntfs-3g)"; return; } ;;
        exfat) command -v mount.exfat-fuse >/dev/null ||
                   { echo "mount.exfat-fuse ontbreekt (exfat-fuse)"; return; } ;;
    esac
    if [ "${mounted_as[$1]}" = fuseblk ]; then
        [ -c /dev/fuse ] || echo "/dev/fuse ontbreekt (geen FUSE)"
    fi
}
first_line() { tr '\n' ' ' < "$1" | sed 's/ *$//' | cut -c1-160; }

skipped=0 broken=0
for fs in "${systems[@]}"; do
    if [ -z "${size[$fs]:-}" ]; then echo "$fs: onbekend bestandssysteem"; broken=1; continue; fi
    why=$(unavailable "$fs")
    if [ -n "$why" ]; then echo "$fs: niet beschikbaar: $why"; skipped=1; continue; fi
    image=$scratch/$fs.img folder=$scratch/$fs
    mkdir -p "$folder"
    truncate -s "${size[$fs]}M" "$image"
    if ! device=$(losetup -f --show "$image" 2>"$scratch/err"); then
        device=""
        echo "$fs: niet beschikbaar: losetup: $(first_line "$scratch/err")"; skipped=1
        rm -f "$image"; continue
    fi
    if ! make_fs "$fs" "$device" >"$scratch/err" 2>&1; then
        echo "$fs: ${maker[$fs]} mislukt: $(first_line "$scratch/err")"; broken=1
        release; rm -f "$image"; continue
    fi
    mount_fs "$fs" "$device" "$folder" >"$scratch/err" 2>&1 && mounted=$folder
    if ! mountpoint -q "$folder"; then
        echo "$fs: niet beschikbaar: aankoppelen mislukt: $(first_line "$scratch/err")"; skipped=1
        release; rm -f "$image"; continue
    fi
    type=$(findmnt -n -o FSTYPE --mountpoint "$folder")
    free_kb=$(df -k --output=avail "$folder" | tail -1 | tr -d ' ')
    if [ "$type" != "${mounted_as[$fs]}" ]; then
        echo "$fs: aangekoppeld als $type, niet als ${mounted_as[$fs]}"; broken=1
    elif ((free_kb < need_kb)); then
        echo "$fs: image te klein: $((free_kb / 1024)) MiB vrij, de sweep heeft er $((need_kb / 1024)) nodig"
        broken=1
    else
        TMPDIR=$folder KOLVIK_PROGRAM_TMPDIR=$scratch \
            timeout -k 10 "$budget" bash "$sweep" "$cli" "$count" "$seed" >"$scratch/log" 2>&1 &
        sweeper=$!
        wait "$sweeper"
        status=$? sweeper=""
        summary=$(grep '^crash sweep: ' "$scratch/log" | tail -1)
        if [[ $summary =~ ^crash\ sweep:\ ([0-9]+)\ kills.*\ ([0-9]+)\ failures$ ]]; then
            echo "$fs: ${BASH_REMATCH[1]} kills, ${BASH_REMATCH[2]} fouten"
        else
            echo "$fs: de sweep stopte zonder samenvatting (exitcode $status)"
        fi
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
