#!/usr/bin/env bash
# End-to-end runs of kolvik-cli on temporary trees. Usage: cli_test.sh PATH/TO/kolvik-cli
set -u
cli=$1
work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state HOME=$work/home
mkdir -p "$HOME"
passed=0 failed=0
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name" >&2; fi
}
make_tree() {
    rm -rf "$work/tree"; mkdir -p "$work/tree/sub/diep"
    printf 'alpha' > "$work/tree/a.txt"
    head -c 300000 /dev/urandom > "$work/tree/sub/foto.jpg"
    printf '' > "$work/tree/sub/diep/leeg"
    (cd "$work/tree" && find . -type f -exec sha256sum {} + | sort -k2) > "$work/before"
}
same_as_before() { (cd "$work/tree" && find . -type f -exec sha256sum {} + | sort -k2) | cmp -s - "$work/before"; }
printf 'Geheim123\nrest wordt genegeerd\n' > "$work/pw"

# Encrypt from a password file, decrypt from standard input.
make_tree
out=$("$cli" encrypt "$work/tree" --password-file "$work/pw" --log 2>"$work/err"); rc=$?
check "encrypt exit 0" [ $rc -eq 0 ]
check "encrypted names" [ -f "$work/tree/a_txt.kol" -a -f "$work/tree/sub/foto_jpg.kol" -a -f "$work/tree/sub/diep/leeg_.kol" ]
check "summary on stdout" grep -qx 'Versleuteld: 3 bestanden' <<<"$out"
check "no plain file left" [ ! -e "$work/tree/a.txt" ]
printf 'Geheim123\n' | "$cli" decrypt "$work/tree" --password-file - >/dev/null 2>&1; rc=$?
check "decrypt exit 0" [ $rc -eq 0 ]
check "round trip" same_as_before

# A wrong key on a single file: exit 4, file untouched.
"$cli" encrypt "$work/tree/a.txt" --password-file "$work/pw" 2>/dev/null
cp "$work/tree/a_txt.kol" "$work/copy.kol"
echo fout > "$work/wrong"
"$cli" decrypt "$work/tree/a_txt.kol" --password-file "$work/wrong" 2>"$work/err"; rc=$?
check "wrong key exit 4" [ $rc -eq 4 ]
check "wrong key message" grep -q ': Onjuiste sleutel$' "$work/err"
check "wrong key leaves file" cmp -s "$work/copy.kol" "$work/tree/a_txt.kol"

# Usage errors: exit 2 with a Dutch message.
"$cli" versleutel 2>"$work/err"; rc=$?
check "usage exit 2" [ $rc -eq 2 ]
check "usage message" grep -q 'Gebruik: kolvik-cli' "$work/err"
"$cli" encrypt "$work/bestaat-niet" --password-file "$work/pw" 2>/dev/null; rc=$?
check "missing path exit 2" [ $rc -eq 2 ]
"$cli" encrypt "$work/tree" --password "x" 2>/dev/null; rc=$?
check "password on command line refused" [ $rc -eq 2 ]

# register, then the PIN: the first run stores it, a later run with another PIN is refused.
make_tree
"$cli" register 2>/dev/null; rc=$?
check "register exit 0" [ $rc -eq 0 ]
check "store written" grep -q 'kolvik10.0.2' "$XDG_CONFIG_HOME/kolvik/registry.reg"
"$cli" encrypt "$work/tree/a.txt" --password-file "$work/pw" 2>"$work/err"; rc=$?
check "PIN created" grep -q 'Onthoud de eerste drie tekens' "$work/err"
echo 'Anders123' > "$work/other"
"$cli" encrypt "$work/tree/sub/foto.jpg" --password-file "$work/other" 2>"$work/err"; rc=$?
check "wrong PIN exit 3" [ $rc -eq 3 ]
check "wrong PIN message" grep -qx 'Foute PIN-code' "$work/err"
check "wrong PIN encrypts nothing" [ -f "$work/tree/sub/foto.jpg" -a ! -e "$work/tree/sub/foto_jpg.kol" ]
"$cli" unregister 2>/dev/null; rc=$?
check "unregister exit 0" [ $rc -eq 0 ]
check "store emptied" bash -c "! grep -q 'kolvik10.0.2' '$XDG_CONFIG_HOME/kolvik/registry.reg'"

# Ctrl+C in the middle of a large file: exit 130, original intact, nothing else left.
rm -rf "$work/big"; mkdir "$work/big"
head -c $((1536 << 20)) /dev/zero | tr '\0' 'k' > "$work/big/groot.bin"
"$cli" encrypt "$work/big/groot.bin" --password-file "$work/pw" 2>/dev/null &
pid=$!
for _ in $(seq 1 200); do
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'groot.bin' && break
    sleep 0.01
done
sleep 0.2
kill -INT $pid; wait $pid; rc=$?
check "interrupt exit 130" [ $rc -eq 130 ]
check "interrupted original intact" bash -c "head -c $((1536 << 20)) /dev/zero | tr '\\0' k | cmp -s - '$work/big/groot.bin'"
check "nothing else left" [ "$(ls -A "$work/big")" = groot.bin ]

echo "cli: $passed passed, $failed failed"
[ $failed -eq 0 ]
