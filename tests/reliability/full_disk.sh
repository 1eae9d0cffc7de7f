#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A real disk with room for one copy at a time: a tmpfs that holds six files of 200 KiB and
# 300 KiB more. The second copy cannot fit until the first original is gone, and so on down the
# tree; kolvik-cli must still encrypt every file (the pending originals are deleted and the file
# tried once more) and decrypt them back byte for byte. Mounting takes root: as any other user
# the test is skipped.
# Usage: full_disk.sh PATH/TO/kolvik-cli
set -u
cli=$1
[ "$(id -u)" = 0 ] || { echo "mounting a tmpfs takes root" >&2; exit 77; }
source "$(dirname "$0")/sandbox.sh"

disk=$work/disk
mkdir "$disk"
mount -t tmpfs -o size=1500k kolvik-vol "$disk" || { echo "cannot mount a tmpfs" >&2; exit 77; }
trap 'umount "$disk"; chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT

mkdir "$disk/sub"
for f in f1 f2 f3 sub/f4 sub/f5 sub/f6; do head -c 204800 /dev/urandom > "$disk/$f.bin"; done
hashes "$disk" > "$work/before"
# A copy is 204800 + 14 bytes: 51 pages of 4 KiB. One fits in what is free, two do not.
free_kib=$(df -k --output=avail "$disk" | tail -1)
[ "$free_kib" -ge 204 ] && [ "$free_kib" -lt 408 ] ||
    fail "$free_kib KiB free is not room for exactly one copy"

kcli() { "$work/bin/kolvik-cli" "$1" "$disk" --password-file "$work/pw" >"$work/out" 2>&1; }
kcli encrypt || fail "encryption ended with $?: $(cat "$work/out")"
[ "$(find "$disk" -type f -name '*.kol' | wc -l)" = 6 ] || fail "not every file was encrypted"
[ "$(find "$disk" -type f | wc -l)" = 6 ] || fail "originals or scratch copies were left"
kcli decrypt || fail "decryption ended with $?: $(cat "$work/out")"
[ "$(hashes "$disk")" = "$(cat "$work/before")" ] || fail "the tree did not come back byte for byte"

fails_end "full disk"
