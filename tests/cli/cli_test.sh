#!/usr/bin/env bash
# Drives the built sntool as a user would, against pagersim on a pty.
# Usage: cli_test.sh SNTOOL PAGERSIM VERSION
set -u
SNTOOL=$1
PAGERSIM=$2
VERSION=$3
tmp=$(mktemp -d)
simpid=""
. "$(dirname "$0")/checks.sh"

cleanup() {
    if [ -n "$simpid" ]; then kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

start_sim() {
    rm -f "$tmp/in" "$tmp/sim.out"
    mkfifo "$tmp/in"
    "$PAGERSIM" --link "$tmp/cradle" "$@" <"$tmp/in" >"$tmp/sim.out" 2>&1 &
    simpid=$!
    exec 3>"$tmp/in"
    for _ in $(seq 100); do grep -q '^link:' "$tmp/sim.out" 2>/dev/null && return; sleep 0.05; done
    echo "pagersim did not start"; cat "$tmp/sim.out"; exit 1
}
# Sends one command and waits for its answer.
sim() {
    local lines
    lines=$(wc -l <"$tmp/sim.out")
    echo "$*" >&3
    for _ in $(seq 100); do [ "$(wc -l <"$tmp/sim.out")" -gt "$lines" ] && return; sleep 0.02; done
}
stop_sim() { echo quit >&3; exec 3>&-; wait "$simpid"; simpid=""; }
traffic_lines() { local n; n=$(wc -l <"$tmp/sim.out"); sim traffic; sleep 0.1; tail -n +"$((n + 1))" "$tmp/sim.out" | grep -c ' s  ' ; }

P=(--port "$tmp/cradle")

# --- usage and refusals before anything is sent
run --help; expect "help" 0 "Exit codes: 0 done"
run --version; expect "version" 0 "sntool $VERSION"
if [ "$("$PAGERSIM" --version)" = "pagersim $VERSION" ]; then ok; else bad "pagersim --version"; fi
run frobnicate; expect "unknown command" 2
run --port a --simulate status; expect "port and simulate" 2
start_sim
run "${P[@]}" write AB12CD34E; expect "nine characters" 2 "" "exactly 10 characters"
run "${P[@]}" --trace write AB12CD34EFG; expect "eleven characters" 2 "" "exactly 10 characters"
run write "AB12 CD34E" "${P[@]}"; expect "blank" 2 "" "letters, digits and '*'"
run write "AB12-CD34E" "${P[@]}"; expect "minus" 2 "" "position 5 holds '-'"
if [ "$(traffic_lines)" = "0" ]; then ok; else bad "refused serials sent frames"; fi

# --- the production log refuses before anything is sent
printf 'time,station,port,model,serial before,serial written,outcome,tool version\r\n2026-12-07T10:00:00+01:00,line-2,/dev/ttyUSB0,KTN4070C,,ab12cd0001,verified,0.1.0\r\n' >"$tmp/other.csv"
run "${P[@]}" --log "$tmp/mine.csv" --log "$tmp/other.csv" write AB12CD0001; expect "duplicate" 10 "" "was already written on 2026-12-07T10:00:00+01:00 at station line-2"
run "${P[@]}" --log "$tmp/no/such.csv" write AB12CD0002; expect "log cannot be opened" 11 "" "$tmp/no/such.csv cannot be opened: No such file or directory"
if [ "$(traffic_lines)" = "0" ]; then ok; else bad "refused by the log, frames were sent"; fi
run "${P[@]}" --log "$tmp/mine.csv" --log "$tmp/other.csv" --allow-duplicate write ab12cd0001; expect "duplicate allowed" 0 "Successfully completed." "--allow-duplicate"
if grep -qF ",AB12CD0001,written (duplicate allowed)," "$tmp/mine.csv" && [ "$(wc -l <"$tmp/mine.csv")" = 3 ]; then ok; else bad "rows of the allowed duplicate: $(cat "$tmp/mine.csv")"; fi
sim numbered off

# --- status: ready, trace, options after the command
run status "${P[@]}" --timeout 5 --trace; expect "status ready" 0 "Enter the Serial Number." "> 02 70 22 92 03"
if grep -qF "< 02 80 06 86 03" "$tmp/err"; then ok; else bad "trace lacks the acknowledge"; fi
run --trace="$tmp/trace.txt" "${P[@]}" status; expect "trace to a file" 0
if grep -qF "> 02 70 92 02 03" "$tmp/trace.txt"; then ok; else bad "trace file lacks the status query"; fi

# --- ports
run "${P[@]}" ports; expect "ports" 0 "cradle bridge"

# --- a complete write, upper-cased, verified
run "${P[@]}" write ab12cd34ef --verify; expect "write" 0 "Successfully completed." 
if grep -qF "read back as written" "$tmp/out"; then ok; else bad "no verify line"; fi
sim memory 0110 A
if tail -n 1 "$tmp/sim.out" | grep -qF "0110: 41 42 31 32 43 44 33 34 45 46"; then ok; else bad "serial not in memory: $(tail -n 1 "$tmp/sim.out")"; fi
sim memory 3C10 A
if tail -n 1 "$tmp/sim.out" | grep -qF "3C10: 41 42 31 32 43 44 33 34 45 46"; then ok; else bad "serial not in the mirror"; fi

# --- already numbered, read
run "${P[@]}" status; expect "numbered" 5 "This pager already has a Serial Number."
run "${P[@]}" read; expect "read" 0 "Serial number: AB12CD34EF"
if grep -qF "Checksum:      " "$tmp/out" && grep -qF ", right" "$tmp/out"; then ok; else bad "read: checksum line"; fi
sim numbered off

# --- model refused, read and write errors, verify mismatch
sim model KTM2201C
run "${P[@]}" write AB12CD34EF; expect "model refused" 6 "This model can not modify the Serial Number."
sim model KTN4070C
sim fault read-finish nak always
run "${P[@]}" write AB12CD34EF; expect "read error" 7 "" "Read Error #3"
sim clear
sim fault write nak 11
run "${P[@]}" write AB12CD34EF; expect "write error" 8 "" "Write Error #2"
sim clear
sim numbered off
sim fault write nostore 1
run "${P[@]}" write AB12CD34EF --verify; expect "verify mismatch" 9 "Successfully completed." "Verify: mismatch at 0x01"
sim clear
sim numbered off

# --- no pager, no cradle, and unplugging while waiting
sim remove
run "${P[@]}" --timeout 1.5 status; expect "no pager" 4 "Please make sure that pager is properly seated" "no pager answered"
sim seat
sim unplug
run "${P[@]}" --timeout 1.5 status; expect "no cradle" 3 "USB device not connected!" "Communication Error #1"
sim plug
run "${P[@]}" --timeout 3 status; expect "plugged back" 0 "Enter the Serial Number."
# unplugged at the first tick, plugged in again before the time is up
sim unplug
( sleep 2; echo plug >&3 ) &
plugger=$!
run "${P[@]}" --timeout 8 status; expect "recovers" 0 "Enter the Serial Number." "Communication Error #1"
wait "$plugger"
stop_sim

# --- the virtual cradle
run --simulate write AB12CD34EF --verify; expect "simulate" 0 "read back as written"
run --simulate --sim-numbered status; expect "simulate numbered" 5

# --- a batch against the virtual cradle: it ends exactly on the sequence's
# last number; a used number is never offered; Ctrl+C between pagers
run --simulate --log "$tmp/batch.csv" --timeout 10 batch AB12CD9998 --count 2 --verify
expect "batch" 0 "AB12CD9999  KTN4070C  verified" 
if grep -qF "Batch: 2 written, 0 skipped, 0 failed;" "$tmp/out"; then ok; else bad "batch summary"; fi
if [ "$(grep -c ',verified,' "$tmp/batch.csv")" = 2 ] && [ "$(grep -c ',reserved,' "$tmp/batch.csv")" = 2 ] && head -n 1 "$tmp/batch.csv" | grep -q '^time,station,'; then ok; else bad "batch log: $(cat "$tmp/batch.csv")"; fi
run --simulate --log "$tmp/batch.csv" batch ab12cd9999 --count 1; expect "batch past the sequence's end" 1 "Batch: 0 written" "The sequence ends at AB12CD9999"
"$SNTOOL" --simulate --log "$tmp/batch.csv" batch AB12CD0020 --count 5 >"$tmp/out" 2>"$tmp/err" &
batchpid=$!
# Once the first pager's row is in, the batch waits for the next pager.
for _ in $(seq 300); do grep -qF ',AB12CD0020,written,' "$tmp/batch.csv" && break; sleep 0.05; done
kill -INT "$batchpid"
wait "$batchpid"; rc=$?
expect "batch interrupted" 130 "Batch: 1 written, 0 skipped, 0 failed;" "interrupted"
if [ "$(grep -c ',AB12CD0020,written,' "$tmp/batch.csv")" = 1 ]; then ok; else bad "interrupted batch log"; fi

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
