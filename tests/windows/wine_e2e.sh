#!/usr/bin/env bash
# sntool.exe end to end under Wine: pagersim serves the substitute pager on a
# Linux pty, a fresh Wine prefix maps that pty to COM7, and sntool.exe talks to
# it as it would to a cradle on Windows.
# Usage: wine_e2e.sh SNTOOL_EXE PAGERSIM PTYWAIT_SO
#
# Wine's serial wait fails on a pty every ~2 ms (a pty has no modem lines);
# the harness preloads PTYWAIT_SO (tests/windows/wine-ptywait.c, built by the
# Windows build) so that the wait blocks as it does on Windows. The preload
# is the harness's only: sntool.exe knows nothing of it.
set -u
EXE=$(realpath "$1")
PAGERSIM=$(realpath "$2")
shim=$(realpath "${3:-}" 2>/dev/null || true)
[ -n "$shim" ] && [ -f "$shim" ] || { echo "FAIL: no wine-ptywait preload (${3:-none given})"; exit 1; }
tmp=$(mktemp -d)
simpid=""
pass=0
fail=0
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
    if [ -n "$simpid" ]; then kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null; fi
    wineserver -k >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT

ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL: $*"; echo "--- stdout"; cat "$tmp/out"; echo "--- stderr"; cat "$tmp/err"; }
expect() {  # NAME RC [stdout pattern] [stderr pattern]
    local name=$1 want=$2 outpat=${3:-} errpat=${4:-}
    if [ "$rc" != "$want" ]; then bad "$name: exit $rc, expected $want"; return; fi
    if [ -n "$outpat" ] && ! grep -qF -- "$outpat" "$tmp/out"; then bad "$name: stdout lacks '$outpat'"; return; fi
    if [ -n "$errpat" ] && ! grep -qF -- "$errpat" "$tmp/err"; then bad "$name: stderr lacks '$errpat'"; return; fi
    ok
}
run() { LD_PRELOAD=$shim wine "$EXE" "$@" >"$tmp/out" 2>"$tmp/err"; rc=$?; }

start_sim() {
    rm -f "$tmp/in" "$tmp/sim.out"
    mkfifo "$tmp/in"
    "$PAGERSIM" "$@" <"$tmp/in" >"$tmp/sim.out" 2>&1 &
    simpid=$!
    exec 3>"$tmp/in"
    for _ in $(seq 100); do grep -q '^port:' "$tmp/sim.out" 2>/dev/null && break; sleep 0.05; done
    pty=$(sed -n 's/^port: //p' "$tmp/sim.out")
    [ -n "$pty" ] || { echo "pagersim did not start"; cat "$tmp/sim.out"; exit 1; }
}
sim() {  # one console command, waiting for its answer
    local lines
    lines=$(wc -l <"$tmp/sim.out")
    echo "$*" >&3
    for _ in $(seq 100); do [ "$(wc -l <"$tmp/sim.out")" -gt "$lines" ] && return; sleep 0.02; done
}
# COM7 is the pty: the mapping is read when the server starts, and the server
# must start without the preload.
map_com7() {
    wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    wineserver -p >/dev/null 2>&1
}

started=$(date +%s)
wine wineboot -i >/dev/null 2>&1
start_sim
map_com7
P=(--port COM7)

# --- ports: the interface walk finds nothing under Wine; SERIALCOMM shows COM7
run ports; expect "ports" 0 "COM7"
if grep -q "cradle bridge" "$tmp/out"; then bad "a SERIALCOMM port was taken for a cradle"; else ok; fi

# --- a complete write, verified, and the pager's memory afterwards
run "${P[@]}" --timeout 10 write AB12CD34EF --verify
expect "write" 0 "Successfully completed." 
if grep -qF "read back as written" "$tmp/out"; then ok; else bad "no verify line"; fi
sim memory 0110 A
if tail -n 1 "$tmp/sim.out" | grep -qF "0110: 41 42 31 32 43 44 33 34 45 46"; then ok; else bad "serial not in memory: $(tail -n 1 "$tmp/sim.out")"; fi
sim memory 3C10 A
if tail -n 1 "$tmp/sim.out" | grep -qF "3C10: 41 42 31 32 43 44 33 34 45 46"; then ok; else bad "serial not in the mirror"; fi
run "${P[@]}" --timeout 5 status; expect "numbered" 5 "This pager already has a Serial Number."
sim numbered off

# --- status with no pager; the CPU it uses over 10 s of waiting, once Wine
# has started it
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
sim remove
LD_PRELOAD=$shim wine "$EXE" "${P[@]}" --timeout 14 status >"$tmp/out" 2>"$tmp/err" &
waiter=$!
sleep 3
pid=$(pgrep -n -f 'sntool.exe --port COM7 --timeout 14 status')
[ -n "$pid" ] || bad "sntool.exe status not found running"
t0=$(cpu_ticks "$pid")
sleep 10
t1=$(cpu_ticks "$pid")
wait "$waiter"
rc=$?
expect "no pager" 4 "Please make sure that pager is properly seated" "no pager answered"
idle=$(awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", 100 * t / hz / 10 }')
echo "idle: sntool.exe status with no pager used ${idle} % of a core over 10 s"
if awk -v p="$idle" 'BEGIN { exit !(p < 1.0) }'; then ok; else bad "idle CPU ${idle} % (limit 1 %)"; fi
sim seat

# --- a port that does not exist: no cradle
run --port COM9 --timeout 1.5 status; expect "no cradle" 3 "" "Communication Error #1"

# --- the pager refuses the write start
sim fault write-start nak always
run "${P[@]}" --timeout 10 write AB12CD34EF; expect "write start refused" 8 "" "Write Error #1"
sim clear

# --- block 4's reply with a length field two bytes long: the frame stalls,
# is dropped after the gap, and one retry of the read writes the pager
sim numbered off
sim traffic clear
sim fault read badlen
run "${P[@]}" --timeout 10 write AB12CD34EF
expect "damaged length" 0 "Successfully completed."
lines=$(wc -l <"$tmp/sim.out"); sim traffic; sleep 0.2
if [ "$(tail -n +"$((lines + 1))" "$tmp/sim.out" | grep -c ' 02 read 0x0100')" = 2 ]; then ok; else bad "damaged length: block 4 not read exactly twice"; fi

# --- Ctrl+C, twice, while the blocks are written (Wine hands a SIGINT to the
# console's control handler): the write finishes and records its row
sim numbered off
sim traffic clear
sim fault write nak 8
log=$(winepath -w "$tmp/log.csv" 2>/dev/null)
LD_PRELOAD=$shim wine "$EXE" "${P[@]}" --timeout 10 --log "$log" write AB12CD0077 >"$tmp/out" 2>"$tmp/err" &
writer=$!
pid=""
for _ in $(seq 100); do pid=$(pgrep -n -f 'sntool.exe --port COM7 --timeout 10 --log'); [ -n "$pid" ] && break; sleep 0.1; done
for _ in $(seq 200); do
    lines=$(wc -l <"$tmp/sim.out"); sim traffic; sleep 0.05
    tail -n +"$((lines + 1))" "$tmp/sim.out" | grep -q ' 01 write' && break
done
kill -INT "$pid"; sleep 0.2; kill -INT "$pid"
wait "$writer"; rc=$?
expect "Ctrl+C twice during a write" 0 "Successfully completed."
if grep -q ',AB12CD0077,written,' "$tmp/log.csv"; then ok; else bad "Ctrl+C: no row ($(cat "$tmp/log.csv" 2>/dev/null))"; fi
sim clear
sim numbered off

# --- the cradle pulled out during the write: the pager falls silent while
# the blocks are written, then the pty hangs up
sim fault write silence always
( sleep 3; kill "$simpid" ) &
puller=$!
t0=$(date +%s)
run "${P[@]}" --timeout 10 write AB12CD34EF
t1=$(date +%s)
wait "$puller"
wait "$simpid" 2>/dev/null
simpid=""
expect "pulled during the write" 8 "" "Write Error #"
if [ $((t1 - t0)) -lt 30 ]; then ok; else bad "the pulled write took $((t1 - t0)) s"; fi

# --- the simulated cradle inside the program (no pty on Windows)
run --simulate write AB12CD34EF --verify; expect "simulate" 0 "read back as written"

echo "wine end to end: $pass passed, $fail failed in $(($(date +%s) - started)) s"
[ "$fail" -eq 0 ]
