#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Power cuts, the step beyond kill -9 (which keeps the kernel's page cache): kolvik-cli runs in a
# small virtual machine (qemu, TCG) on a file system in a raw disk image, and the machine is
# killed at a random moment of the run, losing whatever its kernel had not yet written. The image
# is then mounted here (its journal replays) and every original's bytes must be in a plain file
# or in a .kol that decrypts. Runs encrypt and decrypt in turn.
# Usage: powercut.sh PATH/TO/kolvik-cli FS CUTS [SEED] [--careless]
#   FS: ext4, xfs or btrfs. POWERCUT_ARGS: more kolvik-cli arguments (the file format), for the
#   encryption runs in the machine and for making the encrypted tree here.
#   --careless: instead of kolvik-cli, a copy-rename-delete without fsync (busybox cp, mv, rm):
#   it must lose files under the same cuts, or the sweep proves nothing.
# Exit 0: nothing lost; 1: files lost or the sweep broke; 77: it cannot run here (reason printed).
set -u
cli=$(realpath "$1") fs=$2 cuts=$3
RANDOM=${4:-$$}
careless=0
[ "${5:-}" = --careless ] && careless=1
args=${POWERCUT_ARGS:-}

skip() { echo "powercut $fs: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "not root (the image is loop-mounted)"
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 missing (package qemu-system-x86)"
kernel=$(ls /boot/vmlinuz-*-cloud-amd64 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] || skip "no /boot/vmlinuz-*-cloud-amd64 (package linux-image-cloud-amd64)"
kver=${kernel#/boot/vmlinuz-}
moddir=/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || skip "$moddir/modules.dep missing"
busybox=$(command -v busybox)
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 || skip "no static busybox (package busybox-static)"
declare -A make=([ext4]="mkfs.ext4 -q -F" [xfs]="mkfs.xfs -q -f" [btrfs]="mkfs.btrfs -q -f")
# mkfs.xfs refuses less than 300 MiB; the images are sparse.
declare -A size=([ext4]=64 [xfs]=300 [btrfs]=128)
# Metadata committed every second (XFS: its log worker, set in the machine), so that a cut finds
# names and deletions on the disk before the data a careless program never synced: by default
# XFS and Btrfs wait 30 s, and a cut in the first seconds finds the tree as it was.
declare -A options=([ext4]=commit=1 [xfs]=rw [btrfs]=commit=1)
declare -A module=([ext4]="" [xfs]=xfs [btrfs]=btrfs)
[ -n "${make[$fs]:-}" ] || { echo "powercut: unknown file system $fs"; exit 1; }
command -v "${make[$fs]%% *}" >/dev/null || skip "${make[$fs]%% *} missing"

source "$(dirname "$(realpath "$0")")/../sandbox.sh"
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
cp "$cli" "$root/bin/kolvik-cli"
for lib in $(ldd "$cli" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
done
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
for name in virtio_ring virtio virtio_pci virtio_blk ${module[$fs]}; do
    path=$(grep -oE "^[^:]*/$name\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | tr -d :)
    if [ -n "$path" ]; then load "$path"
    else grep -qE "/$name\.ko" "$moddir/modules.builtin" || skip "module $name not in $kver"; fi
done
grep -q '\.ko\.' "$root/modules" && skip "compressed modules: busybox insmod cannot load them"
cat > "$root/config" <<EOF
FS=$fs OPTIONS=${options[$fs]} CARELESS=$careless ARGS='$args'
EOF
cat > "$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/tmp
mount -t proc proc /proc; mount -t sysfs sysfs /sys; mount -t devtmpfs devtmpfs /dev
. /config
for m in $(cat /modules); do insmod /lib/mod/$m || echo "insmod $m failed"; done
i=0
while [ ! -b /dev/vda ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
# XFS reads it when it mounts.
[ "$FS" = xfs ] && echo 100 > /proc/sys/fs/xfs/xfssyncd_centisecs
mount -t $FS -o $OPTIONS /dev/vda /mnt || { echo POWERCUT-NOMOUNT; poweroff -f; }
echo POWERCUT-START
if [ "$CARELESS" = 1 ]; then
    # What a careless program does: copy, rename the copy into place, delete; no fsync.
    find /mnt/boom -type f | while IFS= read -r f; do
        cp "$f" "$f.tmp" && mv "$f.tmp" "$f.kopie" && rm "$f"
    done
    echo "POWERCUT-END 0"
else
    # The format is chosen when encrypting; decryption recognises it by itself.
    if [ "$pcdir" = encrypt ]; then FORMAT=$ARGS; else FORMAT=; fi
    # Said once the run has made its first file: a strong run derives its key before that.
    begun() { until [ -n "$(find /mnt/boom -type f "$@" | head -n 1)" ]; do sleep 0.05; done
              echo POWERCUT-BEGUN; }
    if [ "$pcdir" = encrypt ]; then begun -name '*.kol' & else begun ! -name '*.kol' & fi
    watcher=$!
    kolvik-cli "$pcdir" /mnt/boom --password-file /pw $FORMAT >/dev/null 2>/tmp/err
    status=$?
    kill $watcher 2>/dev/null; wait $watcher 2>/dev/null
    echo "POWERCUT-END $status"
    head -5 /tmp/err
fi
umount /mnt
sync
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initrd.gz"

# --- the disk images: the plain tree, and the same tree encrypted here ----------------------
hashes() { find "$1" -type f ! -name '*.kol' ! -name '.kolvik-*' ! -name 'tijdel*' -print0 |
           xargs -0r sha256sum | cut -d' ' -f1; }
plain=$work/plain
for d in a b "c d" "é f"; do
    mkdir -p "$plain/$d"
    for i in $(seq 1 100); do head -c $((RANDOM % 20000)) /dev/urandom > "$plain/$d/bestand $i.txt"; done
done
for i in 1 2; do head -c $((RANDOM * 20)) /dev/urandom > "$plain/a/groot $i.bin"; done
hashes "$plain" | sort > "$work/expected"
files=$(wc -l < "$work/expected")
image() {  # image NAME [encrypt]
    truncate -s "${size[$fs]}M" "$work/$1.img"
    ${make[$fs]} "$work/$1.img" >/dev/null || { echo "powercut $fs: ${make[$fs]} failed"; exit 1; }
    mount -o loop -t "$fs" "$work/$1.img" "$mnt" || skip "cannot loop-mount $fs"
    cp -a "$plain" "$mnt/boom"
    if [ "${2:-}" = encrypt ]; then
        # shellcheck disable=SC2086
        "$program" encrypt "$mnt/boom" --password-file "$pw" $args >/dev/null ||
            { echo "powercut $fs: encrypting the tree failed"; exit 1; }
    fi
    umount "$mnt"
}
image plain
[ $careless = 1 ] || image encrypted encrypt

# boot IMAGE MODE [DELAY_US]: runs the machine; with a delay, kills it that long after the run began
# (with format arguments: after it made its first file).
# Sets $ran (microseconds from that start to the run's end, or to the cut) and $said (the console).
boot() {
    local console=$work/console
    : > "$console"
    # The strong format's key derivation takes 256 MiB on its own.
    qemu-system-x86_64 -accel tcg -m 768 -nodefaults -no-user-config -display none -no-reboot \
        -serial "file:$console" -kernel "$kernel" -initrd "$work/initrd.gz" \
        -append "console=ttyS0 quiet panic=-1 pcdir=$2" \
        -drive "file=$1,if=virtio,format=raw,cache=writeback" &
    qemu=$!
    local booted=$SECONDS
    # The console is written a character at a time: wait for whole words.
    until grep -qE 'POWERCUT-(START|NOMOUNT)' "$console"; do
        kill -0 $qemu 2>/dev/null || break
        sleep 0.02
        ((SECONDS - booted < 120)) || { echo "powercut $fs: the machine did not start the run in 120 s"; exit 1; }
    done
    grep -q POWERCUT-START "$console" || { echo "powercut $fs: the machine failed:"; tail -5 "$console"; exit 1; }
    local start
    start=$(date +%s%N)
    if [ -n "$args" ]; then
        # The strong format's key derivation, many seconds in the machine, changes nothing:
        # the run is timed, and cut, from its first file.
        until grep -qE 'POWERCUT-(BEGUN|END)' "$console" || ! kill -0 $qemu 2>/dev/null; do
            sleep 0.01
        done
        start=$(date +%s%N)
    fi
    if [ -n "${3:-}" ]; then
        sleep "$(printf '%d.%06d' $(($3 / 1000000)) $(($3 % 1000000)))"
        kill -9 $qemu 2>/dev/null
    fi
    until grep -qE 'POWERCUT-END [0-9]' "$console" || ! kill -0 $qemu 2>/dev/null; do sleep 0.01; done
    ran=$((($(date +%s%N) - start) / 1000))
    { wait $qemu; } 2>/dev/null
    qemu=""
    said=$(grep POWERCUT-END "$console" | tr -d '\r')
}

# check IMAGE: the plain hashes of every original must all be found again.
check() {
    mount -o loop -t "$fs" "$1" "$mnt" || { echo "cannot mount $1 after the cut"; return 1; }
    local opened=$work/open i=0
    rm -rf "$opened"
    while IFS= read -r -d '' kol; do
        i=$((i + 1)); mkdir -p "$opened/$i"; cp "$kol" "$opened/$i/"
    done < <(find "$mnt/boom" -type f -name '*.kol' -print0)
    [ $i -eq 0 ] || "$program" decrypt "$opened" --password-file "$pw" >/dev/null 2>&1
    { hashes "$mnt/boom"; [ $i -eq 0 ] || hashes "$opened"; } | sort > "$work/found"
    umount "$mnt"
    lost=$(comm -23 "$work/expected" "$work/found" | wc -l)
}

# A run to the end sets the window the cuts are spread over, and must lose nothing itself.
failed=0 lost_total=0
declare -A spread=()
for mode in encrypt decrypt; do
    [ $careless = 1 ] && [ $mode = decrypt ] && continue
    src=$work/plain.img; [ $mode = decrypt ] && src=$work/encrypted.img
    cp --sparse=always "$src" "$work/cut.img"
    boot "$work/cut.img" $mode
    spread[$mode]=$ran
    check "$work/cut.img"
    echo "clean ${mode}ion: ${ran} us, ${said:-no end}, $lost lost"
    { [ "$said" = "POWERCUT-END 0" ] && [ "$lost" -eq 0 ]; } || failed=1
done
[ $failed -eq 0 ] || { echo "powercut $fs: the clean runs failed"; exit 1; }

# On a busy machine a boot can take many times its 3.5 s: past the budget no new cut is started
# (and the summary says how many were made), so that the test runner never kills the sweep with
# an image still mounted.
budget=${POWERCUT_BUDGET:-200} made=0
for k in $(seq 1 "$cuts"); do
    ((SECONDS < budget)) || { echo "time budget of $budget s reached: $made of $cuts cuts made"; break; }
    made=$k
    mode=encrypt src=$work/plain.img
    [ $careless = 0 ] && ((k % 2 == 0)) && mode=decrypt src=$work/encrypted.img
    cp --sparse=always "$src" "$work/cut.img"
    delay=$(((RANDOM * 32768 + RANDOM) % spread[$mode]))
    boot "$work/cut.img" $mode $delay 2>/dev/null  # not the shell's word on the kill
    check "$work/cut.img" || { failed=1; continue; }
    echo "cut $k ($mode after $delay us${said:+, it had ended}): $lost of $files lost"
    lost_total=$((lost_total + lost))
    [ "$lost" -eq 0 ] || failed=1
done
what=kolvik-cli; [ $careless = 1 ] && what="careless copier"
echo "powercut $fs ($what${args:+ $args}): $made cuts over $files files, $lost_total lost"
[ $failed -eq 0 ]
