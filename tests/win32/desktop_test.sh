#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Kolvik.exe on a desktop: Wine on an Xvfb display of its own, driven with xdotool at the places
# the layout's twips give the controls, at 96 and at 144 dpi. The registered commands' runs
# check the files on disk; each window is saved as a screenshot in the build folder for a
# person to look at.
#   tests/win32/desktop_test.sh KOLVIK.EXE BUILD_FOLDER
set -euo pipefail
exe=$(realpath "$1")
build=$(realpath "$2")
# The build's version, as configured into its Version.h.
version=$(sed -n 's/^#define KOLVIK_VERSION "\(.*\)"$/\1/p' "$build/generated/Version.h")
shots=$build/screenshots
work=$build/desktop-test
export WINEPREFIX=$build/wineprefix-desktop WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
wine=/usr/lib/wine/wine64
[ -x $wine ] || wine=$(command -v wine64 || command -v wine)

# An X display of our own: the first free number from 70 on.
display=70
while [ -e /tmp/.X$display-lock ] || [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
export DISPLAY=:$display
xvfb_pid=
started=()
cleanup() {
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done

fail() {
    echo "FOUT: $*" >&2
    # What was on screen instead, for whoever reads a failed CI run without its screenshot.
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "  venster: '$(xdotool getwindowname "$w" 2>/dev/null)'" >&2
    done
    import -window root "$shots/failure.png" 2>/dev/null || true
    exit 1
}
# wait_for SECONDS CONDITION...: polls the condition until it holds.
wait_for() {
    local limit=$(($1 * 10))
    shift
    for _ in $(seq $limit); do "$@" && return 0; sleep 0.1; done
    return 1
}

rm -rf "$work"
mkdir -p "$shots" "$work/prog"
rm -f "$shots/failure.png"
# A fresh prefix: no registration, PIN code or installed copy left from an earlier run.
rm -rf "$WINEPREFIX"
$wine wineboot -i >/dev/null 2>&1
# Wine draws the window frames itself (there is no window manager), so captions show.
$wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
# The program runs from a folder of its own, from which the registration copies it.
cp "$exe" "$work/prog/Kolvik.exe"
prog=$work/prog/Kolvik.exe

dpi=96
px() { echo $((($1 * dpi + 720) / 1440)); }  # twips to pixels, rounded

# found NAME_REGEX: the last visible window of that name, as $wid. xdotool gives up on a search
# when a window it lists is destroyed meanwhile (a message box closing): it is polled.
found() { wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1); [ -n "$wid" ]; }
# appears NAME_REGEX: waits for the window (a first start of a program under a loaded Wine can
# take half a minute), and a moment for it to settle.
appears() {
    wait_for 60 found "$1" || fail "geen venster '$1'"
    sleep 0.5
}
# window NAME_REGEX CLIENT_WIDTH_TWIPS CLIENT_HEIGHT_TWIPS: finds the window and its client
# area's place on screen (the frame is what the window has beyond its client size).
window() {
    appears "$1"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    local cw ch border
    cw=$(px "$2")
    ch=$(px "$3")
    border=$(((WIDTH - cw) / 2))
    cx=$((X + border))
    cy=$((Y + HEIGHT - border - ch))
    [ "$border" -ge 0 ] && [ $((cy - Y)) -ge "$border" ] || fail "venster '$1' is te klein"
}
# click LEFT TOP WIDTH HEIGHT (twips, in the last window found): the control's centre.
click() {
    xdotool mousemove --sync $((cx + $(px $(($1 + $3 / 2))))) $((cy + $(px $(($2 + $4 / 2))))) \
        click 1
    sleep 0.4
}
shot() {
    # The pointer steps out of the way, and a tooltip it raised goes with it. It comes back
    # after: without a window manager the keys go to the window under the pointer.
    local X0 Y0 SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    X0=$X Y0=$Y
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    xdotool mousemove 0 0
    sleep 1
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shots/$1-$dpi.png"
    xdotool mousemove "$X0" "$Y0"
    sleep 0.3
}
start() {  # start PROGRAM ARGUMENTS...: under Wine, in the background
    "$wine" "$@" >/dev/null 2>&1 &
    started+=($!)
}
gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# closes NAME_REGEX MESSAGE ACTION...: the action must close the window, or the test fails.
closes() {
    local name=$1 message=$2
    shift 2
    "$@"
    wait_for 10 gone "$name" || fail "$message"
}

# The main window's controls (twips), as laid out.
main_w=5835 main_h=3990
txt1="1800 240 2895 375" cmdExit="4800 240 735 855" cmdGo="1800 1200 2055 375"
cmdEncrypt="3960 1200 735 375" cmdDecrypt="4800 1200 735 375" chkLoggen="1560 1320 255 255"
password=Geheim-42
main_caption="^Kolvik v${version//./\\.}"
# main_window [CAPTION_REGEX]: the main window, by its caption at start-up unless another is given.
main_window() { window "${1:-$main_caption}" $main_w $main_h; }
exit_main() { closes "$main_caption" "Exit sluit het venster niet" click $cmdExit; }
# go BUTTON: both passwords typed as a user would (Tab to the second), the mode button given
# as its twips, then the button that starts the run.
go() {
    click $txt1
    xdotool type --delay 30 "$password"
    xdotool key Tab
    xdotool type --delay 30 "$password"
    click "$@"
    click $cmdGo
}

# A folder with a name that holds spaces, and a file in it: the window starts on it, and the
# registered commands below run on both.
map="$work/map met spaties"
mkdir -p "$map"
printf 'notitie\r\n' >"$map/notitie 1.txt"
wmap=$(winepath -w "$map")

# The windows at a DPI. What a run does is the unit suites'; runs through the window are the
# registered commands' below.
run_at() {
    dpi=$1
    $wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    wineserver -k 2>/dev/null || true
    start "$prog" "$wmap"
    main_window
    shot main

    # The key commands reach the window whichever control has the focus: here a text box.
    xdotool key F1
    window '^Help$' 3645 2685
    shot help
    # The help window's Exit button has the focus.
    closes '^Help$' "Escape sluit het helpvenster niet" xdotool key Escape
    main_window
    click $txt1
    xdotool key ctrl+r
    window '^Kolvik registreren$' 3645 2685
    shot registreren
    reg_x=$cx reg_y=$cy
    # A press on the context-menu text, with its box ticked, explains the PIN code.
    click 810 1350 1530 615
    window '^Kolvik$' 4680 2295
    shot tooltip
    closes '^Kolvik$' "de uitleg sluit niet" click 150 150 4365 1965
    cx=$reg_x cy=$reg_y
}

run_at 144
# The registration dialog is still open: cancel, and end the program.
click 2475 1650 915 315
main_window
exit_main

run_at 96
# Register: the .kol association and both context-menu entries (both boxes are ticked).
closes '^Kolvik registreren$' "OK sluit de registratie niet" click 2475 1200 915 315
reg_command() { $wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
open_command=$(reg_command "HKCR\\kolvik$version\\shell\\Open\\command")
file_command=$(reg_command 'HKCR\*\shell\Besleutel met Kolvik\command')
folder_command=$(reg_command 'HKCR\Directory\shell\Kolvik.Besleutel\command')
# Their text is checked letter for letter by the scripts and registry tests; here they run.
# Ctrl+U's question is the key commands' (tests/core, tests/gui); F1 and Ctrl+R above show
# that such a key reaches this window.
main_window
exit_main

# The start from Explorer: the registered commands with the clicked file and folder. The
# context-menu commands run as Explorer runs them: %1 replaced by the path.
tail25() { local s=$1; [ ${#s} -le 25 ] && echo "$s" || echo "${s: -25}"; }
caption_of() { sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<": ... $(tail25 "$1")"; }
verb() {  # verb COMMAND PATH: a registered command for PATH, run by cmd, and its window
    printf '%s\r\n' "${1/\%1/$2}" >"$work/verb.bat"
    start cmd /c "$(winepath -w "$work/verb.bat")"
    main_window "$(caption_of "$2")\$"
}
verb "$file_command" "$wmap\\notitie 1.txt"
go $cmdEncrypt
# The first run under the context menu makes the PIN code: one message, OK.
appears '^Kolvik$'
xdotool key Return
wait_for 30 test -f "$map/notitie 1_txt.kol" || fail "contextmenu: bestand niet versleuteld"

# A window of the context menu on a .kol stays out of the DDE question of the double-click
# below, which must get a window of its own (on top: both stand in the screen's centre).
cp "$map/notitie 1_txt.kol" "$map/kopie_txt.kol"
verb "$file_command" "$wmap\\kopie_txt.kol"

# The open command of the association, through the shell as a double-click goes.
start start /unix "$map/notitie 1_txt.kol"
opened="$(caption_of "$wmap\\notitie 1_txt.kol")\$"
main_window "$opened"
go $cmdDecrypt
wait_for 30 test -f "$map/notitie 1.txt" || fail "associatie: bestand niet ontsleuteld"
# A decrypted text file opens in Notepad.
appears 'Notepad|Kladblok'
# Notepad has the focus, maximised over everything.
closes 'Notepad|Kladblok' "Kladblok sluit niet" xdotool key alt+F4
main_window "$opened"
closes "$opened" "Exit sluit het venster niet" click $cmdExit
main_window
exit_main

# The folder's context-menu command, with the log on: the box's click reaches the run. The
# registered commands start the copy in the system folder, which keeps its log beside it.
verb "$folder_command" "$wmap"
click $chkLoggen
go $cmdEncrypt
wait_for 30 test -f "$map/notitie 1_txt.kol" || fail "contextmenu: map niet versleuteld"
wait_for 10 grep -qs "Versleuteld: 1 bestanden" "$WINEPREFIX/drive_c/windows/system32/Kolvik.log" ||
    fail "geen samenvatting in Kolvik.log"
click $cmdExit
echo "desktop_test: geslaagd; schermafdrukken in $shots"
