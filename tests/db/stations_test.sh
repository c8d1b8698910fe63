#!/usr/bin/env bash
# Several stations, one database ledger: sntool processes against pagersim on
# ptys and a throwaway PostgreSQL server, judged by what the pagers hold and
# by the frames they received.
# Usage: stations_test.sh SNTOOL PAGERSIM
set -u
SNTOOL=$1
PAGERSIM=$2
tmp=$(mktemp -d)
chmod 755 "$tmp"
. "$(dirname "$0")/../cli/checks.sh"
. "$(dirname "$0")/../cli/pagers.sh"
. "$(dirname "$0")/pg_scratch.sh"

cleanup() {
    stop_sims
    pg_scratch_stop
    rm -rf "$tmp"
}
trap cleanup EXIT
export XDG_DATA_HOME=$tmp/home
pg_scratch_start 55532 || { echo "no PostgreSQL server"; exit 1; }
trap cleanup EXIT
DB=$SNTOOL_TEST_DB
port=$PG_SCRATCH_PORT
sql() { psql -X -q -t -A -h 127.0.0.1 -p "$port" -U sn -d postgres -c "$1"; }

# Each station keeps its own spool, as separate machines would.
station() { local name=$1; shift; XDG_DATA_HOME="$tmp/home-$name" "$SNTOOL" "$@"; }

# --- the tables: made once, and a second init changes nothing
run --db "$DB" ledger init
expect "init" 0 "GRANT"
tables=$(sql "select count(*) from pg_tables where tablename like 'sn\_%'")
run --db "$DB" ledger init
expect "init again" 0 "GRANT"
if [ "$(sql "select count(*) from pg_tables where tablename like 'sn\_%'")" = "$tables" ]; then ok; else bad "init twice made tables"; fi

start_sim a
start_sim b

# --- two stations, one explicit number: exactly one writes it; the other
# exits 10 before any block-write frame
sim a traffic clear
sim b traffic clear
station a --port "$tmp/a" --db "$DB" write AB12CD0001 >"$tmp/a.run" 2>&1 &
racer=$!
station b --port "$tmp/b" --db "$DB" write AB12CD0001 >"$tmp/b.run" 2>&1
rb=$?
wait "$racer"
ra=$?
if [ "$(printf '%s\n' "$ra" "$rb" | sort | tr '\n' ' ')" = "0 10 " ]; then ok; else bad "race: exits $ra and $rb"; fi
loser=a; [ "$ra" = 10 ] && loser=a || loser=b
if [ "$(frames "$loser" 01)" = 0 ]; then ok; else bad "race: the refused station sent block writes"; fi

# --- a name holding SQL is stored as it is
sim a numbered off
name="o'; DROP TABLE sn_numbers; --\"x"
tmp_out=$(station a --port "$tmp/a" --db "$DB" --operator "$name" write AB12CD0002 2>&1); rc=$?
expect "operator with SQL" 0
if [ "$(sql "select count(*) from sn_rows where operator = \$\$$name\$\$")" -ge 1 ]; then ok; else bad "operator not stored verbatim: $tmp_out"; fi

# --- the server stopped before a write: exit 11, nothing sent
sim a numbered off
sim a traffic clear
pg_scratch_pause
run --port "$tmp/a" --db "$DB" --timeout 10 write AB12CD0003
expect "server stopped" 11 "" "127.0.0.1"
if [ "$(frames a 02)" = 0 ] && [ "$(frames a 01)" = 0 ]; then ok; else bad "server stopped: frames went out"; fi
pg_scratch_resume

# --- the server lost during a write: the write completes, its settlement
# waits in the spool; no other station gets the number meanwhile; it arrives
# with the next contact
sim a numbered off
sim a fault write nak 8
station a --port "$tmp/a" --db "$DB" --timeout 20 write AB12CD0004 >"$tmp/out" 2>"$tmp/err" &
writer=$!
for _ in $(seq 400); do [ "$(sql "select count(*) from sn_numbers where serial = 'AB12CD0004'")" = 1 ] && break; sleep 0.02; done
pg_scratch_pause
wait "$writer"; rc=$?
expect "server lost during the write" 0 "Successfully completed."
if [ -s "$tmp/home-a/sntool/spool.csv" ]; then ok; else bad "no spool after the lost server"; fi
pg_scratch_resume
sim b numbered off
run --port "$tmp/b" --db "$DB" --timeout 10 write AB12CD0004
expect "spooled number refused to another station" 10
if [ "$(sql "select token is not null from sn_numbers where serial = 'AB12CD0004'")" = t ]; then ok; else bad "spooled number not reserved"; fi
out=$(station a --db "$DB" ledger sync); rc=$?
if [ "$rc" = 0 ] && grep -q "^1 settlement delivered" <<<"$out"; then ok; else bad "sync: $rc $out"; fi
if [ "$(sql "select used and token is null from sn_numbers where serial = 'AB12CD0004'")" = t ]; then ok; else bad "spooled settlement not delivered"; fi
sim a clear

# --- a backend terminated between two pagers: the next one is written all the same
kill "${simpid[a]}"; unset 'simpid[a]'; rm -f "$tmp/a.in"
start_sim c --swap-after 1500
station c --port "$tmp/c" --db "$DB" --timeout 20 batch AB12CD0100 --count 2 >"$tmp/out" 2>"$tmp/err" &
batch=$!
for _ in $(seq 200); do grep -q "^taken out:" "$tmp/c.out" && break; sleep 0.05; done
sql "select pg_terminate_backend(pid) from pg_stat_activity where usename = 'sn' and pid <> pg_backend_pid()" >/dev/null
wait "$batch"; rc=$?
expect "backend terminated between pagers" 0 "Batch: 2 written, 0 skipped, 0 failed"

# --- eight stations at once, 25 pagers each from one FIRST: 200 numbers,
# each in exactly one pager, and the ledger's used numbers are the pagers'
started=$(date +%s)
pids=()
for s in 1 2 3 4 5 6 7 8; do
    start_sim "s$s" --swap-after 1500
    station "s$s" --port "$tmp/s$s" --db "$DB" --timeout 60 batch AB13000001 --count 25 \
        >"$tmp/s$s.run" 2>&1 &
    pids+=($!)
done
codes=""
for p in "${pids[@]}"; do wait "$p"; codes+="$? "; done
seconds=$(($(date +%s) - started))
if [ "$codes" = "0 0 0 0 0 0 0 0 " ]; then ok; else bad "eight stations: exits $codes ($(cat "$tmp"/s*.run | grep -v '^AB13' | head -20))"; fi
: >"$tmp/pagers"
for s in 1 2 3 4 5 6 7 8; do
    # The batch ends with its last pager seated; the cradle takes it out too.
    for _ in $(seq 100); do [ "$(grep -c '^taken out:' "$tmp/s$s.out")" -ge 25 ] && break; sleep 0.1; done
    sed -n 's/^taken out: //p' "$tmp/s$s.out" >>"$tmp/pagers"
done
sort "$tmp/pagers" | grep . >"$tmp/pagers.sorted"
if [ "$(wc -l <"$tmp/pagers.sorted")" = 200 ] && [ -z "$(uniq -d "$tmp/pagers.sorted")" ]; then ok; else
    bad "eight stations: $(wc -l <"$tmp/pagers.sorted") pagers, repeated: $(uniq -d "$tmp/pagers.sorted" | head -3 | tr '\n' ' ')"; fi
sql "select serial from sn_numbers where serial like 'AB13%' and used and token is null order by serial" >"$tmp/ledger.sorted"
if cmp -s "$tmp/pagers.sorted" "$tmp/ledger.sorted"; then ok; else bad "eight stations: the ledger's used numbers differ from the pagers'"; fi
echo "eight stations: 200 pagers in $seconds s ($((200 * 3600 / (seconds > 0 ? seconds : 1))) pagers an hour)"

echo "database stations: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
