# SPDX-License-Identifier: GPL-3.0-or-later
# The table both kolvik-cli end-to-end scripts run, sourced by them: `table_work PROGRAM NAME`,
# then rows, then `checks_end`. Before a row, `snapshot` (the script's own) writes what
# "unchanged" compares against; `fresh_row`, if the script defines it, runs first.

# A private copy of PROGRAM in $work/bin: Kolvik.log and the program's own folder are then in $work.
# A third argument names the window program beside it, whose copy register installs: a stand-in.
table_work() {
    work=$(mktemp -d)
    chmod 755 "$work"  # rows that run as nobody must reach their tree
    trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
    mkdir "$work/bin"
    cp "$1" "$work/bin/$2"
    [ $# -lt 3 ] || printf 'venster\n' > "$work/bin/$3"
    cd "$work" || exit 1
    printf 'Geheim123\nrest wordt genegeerd\n' > pw
    printf 'Anders456\n' > pw2
    printf 'fout\n' > wrong
}
# The registration's ProgID carries the version, set once in the top CMakeLists.txt.
progid=kolvik$(sed -n 's/^project(Kolvik VERSION \([0-9.]*\).*/\1/p' "$(dirname "${BASH_SOURCE[0]}")/../../CMakeLists.txt")
quiet() { "$@" >/dev/null 2>&1; }
# mid_file SIGNAL PROGRAM ARGUMENTS...: SIGNAL once the program has groot.bin open; the status
# is the program's. A program, not a function: a function would run in a shell of its own.
mid_file() {
    local signal=$1 pid
    shift
    "$@" &
    pid=$!
    until ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'groot\.bin'; do kill -0 "$pid" 2>/dev/null || break; done
    kill "-$signal" "$pid"
    wait "$pid"
}
unchanged() { [ "$(snapshot)" = "$(cat before)" ]; }
# The first 17 bytes of a file in the strong format as written: "\0KOLVIK-S2", Argon2id with
# 262,144 KiB, 3 passes and 1 lane.
strong_file() { [ "$(head -c 17 "$1" | od -An -tx1 | tr -d ' \n')" = 004b4f4c56494b2d533201000400000301 ]; }

usage='Gebruik: kolvik-cli' p=--password-file
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"
# row NAME SETUP STATUS STDERR FILES COMMAND...: STDERR is an extended regular expression that a
# line of standard error matches, or "-" for none at all; FILES a check afterwards, or "-".
row() {
    local name=$1 setup=$2 want=$3 err=$4 files=$5 why=(); shift 5
    if declare -F fresh_row > /dev/null; then fresh_row; fi
    if $setup; then
        snapshot > before
        "$@" > out 2> err
        local rc=$?
        [ "$rc" -eq "$want" ] || why+=("status $rc, expected $want")
        if [ "$err" = - ]; then [ -s err ] && why+=("unexpected standard error")
        elif ! grep -Eq -- "$err" err; then why+=("standard error lacks /$err/"); fi
        [ "$files" = - ] || $files || why+=("files: $files fails")
    else
        why+=("setup $setup failed")
    fi
    if [ ${#why[@]} -eq 0 ]; then passed=$((passed + 1)); return; fi
    failed=$((failed + 1))
    echo "FAILED: $name: $(IFS=';'; echo "${why[*]}")" >&2
    sed 's/^/    stderr: /' err | head -5 >&2
}
