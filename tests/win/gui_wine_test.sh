#!/usr/bin/env bash
# sntool-gui.exe under Wine and Xvfb against pagersim on COM7 (a pty), driven
# with xdotool as an operator would: every state of the window in turn, with
# a screenshot of each when a folder is given.
# Usage: gui_wine_test.sh WINDOWS_BUILD PAGERSIM [SCREENSHOT_DIR]
set -euo pipefail
exe=$(realpath "$1/app/win/sntool-gui.exe")
pagersim=$(realpath "$2")
shots=${3:+$(realpath "$3")}
# The pty's waits block as a UART's do: the harness's preload, built by the
# Windows build (tests/windows/wine-ptywait.c), never shipped.
ptywait=$(realpath "$1/tests/wine-ptywait.so" 2>/dev/null || true)
[ -f "$ptywait" ] || { echo "FAIL: no wine-ptywait preload in $1/tests" >&2; exit 1; }

work=$(mktemp -d)
cd "$work"
pids=()
cleanup() {
    exec 3>&- 2>/dev/null || true
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- report" >&2; cat report.txt >&2 || true
    echo "--- pagersim" >&2; tail -20 sim.out >&2 || true
    exit 1
}

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((200 + $$ % 500))
Xvfb "$display" -screen 0 600x360x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    pids+=($!)
fi
wine wineboot -i >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
# The server starts without the preload.
preload=(env "LD_PRELOAD=$ptywait")
wineserver -p >/dev/null 2>&1

last_status() { grep '^status' report.txt 2>/dev/null | tail -1 | cut -f2; }
wait_status() {  # TEXT [SECONDS]
    local end=$((SECONDS + ${2:-20}))
    until [ "$(last_status)" = "$1" ]; do
        [ $SECONDS -lt $end ] || fail "status '$1' not reached (last: '$(last_status)')"
        sleep 0.2
    done
}
point() { grep "^point	$1	" report.txt | cut -f3; }
click() { xdotool mousemove $(point "$1") click 1; sleep 0.3; }
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true; }
wait_window() {  # NAME -> id
    local w
    for _ in $(seq 100); do
        w=$(window "$1")
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    fail "no window '$1'"
}
wait_gone() { for _ in $(seq 50); do [ -z "$(window "$1")" ] && return 0; sleep 0.1; done; fail "'$1' still open"; }
shot() { [ -z "$shots" ] || { sleep 0.5; import -window root -bordercolor black -border 1 -trim +repage "$shots/$1.png"; }; }
dismiss() {  # the box NAME, by its default button
    local w
    w=$(wait_window "$1")
    xdotool windowactivate --sync "$w" key Return
    wait_gone "$1"
}
type_serial() {
    click serial
    xdotool type --delay 40 "$1"
}

NOT_CONNECTED=" USB device not connected!"
SEAT=" Please make sure that pager is properly seated in programming cradle."
ENTER=" Enter the Serial Number."
CLICK=" Click the 'Write the Serial Number' Button."
WRITING=" It is undergoing the serial number changes."
DONE=" Successfully completed."
NUMBERED=' This pager already has a Serial Number. \r\n So, it can not modify any more.'
REFUSED=" This model can not modify the Serial Number."
CLOSING=" The window closes once this pager is finished. Please wait."

start_app() {  # [OPTION...]
    rm -f report.txt
    "${preload[@]}" wine "$exe" --port COM7 --report-status report.txt "$@" >/dev/null 2>&1 &
    app=$!
    pids+=($app)
}
close_app() {
    xdotool windowactivate --sync "$(wait_window 'Corvel Serial Number Tool')" key alt+F4
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then fail "the window did not close"; fi
    grep -q '^stall-ms' report.txt || fail "no stall figure at close"
}

# No COM7 at all: the status and its box.
start_app
wait_status "$NOT_CONNECTED" 60
wait_window "Serial Number Tool" >/dev/null
grep -q "^box	Serial Number Tool	Communication Error #1" report.txt || fail "no Communication Error #1 box"
shot 01-not-connected
dismiss "Serial Number Tool"
close_app

# The cradle: COM7 is mapped to a link to pagersim's pty (the mapping is
# read when the server starts).
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$work/cradle" /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1
# The mount manager makes the device link as the prefix's services start.
wine reg query 'HKLM\Software\Wine\Ports' /v COM7 >/dev/null 2>&1 || fail "COM7 not mapped"
for _ in $(seq 100); do [ -L "$WINEPREFIX/dosdevices/com7" ] && break; sleep 0.1; done
[ -L "$WINEPREFIX/dosdevices/com7" ] || fail "no device link for COM7"
mkfifo sim.in
"$pagersim" --removed --link "$work/cradle" <sim.in >sim.out 2>&1 &
pids+=($!)
exec 3>sim.in
sim() { echo "$1" >&3; sleep 0.3; }
start_app
wait_status "$SEAT" 60
shot 02-no-pager
sleep 4  # a few no-pager ticks, for the stall figure
sim seat
wait_status "$ENTER"
shot 03-ready

# A serial number typed in lower case is written in capitals.
type_serial ab12cd34ef
wait_status "$CLICK"
shot 04-ten-characters
click write
wait_status "$WRITING"
shot 05-writing
wait_status "$DONE" 60
sim "memory 0110 10"
grep -q "0110: 41 42 31 32 43 44 33 34 45 46" sim.out || fail "the pager does not hold AB12CD34EF"
shot 06-success

# The same pager again: numbered already.
sim remove
wait_status "$SEAT"
sim seat
wait_status "$NUMBERED"
shot 07-already-numbered

# A model whose number cannot be set.
sim "numbered off"
sim "model KTN4060C"
xdotool key ctrl+n
wait_status "$ENTER"
type_serial zx98cv76bn
click write
wait_status "$REFUSED" 30

# Write Error #1: its box, dismissed.
sim reset
xdotool key ctrl+n
wait_status "$ENTER"
sim "fault write-start nak always"
type_serial qw12er34ty
click write
wait_window "Serial Number Tool" >/dev/null
grep -q "^box	Serial Number Tool	Write Error #1" report.txt || fail "no Write Error #1 box"
shot 08-error-box
dismiss "Serial Number Tool"
sim clear

# F9 does nothing; Tools > System Setup opens System Configuration.
xdotool key ctrl+n
wait_status "$ENTER"
click write  # the focus out of the field
xdotool key F9
sleep 1
[ -z "$(window 'System Configuration')" ] || fail "F9 opened System Configuration"
grep -q "^dialog	system-configuration" report.txt && fail "F9 ran System Setup"
click tools
xdotool key s
wait_window "System Configuration" >/dev/null
shot 09-system-configuration
xdotool key Escape
wait_gone "System Configuration"

# About, and closing the window.
click help
xdotool key a
wait_window "About Corvel Serial Number Tool" >/dev/null
shot 10-about
xdotool key Return
wait_gone "About Corvel Serial Number Tool"
close_app

# The GUI thread's longest stalls: during the write, and during no-pager ticks.
# Each status line carries the longest stall since the one before it.
awk -F'\t' '$1 == "status" && $2 == " Successfully completed." { if ($3 > w) w = $3 }
            $1 == "status" && prev ~ /properly seated/ { if ($3 > n) n = $3 }
            $1 == "status" { prev = $2 }
            $1 == "stall-ms" { a = $2 }
            END { printf "longest GUI stall: write %d ms, no-pager ticks %d ms, whole run %d ms\n", w, n, a }' report.txt
# With a journal the status bar counts the station's pagers of this shift:
# a batch of three, the third one's blocks refused.
sim reset
start_app --log "$(winepath -w "$work/counts.csv" 2>/dev/null)" --next-from CT12CD0001
for n in 1 2 3; do
    wait_status "$CLICK" 60
    [ "$n" != 3 ] || sim "fault write nak always"
    click write
    if [ "$n" != 3 ]; then
        wait_status "$DONE" 60
        sim "numbered off"  # the next pager, fresh
    fi
done
wait_window "Serial Number Tool" >/dev/null
grep -q "^box	Serial Number Tool	Write Error #" report.txt || fail "no Write Error box for the third pager"
dismiss "Serial Number Tool"
sim clear
counts='^idle	.*: 2 numbered, 1 failed, 0 in doubt, next CT12CD0004'
for _ in $(seq 50); do grep -q "$counts" report.txt && break; sleep 0.2; done
grep -q "$counts" report.txt || fail "no counts of two numbered and one failed in the status bar"
wait_status "$CLICK"  # the next number offered
shot 11-status-counts
close_app

# Closed while the blocks are written: the window waits, saying so, until the
# pager is finished and its row recorded.
sim reset
sim "fault write nak 10"
sim "fault write-finish nak 4"
start_app --log "$(winepath -w "$work/log.csv" 2>/dev/null)"
wait_status "$ENTER" 60
type_serial lg12cd0001
click write
wait_status "$WRITING"
xdotool windowactivate --sync "$(wait_window 'Corvel Serial Number Tool')" key alt+F4
wait_status "$CLOSING"
for _ in $(seq 150); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then fail "the window did not close after the write"; fi
grep -q ',LG12CD0001,written,' log.csv || fail "no row for the pager written while closing"
sim "memory 3C10 10"
grep -q "3C10: 4C 47 31 32 43 44 30 30 30 31" sim.out || fail "the mirror was not written before the window closed"

echo "PASS: sntool-gui.exe under Wine"
