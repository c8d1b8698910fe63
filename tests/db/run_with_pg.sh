#!/bin/bash
# Runs a command against a scratch PostgreSQL server (tests/db/pg_scratch.sh),
# with SNTOOL_TEST_DB set; the server goes when the command ends.
set -u
. "$(dirname "$0")/pg_scratch.sh"
pg_scratch_start || exit 1
"$@"
