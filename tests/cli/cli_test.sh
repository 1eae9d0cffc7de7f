#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end runs of kolvik-cli on temporary trees, one table row per case: its setup, the exit
# status, a pattern for standard error and a check of the files afterwards.
# Usage: cli_test.sh PATH/TO/kolvik-cli
set -u
. "$(dirname "$0")/table.sh"
table_work "$1" kolvik-cli kolvik
cli=$work/bin/kolvik-cli T=$work/tree PW=$work/pw
{ head -c 4096 /dev/zero | tr '\0' p; printf '\r\n'; } > pw4096
chmod 644 pw*
enc() { "$cli" encrypt "$@"; }
dec() { "$cli" decrypt "$@"; }

# Every entry of the tree with its kind, and every file's content.
snapshot() { (cd "$T" && find . -mindepth 1 -printf '%p %y\n' | sort; find . -type f -readable -exec sha256sum {} + | sort -k2); }
hashes() { (cd "$T" && find . -type f -exec sha256sum {} + | sort -k2); }

# --- setups: each leaves $T ready ---
plain_tree() {
    rm -rf "$T"; mkdir -p "$T/sub/diep"
    printf 'alpha' > "$T/a.txt"; head -c 300000 /dev/urandom > "$T/sub/foto.jpg"; : > "$T/sub/diep/leeg"
    hashes > plain
}
# A plain file does not count in a decryption run.
encrypted_tree() { plain_tree && quiet enc "$T" --password-file pw && printf 'gewoon' > "$T/los.txt"; }
registered() { plain_tree && quiet "$cli" register; }
pin_stored() { registered && quiet enc "$T/a.txt" --password-file pw; }
big_file() { rm -rf "$T"; mkdir -p "$T"; head -c 200M /dev/zero > "$T/groot.bin"; }
home_not_writable() { plain_tree; chmod 0555 "$HOME"; }
modes_tree() { plain_tree && chmod 0644 "$T/a.txt" && chmod 0600 "$T/sub/foto.jpg"; }
many_files() { rm -rf "$T"; mkdir -p "$T"; for i in $(seq 1 400); do head -c 200000 /dev/urandom > "$T/f$i.bin"; done; hashes > plain; }

# --- command wrappers ---
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
stdin_from() { local from=$1; shift; "$@" < "$from"; }
# Standard output and error on a pipe whose reader is gone, as after "| head -1".
closed_pipe() {
    python3 -c 'import os, signal, sys
r, w = os.pipe(); os.close(r); os.dup2(w, 1); os.dup2(w, 2)
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
os.execvp(sys.argv[1], sys.argv[1:])' "$@"
}
with_umask() { local mask=$1; shift; (umask "$mask" && exec "$@"); }
size_limited() { bash -c 'ulimit -f 100 && exec "$@"' - "$@"; }
# Ctrl+Z in the middle of a run: the run must stop holding no lease, and go on when continued.
suspend_mid_run() {
    "$cli" encrypt "$T" --password-file pw > /dev/null &
    local pid=$! state=
    until compgen -G "$T/*.kol" > /dev/null; do kill -0 "$pid" 2>/dev/null || break; done
    kill -TSTP "$pid"
    for _ in $(seq 1 600); do
        state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
        [ "$state" = T ] || [ -z "$state" ] && break
        sleep 0.1
    done
    rm -f suspended_clean
    [ "$state" = T ] && ! grep -q "LEASE.* $pid " /proc/locks && echo ja > suspended_clean
    kill -CONT "$pid"
    wait "$pid"
}

# --- checks of the files afterwards ---
all_encrypted_quietly() { [ -f "$T/a_txt.kol" ] && [ -f "$T/sub/foto_jpg.kol" ] && [ -z "$(find "$T" -type f ! -name '*.kol' ! -name Kolvik.log)" ]; }
round_trip() {
    [ "$(hashes | grep -v ' \./los\.txt$')" = "$(cat plain)" ] && [ "$(cat "$T/los.txt")" = gewoon ] &&
        grep -qx 'Ontsleuteld: 3 bestanden' out
}
store_written() { grep -q "$progid" "$XDG_CONFIG_HOME/kolvik/registry.reg"; }
installed() { store_written && cmp -s "$work/bin/kolvik" "$HOME/.local/bin/kolvik"; }
no_window_program() { plain_tree && rm "$work/bin/kolvik"; }
# The scripts still went in; the stand-in is put back for the rows after.
store_written_anyway() { store_written; local ok=$?; printf 'venster\n' > "$work/bin/kolvik"; return $ok; }
store_emptied() { ! store_written; }
a_encrypted() { [ -f "$T/a_txt.kol" ] && [ ! -e "$T/a.txt" ]; }
nothing_registered() { [ ! -e "$XDG_CONFIG_HOME/kolvik/registry.reg" ]; }
foto_kept() { [ "$(hashes | grep foto)" = "$(grep foto plain)" ] && [ ! -e "$T/sub/foto_jpg.kol" ]; }
modes_kept() { [ "$(stat -c %a "$T/a_txt.kol" "$T/sub/foto_jpg.kol")" = "$(printf '644\n600')" ]; }
resumed_clean() { [ -s suspended_clean ] && [ -z "$(find "$T" -type f ! -name '*.kol')" ] && [ "$(find "$T" -name '*.kol' | wc -l)" -eq 400 ]; }
# Without the stop the next file would be tried and named instead.
stopped_with_summary() { unchanged && grep -qx 'Ontsleuteld: 0 bestanden' out && grep -qxF "$T/sub: niet bereikt: de run is eerder gestopt" err; }

# Each row in a home of its own.
fresh_row() {
    rm -rf "$work/home"
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
        XDG_STATE_HOME=$work/home/state
    mkdir -p "$HOME"
}
row "decrypt from stdin"         encrypted_tree    0 -                      round_trip      stdin_from pw dec "$T" $p -
row "no command"                 plain_tree        2 "$usage"               unchanged       "$cli"
row "unknown command"            plain_tree        2 "$usage"               unchanged       "$cli" versleutel "$T" $p pw
row "unknown option"             plain_tree        2 "onbekende optie: --password" unchanged enc "$T" --password Geheim123
row "missing PAD"                plain_tree        2 "$usage"               unchanged       enc $p pw
row "PAD after register"         plain_tree        2 "te veel argumenten"   unchanged       "$cli" register "$T"
row "password of 4096 bytes"     plain_tree        0 -                      a_encrypted     enc "$T" $p pw4096
row "/dev/zero on stdin"         plain_tree        2 "geen tekstbestand"    unchanged       stdin_from /dev/zero timeout 5 "$cli" encrypt "$T" $p -
row "password file is a folder"  plain_tree        2 "wachtwoord"           unchanged       enc "$T" $p "$T/sub"
row "register"                   plain_tree        0 -                      installed       "$cli" register
row "register, no window program" no_window_program 1 "het programma kon niet naar $HOME/\.local/bin worden gekopieerd" store_written_anyway "$cli" register
row "PIN refused"                pin_stored        3 "^Foute PIN-code$"     unchanged       enc "$T/sub/foto.jpg" $p pw2
row "unregister"                 pin_stored        0 -                      store_emptied   "$cli" unregister
# a_txt.kol comes first and stops the run: sub is never reached.
row "--stop-on-wrong-key"        encrypted_tree    4 "^$T/a_txt\.kol: Onjuiste sleutel$" stopped_with_summary dec "$T" $p wrong --stop-on-wrong-key
row "SIGTERM mid-file"           big_file        143 -                      unchanged       mid_file TERM "$cli" encrypt "$T/groot.bin" $p pw
row "SIGINT mid-file"            big_file        130 -                      unchanged       mid_file INT "$cli" encrypt "$T/groot.bin" $p pw
row "register, home not writable" home_not_writable 1 "registreren is niet gelukt" nothing_registered as_nobody "$cli" register
# A store it may not read reads as empty; that proves nothing was removed.
row "unregister, store not readable" registered 1 "afmelden is niet gelukt" store_written as_nobody "$cli" unregister
row "stdout and stderr closed"   plain_tree        0 -                      all_encrypted_quietly closed_pipe "$cli" encrypt "$T" $p pw
# The copies get their originals' bits whatever the umask would take away.
row "umask 077"                  modes_tree        0 -                      modes_kept      with_umask 077 "$cli" encrypt "$T" $p pw
row "file size limit"            plain_tree        1 "foto\.jpg"            foto_kept       size_limited "$cli" encrypt "$T" $p pw
row "Ctrl+Z mid-run, continued"  many_files        0 -                      resumed_clean   suspend_mid_run

# --- the strong format ---
strong_encrypted() {
    all_encrypted_quietly && grep -qx 'Versleuteld: 3 bestanden' out && for f in a_txt sub/foto_jpg sub/diep/leeg_; do
        strong_file "$T/$f.kol" || return 1
    done
}
# Read-only and of nobody's, as a run by nobody finds it: overwritten all the same. The
# whole tree is checked, so this is also the row of an ordinary tree encrypted --strong.
read_only_owned() { plain_tree; chmod 0444 "$T/a.txt"; chown -R nobody:nogroup "$T" "$HOME"; }
row "read-only file --strong"    read_only_owned   0 -                      strong_encrypted as_nobody "$cli" encrypt "$T" $p "$PW" --strong
row "--strong with decrypt"      plain_tree        2 "--strong hoort bij encrypt" unchanged dec "$T" $p pw --strong

checks_end
