#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/check-includes on a copy of the sources, once as they are and once per planted include
# that points up a layer: each plant must be refused, and the tree as it is must pass.
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$src/tests/support/checks.sh"
fresh() {
    rm -rf "$work/t" && mkdir -p "$work/t/scripts"
    cp "$src/scripts/check-includes" "$work/t/scripts/"
    (cd "$src" && cp -r --parents engine shellfiles platform session mainwindow run shell "$work/t")
}
expect() {  # expect pass|fail WHAT [FILE INCLUDE]: INCLUDE goes before FILE's first include
    local got=pass
    fresh
    [ $# -eq 4 ] && sed -i "0,/^#include \"/s||#include \"$4\"\n#include \"|" "$work/t/$3"
    bash "$work/t/scripts/check-includes" 2>/dev/null || got=fail
    check "$2" [ "$got" = "$1" ]
}
expect pass "the tree as it is"
expect fail "file layer includes the engine" platform/posix/SafeCopy.cpp engine/FileTransformer.h
expect fail "file layer includes a service" platform/posix/Overwrite.cpp platform/posix/PosixServices.h
expect fail "Windows file layer includes a service" platform/windows/SafeFolder.cpp platform/windows/WindowsServices.h
expect fail "engine includes the session" engine/TreeWalk.cpp session/RunSession.h
expect fail "engine reaches the form" engine/FileFormat.cpp platform/Form.h
expect pass "a service includes the engine" platform/posix/PosixServices.cpp engine/Ansi.h
checks_end check-includes
