# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the reliability scripts, with $cli set: a scratch folder $work with its own home,
# a private copy of kolvik-cli $program (its log then lands beside that copy, never in the
# build folder) and the password file $pw. Everything goes when the script ends. Then fail,
# fails_end and hashes, below.
# $work is made in $TMPDIR. With KOLVIK_PROGRAM_TMPDIR set, the program, its home and $pw go to
# a folder of their own there instead: a file system under test (a FUSE mount, noexec, no
# permission bits) then holds only the trees, as it would a user's folder.
work=$(mktemp -d)
chmod 755 "$work"
own=$work
[ -n "${KOLVIK_PROGRAM_TMPDIR:-}" ] && own=$(mktemp -d -p "$KOLVIK_PROGRAM_TMPDIR")
trap 'chmod -R u+rwx "$work" "$own" 2>/dev/null; rm -rf "$work" "$own"' EXIT
export HOME=$own/home XDG_CONFIG_HOME=$own/home/config XDG_STATE_HOME=$own/home/state
mkdir -p "$HOME" "$own/bin"
program=$own/bin/kolvik-cli pw=$own/pw
cp "$cli" "$program"
printf 'Geheim123\n' > "$pw"
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"
# A tree's files by content, in path order.
hashes() { (cd "$1" && find . -type f -exec sha256sum {} + | sort -k2); }
