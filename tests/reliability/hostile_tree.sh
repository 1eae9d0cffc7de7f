#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A tree full of things that are not plain files or have awkward names, an unreadable file and
# folders that cannot be written or listed: every run ends within ten seconds, nothing outside
# the tree changes, and each entry left alone is counted and logged.
# Usage: hostile_tree.sh PATH/TO/kolvik-cli
set -u
cli=$1
source "$(dirname "$0")/sandbox.sh"

# Root passes every permission check, so the locked file and the read-only folder would mean
# nothing: the runs go as nobody, who owns the tree.
runner=()
[ "$(id -u)" = 0 ] && runner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)

t=$work/tree o=$work/outside
mkdir -p "$t/ro" "$o/dir" "$t/unlisted/inner"
printf 'buiten' > "$o/secret.txt"; printf 'binnen' > "$o/dir/inner.txt"; printf 'gewoon' > "$t/plain.txt"
ln -s plain.txt "$t/link_in.txt"; ln -s ../outside/secret.txt "$t/link_out.txt"; ln -s ../outside/dir "$t/dirlink"
ln -s nergens "$t/dangling"; ln -s loop_b "$t/loop_a"; ln -s loop_a "$t/loop_b"
mkfifo "$t/fifo"
perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => $ARGV[0], Listen => 1) or die' "$t/socket"
printf 'op slot' > "$t/locked.txt"
printf 'gedeeld' > "$t/h1.txt"; ln "$t/h1.txt" "$t/h2.txt"  # another name would keep the plain text
printf 'onzichtbaar' > "$t/unlisted/b.txt"; printf 'eronder' > "$t/unlisted/inner/c.txt"
printf 'alleen lezen' > "$t/ro/inside.txt"
printf 'regel' > "$t/new"$'\n'"line.txt"; printf 'bytes' > "$t/bad"$'\xff\xfe'"name.txt"
long=$(printf 'x%.0s' $(seq 251)).txt  # 255 bytes: no room for "_txt.kol"
printf 'lang' > "$t/$long"
left_alone=(link_in.txt link_out.txt dirlink dangling loop_a loop_b fifo socket locked.txt h1.txt h2.txt
            inside.txt "$long")
# Bytes worked by hand: encrypting counts the three plain files; decrypting their encrypted sizes
# (N + L + 10 each) and the sizes of the regular files it leaves alone.
declare -A total=([encrypt]=$((6 + 5 + 5)) [decrypt]=$((19 + 18 + 18 + 7 + 7 + 7 + 12 + 4)))
# The runner owns the tree, and the program's folder too: Kolvik.log is written beside it.
if [ ${#runner[@]} -gt 0 ]; then chown -R -h nobody:nogroup "$work/bin" "$work/home" "$t" "$work/pw"; fi
chmod 000 "$t/locked.txt"
chmod 555 "$t/ro"
chmod 111 "$t/unlisted"  # can be entered, not listed: nothing in it is seen at all

# Content, link target or kind, and modification time of everything in a folder; or, as the
# runs give the folders new times, permission bits (%m) instead of times.
state() {
    (cd "$1" && find . -printf "%p\t%y\t%l\t${2:-%T@}\n" | sort
     find . -type f -readable -exec sha256sum {} + | sort -k2)
}
outside_before=$(state "$o")
tree_before=$(state "$t" %m)
log=$work/bin/Kolvik.log
crlf_only() { ! grep -av $'\r$' "$1" | grep -q .; }

for mode in encrypt decrypt; do
    : > "$log"
    [ ${#runner[@]} -gt 0 ] && chown nobody:nogroup "$log"
    # One run through timeout; its summary lands in $work/out.
    timeout 10 "${runner[@]}" "$work/bin/kolvik-cli" $mode "$t" --password-file "$work/pw" --log \
        >"$work/out" 2>"$work/err"
    rc=$?
    # Entries were left in their old form: the run finished, and says so.
    check "$mode ends in time with exit 1 (got $rc)" [ $rc -eq 1 ]
    check "$mode names the folder it could not list" grep -aqF "$t/unlisted: " "$work/err"
    word=$([ $mode = encrypt ] && echo Versleuteld || echo Ontsleuteld)
    check "$mode transforms the three plain names" grep -qx "$word: 3 bestanden" "$work/out"
    check "$mode counts every entry left alone" grep -qx "Overgeslagen: ${#left_alone[@]} bestanden" "$work/out"
    check "$mode counts the bytes" grep -qx "Totaal: ${total[$mode]} bytes" "$work/out"
    for name in "${left_alone[@]}"; do
        check "$mode logs $name" grep -aqF "SKIP $name\"" "$log"
        [ $mode = encrypt ] && check "encrypt names $name with its reason" grep -aqF "/$name: " "$work/err"
    done
    check "$mode log lines end in CR LF" crlf_only "$log"
    check "$mode leaves the outside alone" [ "$(state "$o")" = "$outside_before" ]
    check "$mode leaves nothing beside the tree" \
        [ "$(ls "$work" | tr '\n' ' ')" = "bin err home out outside pw tree " ]
    [ $mode = encrypt ] &&
        check "encrypt wrote the copies" [ -f "$t/plain_txt.kol" -a -f "$t/new"$'\n'"line_txt.kol" ]
    check "$mode leaves the unlisted folder" [ -f "$t/unlisted/b.txt" -a -f "$t/unlisted/inner/c.txt" ]
done
check "the tree is back as it was" [ "$(state "$t" %m)" = "$tree_before" ]

checks_end "hostile tree"
