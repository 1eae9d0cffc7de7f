# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that try a file system in a small sparse image on a loop device: ext4,
# XFS and Btrfs through the kernel, NTFS through ntfs-3g and exFAT through exfat-fuse (FUSE,
# never the kernel's own exFAT driver). Needs $scratch; loop_release undoes only what
# loop_try attached and mounted.

# Image size in MiB (sparse; mkfs.xfs refuses less than 300 MiB, Btrfs wants about 110), the
# tools that make and mount it, and the type the mount must show.
declare -A loop_size=([ext4]=96 [xfs]=300 [btrfs]=128 [ntfs-3g]=96 [exfat]=96)
declare -A loop_make=([ext4]="mkfs.ext4 -q -F" [xfs]="mkfs.xfs -q -f" [btrfs]="mkfs.btrfs -q -f"
                      [ntfs-3g]="mkntfs -F -Q -q" [exfat]="mkfs.exfat")
declare -A loop_mounter=([ext4]="mount -t ext4" [xfs]="mount -t xfs" [btrfs]="mount -t btrfs"
                         [ntfs-3g]="ntfs-3g" [exfat]="mount.exfat-fuse")
declare -A loop_type=([ext4]=ext4 [xfs]=xfs [btrfs]=btrfs [ntfs-3g]=fuseblk [exfat]=fuseblk)
loop_device="" loop_mounted="" loop_why=""

loop_first_line() { tr '\n' ' ' < "$scratch/loop.err" | cut -c1-160; }

# loop_try FS IMAGE FOLDER: a fresh file system of FS in IMAGE, mounted on FOLDER. Returns 0,
# 77 when it cannot be made here (no root, tools, loop device or FUSE), 1 when it failed;
# loop_why says why.
loop_try() {
    local fs=$1 image=$2 folder=$3 tool
    [ -n "${loop_size[$fs]:-}" ] || { loop_why="onbekend bestandssysteem"; return 1; }
    [ "$(id -u)" -eq 0 ] || { loop_why="niet beschikbaar: geen root"; return 77; }
    for tool in losetup ${loop_make[$fs]%% *} ${loop_mounter[$fs]%% *}; do
        command -v "$tool" >/dev/null || { loop_why="niet beschikbaar: $tool ontbreekt"; return 77; }
    done
    [ "${loop_type[$fs]}" != fuseblk ] || [ -c /dev/fuse ] ||
        { loop_why="niet beschikbaar: geen FUSE"; return 77; }
    mkdir -p "$folder"
    truncate -s "${loop_size[$fs]}M" "$image"
    if ! loop_device=$(losetup -f --show "$image" 2>"$scratch/loop.err"); then
        loop_device="" loop_why="niet beschikbaar: losetup: $(loop_first_line)"; return 77
    fi
    if ! ${loop_make[$fs]} "$loop_device" >"$scratch/loop.err" 2>&1; then
        loop_why="${loop_make[$fs]%% *} mislukt: $(loop_first_line)"; return 1
    fi
    loop_remount "$fs" "$folder"
}

# Mounts the image attached by loop_try again, on FOLDER.
loop_remount() {
    local fs=$1 folder=$2
    if ! { ${loop_mounter[$fs]} "$loop_device" "$folder" >"$scratch/loop.err" 2>&1 &&
           loop_mounted=$folder; }; then
        loop_why="niet beschikbaar: aankoppelen mislukt: $(loop_first_line)"; return 77
    fi
    [ "$(findmnt -n -o FSTYPE --mountpoint "$folder")" = "${loop_type[$fs]}" ] ||
        { loop_why="niet aangekoppeld als ${loop_type[$fs]}"; return 1; }
}

loop_unmount() {
    [ -n "$loop_mounted" ] || return 0
    for _ in 1 2 3 4 5; do umount "$loop_mounted" 2>/dev/null && break; sleep 1; done
    mountpoint -q "$loop_mounted" && umount -l "$loop_mounted"
    loop_mounted=""
}

loop_release() {
    loop_unmount
    [ -n "$loop_device" ] && losetup -d "$loop_device" 2>/dev/null
    loop_device=""
}
