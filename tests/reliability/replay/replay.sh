#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Power cuts at every moment that matters: in a small virtual machine, kolvik-cli encrypts a
# tree and then decrypts it again while dm-log-writes records, on a second disk, every write that reaches the data disk, in the order the disk completed them, with the
# flushes. replay.py then rebuilds here the disk as it stood at each flush and at states between
# two flushes, and checks that every original's bytes are in a plain file or a .kol that decrypts.
# Usage: replay.sh PATH/TO/kolvik-cli FS [SEED [--careless | ARGUMENTS...]]
#   FS: ext4, xfs or btrfs. ARGUMENTS: more kolvik-cli arguments for the encryption run
#   (the format).
#   REPLAY_BETWEEN: how many states between flushes to check (default 60); REPLAY_BUDGET:
#   the seconds after which no new state is begun (default 240).
#   --careless: one copy-rename-delete without fsync instead (busybox cp, mv, rm); then the exit
#   is 0 only when the replay finds files lost, as it must, or the replay proves nothing.
# Exit 0: nothing lost (--careless: files lost); 1: otherwise or broken; 77: it cannot run here.
set -u
cli=$(realpath "$1") fs=$2 seed=${3:-$$}
RANDOM=$seed
shift $(($# < 3 ? $# : 3))
careless=0 args=$*
[ "$args" = --careless ] && careless=1 args=
here=$(dirname "$(realpath "$0")")

source "$here/machine.sh"
dmsetup=$(command -v dmsetup) || skip "dmsetup missing (package dmsetup)"
command -v python3 >/dev/null || skip "python3 missing"
add_program "$dmsetup" dmsetup
add_modules ${module[$fs]} dm-mod dm-log-writes
echo "FS=$fs OPTIONS=${options[$fs]} CARELESS=$careless ARGS='$args'" > "$root/config"
write_init <<'INIT'
wait_for /dev/vdb
# Without udev, dmsetup makes /dev/mapper/log itself.
export DM_DISABLE_UDEV=1
echo "0 $(cat /sys/block/vda/size) log-writes /dev/vda /dev/vdb" | dmsetup create log ||
    { echo MACHINE-NOMOUNT; poweroff -f; }
mark() { dmsetup message log 0 mark "$1"; }
# run PHASE PROGRAM...: the phase marked in the log, then one run on the tree, mounted through
# the log; the statuses gather in $said.
said=
run() {
    mark "$1"
    shift
    mount -t $FS -o $OPTIONS /dev/mapper/log /mnt || { echo MACHINE-NOMOUNT; poweroff -f; }
    "$@" >/dev/null 2>>/tmp/err
    said="$said $?"
    umount /mnt
}
careless() {
    # What a careless program does: copy, rename the copy into place, delete; no fsync. At the
    # pace of one with other work between files, so that the file system commits during the run
    # however fast the machine is: a run that ends within one commit interval loses nothing.
    find /mnt/boom -type f | while IFS= read -r f; do
        cp "$f" "$f.tmp" && mv "$f.tmp" "$f.kopie" && rm "$f"
        sleep 0.05
    done
}
echo MACHINE-START
mark start
if [ "$CARELESS" = 1 ]; then
    run copy careless
else
    run encrypt kolvik-cli encrypt /mnt/boom --password-file /pw $ARGS
    run decrypt kolvik-cli decrypt /mnt/boom --password-file /pw
fi
mark end
echo "MACHINE-END$said"
head -5 /tmp/err
dmsetup remove log
sync
poweroff -f
INIT

# The tree: its runs outlast an ext4 commit interval, so that states come between
# commits (the careless copier's pace does that with fewer files).
if [ $careless = 1 ]; then make_tree 12; else make_tree 100; fi
image plain
cp --sparse=always "$work/plain.img" "$work/run.img"
truncate -s 512M "$work/log.img"
started=$SECONDS
boot "$work/run.img" "$work/log.img"
expect="MACHINE-END 0 0"; [ $careless = 1 ] && expect="MACHINE-END 0"
[ "$said" = "$expect" ] || { echo "replay $fs: the recorded run failed: ${said:-no end}"; tail -5 "$work/console"; exit 1; }
echo "recorded in $((SECONDS - started)) s: $files files, statuses${said#MACHINE-END}"

what="kolvik-cli${args:+ $args}" flags=()
[ $careless = 1 ] && what="careless copier" flags=(--careless)
# Past the budget no new state is begun, so that the test runner never ends the replay with an
# image still mounted.
python3 "$here/replay.py" "$work/log.img" "$work/plain.img" "$work/run.img" --fs "$fs" \
    --cli "$program" --pw "$pw" --plain "$plain" --mnt "$mnt" --seed "$seed" \
    --between "${REPLAY_BETWEEN:-60}" --budget $((${REPLAY_BUDGET:-240} - SECONDS)) \
    --label "replay $fs ($what)" "${flags[@]}"
