#!/usr/bin/env bash
# sntool.exe with the database ledger under Wine: Wine's odbc32 hands the
# calls to the host's unixODBC and its PostgreSQL driver, so the Windows
# build reaches a throwaway server here. A write, a duplicate refused, and a
# batch of three, on the in-process simulated cradle.
# Usage: wine_db.sh SNTOOL_EXE   (WINEPREFIX: a prefix made ready already)
set -u
EXE=$(realpath "$1")
tmp=$(mktemp -d)
chmod 755 "$tmp"
. "$(dirname "$0")/../cli/checks.sh"
. "$(dirname "$0")/../db/pg_scratch.sh"
run() { wine "$EXE" "$@" >"$tmp/out" 2>"$tmp/err"; rc=$?; }
cleanup() { pg_scratch_stop; rm -rf "$tmp"; }
pg_scratch_start 55632 || { echo "FAIL: no PostgreSQL server"; exit 1; }
trap cleanup EXIT
DB=$SNTOOL_TEST_DB
export WINEDEBUG=-all

run --db "$DB" ledger init
expect "init" 0 "GRANT"
run --simulate --db "$DB" write AB12CD0001
expect "write" 0 "Successfully completed."
run --simulate --db "$DB" write AB12CD0001
expect "duplicate" 10 "" "AB12CD0001 was already written"
run --simulate --db "$DB" --timeout 20 batch AB12CD0001 --count 3
expect "batch of three" 0 "Batch: 3 written, 0 skipped, 0 failed" "AB12CD0001 is used already; the batch goes on with AB12CD0002"
run --db "$DB" report --format csv
expect "report" 0 "total,4,4,0,0,0,0,0,100.0,100.0"

echo "wine database: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
