#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows setup under Wine, in a fresh prefix of its own: a silent install puts the
# programs, the Start-menu entry and the Apps entry in place; the installed kolvik-cli.exe
# registers; a silent uninstall takes the registration, the programs and those entries away
# and leaves a .kol file in the user's folder byte for byte.
# Usage: setup_wine_test.sh SETUP.exe VERSION PREFIX
set -u
setup=$1 version=$2 prefix=$3
wine_run=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
[ -f "$setup" ] || { echo "FAILED: no setup at $setup" >&2; exit 1; }
# settled PROGRAM ARGUMENTS...: run under Wine, then wait for every process of the prefix (an
# uninstaller copies itself away and returns at once).
settled() { "$wine_run" "$@"; wineserver -w; }
rm -rf "$prefix"
settled wineboot -i >/dev/null 2>&1

. "$(dirname "$0")/../support/checks.sh"
# A folder as the prefix's programs see it, and where it lies on this machine.
windows_var() { "$wine_run" cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }
unix_path() { "$wine_run" winepath -u "$1" 2>/dev/null; }
key() { "$wine_run" reg query "$1" >/dev/null 2>&1; }
absent() { [ ! -e "$1" ]; }
not_key() { ! key "$1"; }

install_win="$(windows_var LOCALAPPDATA)\\Programs\\Kolvik"
install=$(unix_path "$install_win")
menu_entry=$(unix_path "$(windows_var APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Kolvik.lnk")
profile_win=$(windows_var USERPROFILE)
profile=$(unix_path "$profile_win")
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kolvik'
progid="kolvik$version"
cli() { "$wine_run" "$install/kolvik-cli.exe" "$@"; }

# Installed silently, for this user only.
settled "$setup" /S
for file in Kolvik.exe kolvik-cli.exe README.md LICENSE Uninstall.exe; do
    check "installed $file" [ -f "$install/$file" ]
done
check "Start-menu entry" [ -f "$menu_entry" ]
"$wine_run" reg query "$uninstall_key" /v UninstallString >"$work/uninstall" 2>&1
check "Apps entry names the uninstaller" grep -qiF "$install_win\\Uninstall.exe" "$work/uninstall"
version_line() { [ "$(cli --version 2>&1 | tr -d '\r')" = "kolvik-cli $version" ]; }
check "kolvik-cli.exe --version" version_line

# A second install in a folder of its own (/D) has an Apps entry of its own, and its uninstall
# leaves the first install's entry alone.
other_win="$profile_win\\Tweede\\Kolvik"  # without a blank, which Wine would quote
settled "$setup" /S "/D=$other_win"
other=$(unix_path "$other_win")
other_key="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kolvik (${other_win//\\//})"
check "second install" [ -f "$other/Kolvik.exe" ]
check "second Apps entry" key "$other_key"
# Its entry's removal is the last check's, which finds any key of ours that stayed.
settled "$other/Uninstall.exe" /S
check "first Apps entry kept" key "$uninstall_key"

# Registered, then a file encrypted in the user's folder (the first run after registering
# also stores the PIN's checksum in the registration).
cli register >/dev/null 2>&1
check "registered .kol" key 'HKCR\.kol'
check "registered open command" key "HKCR\\$progid\\shell\\Open\\command"
check "registered context menu" key 'HKCR\*\shell\Besleutel met Kolvik\command'
printf 'Geheim123\n' >"$work/pw"
printf 'Het rapport van dit kwartaal.\n' >"$profile/rapport.txt"
cli encrypt "$profile_win\\rapport.txt" --password-file "Z:${work//\//\\}\\pw" >/dev/null 2>&1
kol="$profile/rapport_txt.kol"
check "encrypted into the user's folder" [ -f "$kol" ]
check "PIN checksum registered" key "HKCR\\$progid\\Checksum"
sha256sum "$kol" >"$work/kol.sha256" 2>/dev/null
# The window keeps the Sterk choice under the user's own key.
"$wine_run" reg add 'HKCU\Software\Kolvik' /v Sterk /d 1 /f >/dev/null 2>&1
check "Sterk choice stored" key 'HKCU\Software\Kolvik'

# Uninstalled silently.
settled "$install/Uninstall.exe" /S
# Nothing of ours stays (Kolvik.ico included, which a registration without administrator
# rights puts beside the program): only Kolvik.log, the user's record, may keep the folder.
leftover=$(find "$install" -mindepth 1 ! -name Kolvik.log 2>/dev/null)
check "nothing left in the folder" [ -z "$leftover" ]
check "Start-menu entry removed" absent "$menu_entry"
# The machine's keys, and the user's that need not name Kolvik; the rest are the last check's.
for k in 'HKCR\.kol' "HKCR\\$progid" 'HKCR\*\shell\Besleutel met Kolvik' \
    'HKCR\Directory\shell\Kolvik.Besleutel' 'HKCU\Software\Classes\.kol' \
    'HKCU\Software\Classes\*\shell' 'HKCU\Software\Classes\Directory\shell'; do
    check "unregistered $k" not_key "$k"
done
# Nor does any other key or value of this user name Kolvik: the server saves them as it ends.
wineserver -w
check "no user key names Kolvik" eval '[ -s "$prefix/user.reg" ] && ! grep -qi kolvik "$prefix/user.reg"'
check ".kol file kept byte for byte" sha256sum --quiet -c "$work/kol.sha256"

checks_end
