# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by replay.sh, with $cli and $fs set: the small virtual machine that runs
# kolvik-cli (qemu, TCG, the Debian cloud kernel with its own modules, an
# initramfs of static busybox), on a file system in a raw disk image. It gives skip, the file
# system's tables, the initramfs ($root, add_program, add_modules, write_init), the plain tree
# (make_tree: $plain, $files), image and boot. $work, $program and $pw come from
# sandbox.sh; the machine's console words are MACHINE-START, MACHINE-NOMOUNT and MACHINE-END.
skip() { echo "replay $fs: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root (the image is loop-mounted)"
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 missing (package qemu-system-x86)"
kernel=$(ls /boot/vmlinuz-*-cloud-amd64 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] || skip "no /boot/vmlinuz-*-cloud-amd64 (package linux-image-cloud-amd64)"
kver=${kernel#/boot/vmlinuz-}
moddir=/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || skip "$moddir/modules.dep missing"
busybox=$(command -v busybox)
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || skip "no static busybox (package busybox-static)"
# The images are made and sized as the sweep's (loop_make, loop_size).
source "$(dirname "${BASH_SOURCE[0]}")/../loopfs.sh"
# Metadata committed every second (XFS: its log worker, set in the machine), so that states
# hold names and deletions before the data a careless program never synced: by default XFS and
# Btrfs wait 30 s, and a run of a few seconds would leave only the tree as it was.
declare -A options=([ext4]=commit=1 [xfs]=rw [btrfs]=commit=1)
declare -A module=([ext4]="" [xfs]=xfs [btrfs]=btrfs)
[ -n "${options[$fs]:-}" ] || { echo "replay: unknown file system $fs"; exit 1; }
command -v "${loop_make[$fs]%% *}" >/dev/null || skip "${loop_make[$fs]%% *} missing"

source "$(dirname "${BASH_SOURCE[0]}")/../sandbox.sh"
mnt=$work/mnt qemu=""
mkdir -p "$mnt"
release() {
    [ -n "$qemu" ] && kill -9 "$qemu" 2>/dev/null
    mountpoint -q "$mnt" && { umount "$mnt" || umount -l "$mnt"; }
    chmod -R u+rwx "$work" "$own" 2>/dev/null
    rm -rf "$work" "$own"
}
trap release EXIT
trap 'exit 130' INT TERM HUP

# --- the machine's initramfs: busybox, kolvik-cli with its libraries, the modules -----------
root=$work/initramfs
mkdir -p "$root"/{bin,lib/mod,proc,sys,dev,mnt,tmp}
cp "$busybox" "$root/bin/busybox"
add_program() {  # add_program PATH NAME: the program as /bin/NAME, with the libraries it loads
    cp "$1" "$root/bin/$2"
    local lib
    for lib in $(ldd "$1" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
}
add_program "$cli" kolvik-cli
cp "$pw" "$root/pw"
# Each module after what it needs, as modules.dep lists it.
declare -A loaded=()
load() {  # load PATH-IN-MODDIR
    [ -n "${loaded[$1]:-}" ] && return
    loaded[$1]=1
    local dep
    for dep in $(grep "^$1:" "$moddir/modules.dep" | cut -d: -f2); do load "$dep"; done
    cp "$moddir/$1" "$root/lib/mod/"
    basename "$1" >> "$root/modules"
}
: > "$root/modules"
add_modules() {  # add_modules FILE-NAME...: the disks' drivers come first, always
    local name path
    for name in virtio_ring virtio virtio_pci virtio_blk "$@"; do
        path=$(grep -oE "^[^:]*/$name\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | tr -d :)
        if [ -n "$path" ]; then load "$path"
        else grep -qE "/$name\.ko" "$moddir/modules.builtin" || skip "module $name not in $kver"; fi
    done
    grep -q '\.ko\.' "$root/modules" && skip "compressed modules: busybox insmod cannot load them"
}
# write_init < BODY: the machine's /init is the start below and then BODY, which reads /config
# (written by the caller) and ends with poweroff -f; the initramfs is packed after it.
write_init() {
    {
        cat <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/tmp
mount -t proc proc /proc; mount -t sysfs sysfs /sys; mount -t devtmpfs devtmpfs /dev
. /config
for m in $(cat /modules); do insmod /lib/mod/$m || echo "insmod $m failed"; done
wait_for() { i=0; while [ ! -b $1 ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done; }
wait_for /dev/vda
# XFS reads it when it mounts.
[ "$FS" = xfs ] && echo 100 > /proc/sys/fs/xfs/xfssyncd_centisecs
INIT
        cat
    } > "$root/init"
    chmod +x "$root/init"
    (cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initrd.gz"
}

# --- the disk image: the plain tree ---------------------------------------------------------
plain=$work/plain
make_tree() {  # make_tree COUNT: COUNT files in each of four folders, and two larger ones
    local d i
    for d in a b "c d" "é f"; do
        mkdir -p "$plain/$d"
        for i in $(seq 1 "$1"); do head -c $((RANDOM % 20000)) /dev/urandom > "$plain/$d/bestand $i.txt"; done
    done
    for i in 1 2; do head -c $((RANDOM * 20)) /dev/urandom > "$plain/a/groot $i.bin"; done
    files=$(find "$plain" -type f | wc -l)
}
image() {  # image NAME: the plain tree on a fresh file system
    truncate -s "${loop_size[$fs]}M" "$work/$1.img"
    ${loop_make[$fs]} "$work/$1.img" >/dev/null || { echo "replay $fs: ${loop_make[$fs]} failed"; exit 1; }
    mount -o loop -t "$fs" "$work/$1.img" "$mnt" || skip "cannot loop-mount $fs"
    cp -a "$plain" "$mnt/boom"
    umount "$mnt"
}

# boot IMAGE LOG: runs the machine on the data disk IMAGE and the log disk LOG to its end. Sets
# $said (the console's MACHINE-END line). The strong format's key derivation may take a quarter
# of a GiB.
boot() {
    local console=$work/console
    : > "$console"
    qemu-system-x86_64 -accel tcg -m 1024 -nodefaults -no-user-config -display none -no-reboot \
        -serial "file:$console" -kernel "$kernel" -initrd "$work/initrd.gz" \
        -append "console=ttyS0 quiet panic=-1" \
        -drive "file=$1,if=virtio,format=raw,cache=writeback" \
        -drive "file=$2,if=virtio,format=raw,cache=writeback" &
    qemu=$!
    local booted=$SECONDS
    # The console is written a character at a time: wait for whole words.
    until grep -qE 'MACHINE-(START|NOMOUNT)' "$console"; do
        kill -0 $qemu 2>/dev/null || break
        sleep 0.02
        ((SECONDS - booted < 120)) || { echo "replay $fs: the machine did not start the run in 120 s"; exit 1; }
    done
    grep -q MACHINE-START "$console" || { echo "replay $fs: the machine failed:"; tail -5 "$console"; exit 1; }
    until grep -qE 'MACHINE-END' "$console" || ! kill -0 $qemu 2>/dev/null; do sleep 0.01; done
    { wait $qemu; } 2>/dev/null
    qemu=""
    said=$(grep MACHINE-END "$console" | tr -d '\r')
}
