#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# kolvik-cli.exe under Wine against the Linux kolvik-cli: trees go both ways byte for byte, and
# the statuses and messages are those of the Linux table (tests/cli/cli_test.sh), which alone
# goes through the argument parsing both share. register and unregister under Wine are the
# setup's (setup_wine_test.sh), the registry's keys and PIN code RegistryTest.cpp's.
# Usage: cli_wine_test.sh PATH/TO/kolvik-cli.exe PATH/TO/linux/kolvik-cli
# WINEPREFIX names the prefix (the build's own); the caller creates it and stops its server.
set -u
exe_built=$1 linux=$2
if [ ! -x "$linux" ]; then
    echo "no Linux kolvik-cli at $linux: build it first (cmake --preset dev && cmake --build --preset dev --target kolvik-cli)" >&2
    exit 1
fi
# Wine reads the arguments in the locale's character set: UTF-8, as the names are.
export LC_ALL=C.UTF-8
wine_run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run
. "$(dirname "$0")/../cli/table.sh"
table_work "$exe_built" kolvik-cli.exe Kolvik.exe
T=$work/boom
# The same folder as Windows names it: Wine shows the Linux root as drive Z:.
win() { printf 'Z:%s' "${1//\//\\}"; }
W=$(win "$T")
exe() { "$wine_run" "$work/bin/kolvik-cli.exe" "$@"; }
exe_stdin() { exe "$@" < pw; }
printf '\xEF\xBB\xBFGeheim123\r\n' > pw_bom

snapshot() { (cd "$T" && find . -type f ! -name Kolvik.log -exec sha256sum {} + | sort -k2); }
plain_tree() {
    rm -rf "$T"; mkdir -p "$T/map met spatie/sub"
    printf 'alpha' > "$T/a.txt"; printf 'caf\xC3\xA9' > "$T/map met spatie/café é.txt"
    head -c 300000 /dev/urandom > "$T/map met spatie/sub/foto.jpg"; : > "$T/leeg"
    snapshot > plain
}
linux_encrypted() { plain_tree && quiet "$linux" encrypt "$T" --password-file pw; }
big_file() { rm -rf "$T"; mkdir -p "$T"; head -c 100M /dev/zero > "$T/groot.bin"; }
linux_strong() { plain_tree && quiet "$linux" encrypt "$T" --password-file pw --strong; }
# ".KOL" as a Windows user may have renamed it; the ending counts in any case.
caps_tree() { linux_strong && mv "$T/a_txt.kol" "$T/a_TXT.KOL"; }

all_encrypted() {
    [ -f "$T/map met spatie/café é_txt.kol" ] && [ -f "$T/map met spatie/sub/foto_jpg.kol" ] &&
        [ -f "$T/leeg_.kol" ] && [ -z "$(find "$T" -type f ! -name '*.kol' ! -name Kolvik.log)" ]
}
decrypted() { [ "$(snapshot)" = "$(cat plain)" ]; }
# Encrypted here, then decrypted by the other side: the plain tree comes back byte for byte.
then_linux_decrypts() { all_encrypted && quiet "$linux" decrypt "$T" --password-file pw && decrypted; }
inner_password() { plain_tree && cp pw "$T/wachtwoord.txt"; }
password_left() { cmp -s pw "$T/wachtwoord.txt" && [ -f "$T/a_txt.kol" ]; }

Wre=${W//\\/\\\\}  # the Windows path as an extended regular expression
# The password file as Notepad saves it: a BOM and CR LF, neither part of the password.
row "exe encrypts, Linux decrypts" plain_tree      0 -               then_linux_decrypts exe encrypt "$W" $p pw_bom
row "Linux tree, password on stdin" linux_encrypted 0 -              decrypted       exe_stdin decrypt "$W" $p -
row "strong: Linux encrypts, exe decrypts, one .KOL" caps_tree 0 -  decrypted       exe decrypt "$W" $p pw
row ".KOL in capitals, one file"   caps_tree       0 -               -               exe decrypt "$W\\a_TXT.KOL" $p pw
row "password file in the tree"   inner_password  1 "^$Wre\\\\wachtwoord\\.txt: het wachtwoordbestand van deze run" password_left exe encrypt "$W" $p "$W\\wachtwoord.txt"
row "missing password file"        plain_tree      2 "wachtwoordbestand" unchanged   exe encrypt "$W" $p nergens
# Wine hands SIGINT to the program as Ctrl+C.
row "Ctrl+C mid-file"              big_file      130 -               unchanged       mid_file INT "$wine_run" "$work/bin/kolvik-cli.exe" encrypt "$W\\groot.bin" $p pw

checks_end
