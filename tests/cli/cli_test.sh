#!/usr/bin/env bash
# End-to-end runs of kolvik-cli on temporary trees, one table row per case: its setup, the
# command, the exit status, a fragment of standard error and the files afterwards.
# Usage: cli_test.sh PATH/TO/kolvik-cli
set -u
work=$(mktemp -d)
chmod 755 "$work"  # the rows that run as nobody must reach their tree
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
# A private copy: Kolvik.log and the program's own folder are then inside $work.
mkdir "$work/bin"
cp "$1" "$work/bin/kolvik-cli"
cli=$work/bin/kolvik-cli
T=$work/tree PW=$work/pw
printf 'Geheim123\nrest wordt genegeerd\n' > "$PW"
printf 'Anders456\n' > "$work/pw2"
printf 'fout\n' > "$work/wrong"
chmod 644 "$PW" "$work/pw2" "$work/wrong"

fresh_home() {
    rm -rf "$work/home"
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
        XDG_STATE_HOME=$work/home/state
    mkdir -p "$HOME"
}

# Every entry of the tree with its kind, and every file's content.
state() {
    (cd "$T" && find . -mindepth 1 -printf '%p %y\n' | sort
     find . -type f -readable -exec sha256sum {} + | sort -k2)
}
hashes() { (cd "$T" && find . -type f -exec sha256sum {} + | sort -k2); }

# --- setups: each leaves $T ready; the row then snapshots it as $work/setup ---
plain_tree() {
    rm -rf "$T"; mkdir -p "$T/sub/diep"
    printf 'alpha' > "$T/a.txt"
    head -c 300000 /dev/urandom > "$T/sub/foto.jpg"
    printf '' > "$T/sub/diep/leeg"
    printf 'oud logboek' > "$T/Kolvik.log"  # the program's own log: never transformed, never counted
    hashes > "$work/plain"
}
encrypted_tree() {
    plain_tree
    "$cli" encrypt "$T" --password-file "$PW" >/dev/null 2>&1 &&
        printf 'gewoon' > "$T/los.txt" &&  # a plain file does not count in a decryption run
        hashes > "$work/encrypted"
}
future_file() { plain_tree; printf 'later' > "$T/later.txt"; touch -d '+1 day' "$T/later.txt"; }
unreadable_file() {
    plain_tree
    printf 'geheim' > "$T/sub/dicht.txt"
    chown -R nobody:nogroup "$T" "$HOME"
    chown root:root "$T/sub/dicht.txt"
    chmod 000 "$T/sub/dicht.txt"
}
skip_word_folder() { plain_tree; mkdir "$T/photos_restored"; printf 'kiekje' > "$T/photos_restored/zee.jpg"; }
name_taken() { plain_tree; printf 'bezet' > "$T/a_txt.kol"; }
registered() { plain_tree && "$cli" register >/dev/null 2>&1; }
pin_stored() { registered && "$cli" encrypt "$T/a.txt" --password-file "$PW" >/dev/null 2>&1; }
one_encrypted_file() { plain_tree && "$cli" encrypt "$T/a.txt" --password-file "$PW" >/dev/null 2>&1; }
two_keys() {  # eerste.txt under the password of $PW, tweede.txt under that of pw2
    rm -rf "$T"; mkdir -p "$T"
    printf 'een' > "$T/eerste.txt"; printf 'twee' > "$T/tweede.txt"
    "$cli" encrypt "$T/eerste.txt" --password-file "$PW" >/dev/null 2>&1 &&
        "$cli" encrypt "$T/tweede.txt" --password-file "$work/pw2" >/dev/null 2>&1
}
big_file() { rm -rf "$T"; mkdir -p "$T"; head -c 200M /dev/zero > "$T/groot.bin"; }
password_lines() {  # the boundary: 4096 bytes are a password, 4097 and 5000 are not
    plain_tree
    { head -c 4096 /dev/zero | tr '\0' p; printf '\r\n'; } > "$work/pw4096"
    { head -c 4097 /dev/zero | tr '\0' p; printf '\n'; } > "$work/pw4097"
    head -c 5000 /dev/zero | tr '\0' p > "$work/pw5000"
    printf 'ab\0cd\n' > "$work/pwnul"
    printf 'caf\xe9\n' > "$work/pwlatin1"
    printf '\n' > "$work/pwempty"
}

# --- command wrappers ---
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
stdin_text() { local text=$1; shift; printf '%s' "$text" | "$@"; }
stdin_file() { local file=$1; shift; "$@" < "$file"; }
# Sends SIGNAL while groot.bin is being encrypted; the status is the cli's.
signal_mid_file() {
    "$cli" encrypt "$T/groot.bin" --password-file "$PW" &
    local pid=$!
    until ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'groot\.bin'; do
        kill -0 "$pid" 2>/dev/null || break
    done
    kill "-$1" "$pid"
    wait "$pid"
}

# --- checks of the files afterwards ---
unchanged() { [ "$(state)" = "$(cat "$work/setup")" ]; }
all_encrypted() {
    [ -f "$T/a_txt.kol" ] && [ -f "$T/sub/foto_jpg.kol" ] && [ -f "$T/sub/diep/leeg_.kol" ] &&
        [ -z "$(find "$T" -type f ! -name '*.kol' ! -name Kolvik.log)" ] &&
        grep -qx 'Versleuteld: 3 bestanden' "$work/out"
}
round_trip() {
    [ "$(hashes | grep -v ' \./los\.txt$')" = "$(cat "$work/plain")" ] && [ "$(cat "$T/los.txt")" = gewoon ] &&
        grep -qx 'Ontsleuteld: 3 bestanden' "$work/out"
}
future_left() { [ "$(cat "$T/later.txt")" = later ] && [ -f "$T/a_txt.kol" ] && [ ! -e "$T/later_txt.kol" ]; }
unreadable_left() { [ -f "$T/sub/dicht.txt" ] && [ ! -e "$T/sub/dicht_txt.kol" ] && [ -f "$T/sub/foto_jpg.kol" ]; }
skip_word_left() { [ "$(cat "$T/photos_restored/zee.jpg")" = kiekje ] && [ -f "$T/a_txt.kol" ]; }
name_taken_left() { [ "$(cat "$T/a.txt")" = alpha ] && [ "$(cat "$T/a_txt.kol")" = bezet ]; }
pin_stored_now() { grep -qi 'Checksum' "$XDG_CONFIG_HOME/kolvik/registry.reg" && [ -f "$T/a_txt.kol" ]; }
store_written() { grep -q 'kolvik10.0.2' "$XDG_CONFIG_HOME/kolvik/registry.reg"; }
store_emptied() { ! grep -q 'kolvik10.0.2' "$XDG_CONFIG_HOME/kolvik/registry.reg"; }
long_password_worked() { [ -f "$T/a_txt.kol" ] && [ ! -e "$T/a.txt" ]; }
mixed_keys_left() { [ "$(cat "$T/eerste.txt")" = een ] && [ -f "$T/tweede_txt.kol" ]; }
stopped_with_summary() {  # eerste_txt.kol comes first and stops the run: tweede stays encrypted
    unchanged && grep -qx 'Ontsleuteld: 0 bestanden' "$work/out"
}

passed=0 failed=0
# row NAME SETUP STATUS STDERR FILES COMMAND...
#   STDERR: an extended regular expression that some line of standard error matches, or "-"
#   for an empty standard error. FILES: a check of the files afterwards, or "-".
row() {
    local name=$1 setup=$2 want=$3 err=$4 files=$5; shift 5
    local why=()
    fresh_home
    if $setup; then
        state > "$work/setup"
        "$@" >"$work/out" 2>"$work/err"
        local rc=$?
        [ "$rc" -eq "$want" ] || why+=("status $rc, expected $want")
        if [ "$err" = - ]; then
            [ -s "$work/err" ] && why+=("unexpected standard error")
        elif ! grep -Eq -- "$err" "$work/err"; then
            why+=("standard error lacks /$err/")
        fi
        [ "$files" = - ] || $files || why+=("files: $files fails")
    else
        why+=("setup $setup failed")
    fi
    if [ ${#why[@]} -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name: $(IFS=';'; echo "${why[*]}")" >&2
        sed 's/^/    stderr: /' "$work/err" | head -5 >&2
    fi
}

usage='Gebruik: kolvik-cli'
#   name                                 setup            status stderr                          files
row "encrypt a tree"                     plain_tree       0  -                                   all_encrypted \
    "$cli" encrypt "$T" --password-file "$PW"
row "decrypt it from standard input"     encrypted_tree   0  -                                   round_trip \
    stdin_text $'Geheim123\n' "$cli" decrypt "$T" --password-file -
row "file dated in the future"           future_file      1  "^$T/later\.txt: ."                 future_left \
    "$cli" encrypt "$T" --password-file "$PW"
row "file the user cannot read"          unreadable_file  1  "^$T/sub/dicht\.txt: ."             unreadable_left \
    as_nobody "$cli" encrypt "$T" --password-file "$PW"
row "skip-word folder"                   skip_word_folder 1  "^$T/photos_restored: ."            skip_word_left \
    "$cli" encrypt "$T" --password-file "$PW"
row "single file, new name taken"        name_taken       1  "^$T/a\.txt: ."                     name_taken_left \
    "$cli" encrypt "$T/a.txt" --password-file "$PW"
row "no command"                         plain_tree       2  "$usage"                            unchanged \
    "$cli"
row "unknown command"                    plain_tree       2  "$usage"                            unchanged \
    "$cli" versleutel "$T" --password-file "$PW"
row "unknown option"                     plain_tree       2  "onbekende optie: --password"       unchanged \
    "$cli" encrypt "$T" --password Geheim123
row "missing PAD"                        plain_tree       2  "$usage"                            unchanged \
    "$cli" encrypt --password-file "$PW"
row "PAD does not exist"                 plain_tree       2  "bestaat-niet"                      unchanged \
    "$cli" encrypt "$work/bestaat-niet" --password-file "$PW"
row "PAD is a device"                    plain_tree       2  "/dev/null"                         unchanged \
    "$cli" encrypt /dev/null --password-file "$PW"
row "file without extension"             plain_tree       2  "sub/diep/leeg"                     unchanged \
    "$cli" encrypt "$T/sub/diep/leeg" --password-file "$PW"
row ".kol file to encrypt"               one_encrypted_file 2 "alleen worden ontsleuteld"        unchanged \
    "$cli" encrypt "$T/a_txt.kol" --password-file "$PW"
row "plain file to decrypt"              plain_tree       2  "alleen worden versleuteld"         unchanged \
    "$cli" decrypt "$T/a.txt" --password-file "$PW"
row "empty password to encrypt"          password_lines   2  "."                                 unchanged \
    "$cli" encrypt "$T" --password-file "$work/pwempty"
row "password of 4096 bytes"             password_lines   0  -                                   long_password_worked \
    "$cli" encrypt "$T" --password-file "$work/pw4096"
row "password of 4097 bytes"             password_lines   2  "langer dan 4096 bytes"             unchanged \
    "$cli" encrypt "$T" --password-file "$work/pw4097"
row "password file of 5000 bytes"        password_lines   2  "langer dan 4096 bytes"             unchanged \
    "$cli" encrypt "$T" --password-file "$work/pw5000"
row "/dev/zero as password file"         plain_tree       2  "geen tekstbestand"                 unchanged \
    timeout 5 "$cli" encrypt "$T" --password-file /dev/zero
row "/dev/zero on standard input"        plain_tree       2  "geen tekstbestand"                 unchanged \
    stdin_file /dev/zero timeout 5 "$cli" encrypt "$T" --password-file -
row "NUL byte in the password file"      password_lines   2  "geen tekstbestand"                 unchanged \
    "$cli" encrypt "$T" --password-file "$work/pwnul"
row "password file not UTF-8"            password_lines   2  "geen geldige UTF-8"                unchanged \
    "$cli" encrypt "$T" --password-file "$work/pwlatin1"
row "password file is a folder"          plain_tree       2  "wachtwoord"                        unchanged \
    "$cli" encrypt "$T" --password-file "$T/sub"
row "register"                           plain_tree       0  -                                   store_written \
    "$cli" register
row "first run after register: the PIN"  registered       0  "Onthoud de eerste drie tekens"     pin_stored_now \
    "$cli" encrypt "$T/a.txt" --password-file "$PW"
row "PIN refused"                        pin_stored       3  "^Foute PIN-code$"                  unchanged \
    "$cli" encrypt "$T/sub/foto.jpg" --password-file "$work/pw2"
row "unregister"                         pin_stored       0  -                                   store_emptied \
    "$cli" unregister
row "wrong key, single file"             one_encrypted_file 4 "^$T/a_txt\.kol: Onjuiste sleutel$" unchanged \
    "$cli" decrypt "$T/a_txt.kol" --password-file "$work/wrong"
row "wrong key for every file of a tree" encrypted_tree   4  "^$T/sub/foto_jpg\.kol: Onjuiste sleutel$" unchanged \
    "$cli" decrypt "$T" --password-file "$work/wrong"
row "one file right, one wrong"          two_keys         1  "^$T/tweede_txt\.kol: Onjuiste sleutel$" mixed_keys_left \
    "$cli" decrypt "$T" --password-file "$PW"
row "--stop-on-wrong-key"                two_keys         4  "^$T/eerste_txt\.kol: Onjuiste sleutel$" stopped_with_summary \
    "$cli" decrypt "$T" --password-file "$work/pw2" --stop-on-wrong-key
row "SIGTERM in the middle of a file"    big_file         143 -                                  unchanged \
    signal_mid_file TERM
row "SIGINT in the middle of a file"     big_file         130 -                                  unchanged \
    signal_mid_file INT

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
