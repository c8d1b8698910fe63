#!/usr/bin/env bash
# The production ledger as users meet it: sntool against pagersim on ptys,
# judged by the frames each pager received.
# Usage: ledger_test.sh SNTOOL PAGERSIM
set -u
SNTOOL=$1
PAGERSIM=$2
tmp=$(mktemp -d)
. "$(dirname "$0")/checks.sh"
. "$(dirname "$0")/pagers.sh"

cleanup() {
    stop_sims
    rm -rf "$tmp"
}
trap cleanup EXIT

rows() { grep -c "$1" "$tmp/log.csv"; }

start_sim a
start_sim b
L=(--log "$tmp/log.csv")

# --- two stations race for one number: exactly one writes it; the other
# exits 10 before any frame of a write
sim a traffic clear
sim b traffic clear
"$SNTOOL" --port "$tmp/a" "${L[@]}" write AB12CD0001 >"$tmp/a.run" 2>&1 &
racer=$!
"$SNTOOL" --port "$tmp/b" "${L[@]}" write AB12CD0001 >"$tmp/b.run" 2>&1
rb=$?
wait "$racer"
ra=$?
if [ "$(printf '%s\n' "$ra" "$rb" | sort | tr '\n' ' ')" = "0 10 " ]; then ok; else bad "race: exits $ra and $rb"; cat "$tmp/a.run" "$tmp/b.run"; fi
loser=b; [ "$ra" = 10 ] && loser=a
winner=a; [ "$loser" = a ] && winner=b
if [ "$(frames "$loser" 02)" = 0 ] && [ "$(frames "$loser" 01)" = 0 ] && [ "$(frames "$winner" 01)" = 4 ]; then ok; else bad "race: the loser's pager took frames of a write"; fi
if grep -qE "AB12CD0001 was (reserved|already written) on" "$tmp/$loser.run" && [ "$(rows ',AB12CD0001,written,')" = 1 ]; then ok; else bad "race: $(cat "$tmp/$loser.run")"; fi
sim a numbered off
sim b numbered off

# --- a journal that cannot take the reservation (a full file): nothing is
# sent, exit 11
sim a traffic clear
size=$(stat -c %s "$tmp/log.csv")
(trap '' XFSZ; exec prlimit --fsize="$size" "$SNTOOL" --port "$tmp/a" "${L[@]}" write AB12CD0002) >"$tmp/out" 2>"$tmp/err"
rc=$?
expect "full file" 11 "" "$tmp/log.csv cannot be written: "
if [ "$(frames a 02)" = 0 ] && [ "$(frames a 01)" = 0 ] && [ "$(stat -c %s "$tmp/log.csv")" = "$size" ]; then ok; else bad "full file: frames were sent or the journal grew"; fi

# --- a row that cannot be read stops every write at once, naming the line;
# a torn last line never does
cp "$tmp/log.csv" "$tmp/good.csv"
printf '2026-12-07T10:00:00+01:00;line-2;COM3;KTN4070C;;AB12CD0003;written;1.0.1\r\n' >>"$tmp/log.csv"
run --port "$tmp/a" "${L[@]}" write AB12CD0002
expect "unreadable row" 11 "" "$tmp/log.csv cannot be read at line 4: it has 1 field instead of 9"
cp "$tmp/good.csv" "$tmp/log.csv"
printf '2026-12-07T10:00:00+01:00,line-2,COM3,KTN4070C,,AB12CD0003,writ' >>"$tmp/log.csv"
run --port "$tmp/a" "${L[@]}" write AB12CD0002
expect "torn last line" 0 "Successfully completed." "line 4 is torn"
sim a numbered off

# --- killed (kill -9) while block 240 is written: the number is in doubt;
# resume finishes that pager with it
sim a traffic clear
sim a fault write silence 1 after 2
"$SNTOOL" --port "$tmp/a" "${L[@]}" write AB12CD0004 >"$tmp/out" 2>"$tmp/err" &
writer=$!
for _ in $(seq 200); do [ "$(frames a 01)" -ge 3 ] && break; sleep 0.05; done
kill -9 "$writer"
wait "$writer" 2>/dev/null
run "${L[@]}" ledger
expect "ledger lists the number in doubt" 0 "AB12CD0004" 
if grep -q "^AB12CD0004 .*in doubt" "$tmp/out" && grep -qF "1 number to look into" "$tmp/out"; then ok; else bad "ledger listing"; fi
run --port "$tmp/a" "${L[@]}" write AB12CD0004
expect "an in-doubt number is not given again" 10 "" "AB12CD0004 was reserved on"
sim a clear
run --port "$tmp/a" "${L[@]}" resume --verify
expect "resume" 0 "read back as written" 
if grep -qF "Resuming AB12CD0004: in doubt since" "$tmp/out"; then ok; else bad "resume said nothing of what it resumes"; fi
sim a memory 0110 A
if tail -n 1 "$tmp/a.out" | grep -qF "0110: 41 42 31 32 43 44 30 30 30 34"; then ok; else bad "resume: serial not in memory"; fi
sim a memory 3C00 80
mirror=$(tail -n 8 "$tmp/a.out" | cut -c 6-)
sim a memory 0100 80
if [ "$mirror" = "$(tail -n 8 "$tmp/a.out" | cut -c 6-)" ]; then ok; else bad "resume: the mirror differs from the information area"; fi
run "${L[@]}" ledger
expect "nothing left to look into" 0 "No serial number is in doubt or broken off."
if [ "$(tail -n 1 "$tmp/log.csv" | cut -d, -f6-7)" = "AB12CD0004,verified" ]; then ok; else bad "resume's row: $(tail -n 1 "$tmp/log.csv")"; fi
run --port "$tmp/a" "${L[@]}" resume
expect "a finished pager is never renumbered" 5 "This pager already has a Serial Number." "not one whose write broke off"
if ! grep -qF "Resuming" "$tmp/out"; then ok; else bad "resume took a finished pager for one to resume"; fi
# A pager whose has-serial bit only write-finish sets, broken off at block
# 240, says it is ready: resume finds its number in the area all the same.
sim a numbered off; sim a serial-bit finish; sim a fault write silence 1 after 2
run --port "$tmp/a" "${L[@]}" write AB12CD0030; sim a clear
run --port "$tmp/a" "${L[@]}" resume --verify; sim a serial-bit mark
expect "resume reads the area, not the status bit" 0 "Resuming AB12CD0030: broken off since"

# --- Ctrl+C, twice, while the blocks are written (the first block NAK'd
# eight times, which makes the write last over a second): the write finishes
# and records its row
sim a numbered off
sim a fault write nak 8
"$SNTOOL" --port "$tmp/a" "${L[@]}" write AB12CD0005 >"$tmp/out" 2>"$tmp/err" &
writer=$!
for _ in $(seq 200); do grep -qF "It is undergoing the serial number changes." "$tmp/out" && break; sleep 0.02; done
kill -INT "$writer"; k1=$?; sleep 0.1; kill -INT "$writer"; k2=$?
wait "$writer"; rc=$?
if [ "$k1 $k2" = "0 0" ]; then ok; else bad "Ctrl+C: sntool was gone before the second Ctrl+C ($k1 $k2)"; fi
expect "Ctrl+C during a write" 0 "Successfully completed."
if [ "$(rows ',AB12CD0005,written,')" = 1 ]; then ok; else bad "Ctrl+C: no row"; fi

# --- a batch: a numbered pager is skipped and keeps the number; a pager
# swapped within a tick is a new one; a used number is never given again;
# the batch ends with its last pager, which may stay in the cradle
sim a clear
sim a numbered on
"$SNTOOL" --port "$tmp/a" "${L[@]}" --timeout 20 batch AB12CD0005 --count 2 >"$tmp/out" 2>"$tmp/err" &
batch=$!
for _ in $(seq 100); do grep -qF "already numbered" "$tmp/out" && break; sleep 0.05; done
sim a fault write nak 11
sim a numbered off   # swapped for a fresh pager; its block 4 will fail
for _ in $(seq 200); do grep -qF "Write Error #2" "$tmp/out" && break; sleep 0.05; done
# the same pager, still unnumbered, comes back as a fresh one
for _ in $(seq 200); do [ "$(rows ',AB12CD0007,written,')" = 1 ] && break; sleep 0.05; done
sim a numbered off   # swapped again within a tick
t0=$(date +%s)
wait "$batch"; rc=$?
expect "batch" 0 "Batch: 2 written, 1 skipped, 1 failed;" "AB12CD0005 is used already; the batch goes on with AB12CD0006"
if grep -qF "AB12CD0006  KTN4070C  Write Error #2 (number used" "$tmp/out" &&
    grep -qF "AB12CD0007  KTN4070C  written" "$tmp/out" && grep -qF "AB12CD0008  KTN4070C  written" "$tmp/out"; then ok; else bad "batch lines"; fi
if [ "$(grep -c " used already; " "$tmp/err")" = 1 ]; then ok; else bad "batch: a number told as used that was not"; fi
if [ $(($(date +%s) - t0)) -lt 10 ]; then ok; else bad "the batch waited for its last pager to be taken out"; fi

echo "ledger: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
