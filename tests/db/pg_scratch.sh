# A throwaway PostgreSQL server for the database ledger's tests, in a folder
# of its own; nothing else on the machine changes. Source it, then:
#   pg_scratch_start [port]   initdb + start on 127.0.0.1 (default 55432);
#                             exports SNTOOL_TEST_DB and PG_SCRATCH, and stops
#                             the server at the shell's exit
#   pg_scratch_pause          stops it at once (clients see the server gone)
#   pg_scratch_resume         starts it again
#   pg_scratch_restart        both
#   pg_scratch_stop           stops it and removes the folder
# initdb refuses to run as root: the server runs as the postgres user.

PG_BIN=${PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}

_pg_as_postgres() {
    if [ "$(id -u)" = 0 ]; then
        su postgres -s /bin/sh -c "$1"
    else
        sh -c "$1"
    fi
}

_pg_free_port() {
    local port=$1
    while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
        port=$((port + 1))
    done
    echo "$port"
}

pg_scratch_resume() {
    _pg_as_postgres "$PG_BIN/pg_ctl -D $PG_SCRATCH/data -l $PG_SCRATCH/log -w -t 30 \
        -o '-p $PG_SCRATCH_PORT -k $PG_SCRATCH -c listen_addresses=127.0.0.1' start" >/dev/null
}

pg_scratch_pause() {
    _pg_as_postgres "$PG_BIN/pg_ctl -D $PG_SCRATCH/data -m immediate -w stop" >/dev/null
}

pg_scratch_restart() {
    pg_scratch_pause && pg_scratch_resume
}

pg_scratch_stop() {
    if [ -n "${PG_SCRATCH:-}" ] && [ -d "$PG_SCRATCH" ]; then
        _pg_as_postgres "$PG_BIN/pg_ctl -D $PG_SCRATCH/data -m immediate -w stop" \
            >/dev/null 2>&1 || true
        rm -rf "$PG_SCRATCH"
    fi
    unset PG_SCRATCH SNTOOL_TEST_DB
}

pg_scratch_start() {
    if ! id postgres >/dev/null 2>&1; then
        echo "pg_scratch: no postgres user (the postgresql package makes it)" >&2
        return 1
    fi
    PG_SCRATCH=$(mktemp -d /tmp/sntool-pg.XXXXXX) || return 1
    export PG_SCRATCH
    trap pg_scratch_stop EXIT
    chmod 755 "$PG_SCRATCH"
    [ "$(id -u)" = 0 ] && chown postgres "$PG_SCRATCH"
    PG_SCRATCH_PORT=$(_pg_free_port "${1:-55432}")
    export PG_SCRATCH_PORT
    _pg_as_postgres "$PG_BIN/initdb -D $PG_SCRATCH/data -A trust -U sn" >/dev/null || return 1
    pg_scratch_resume || { cat "$PG_SCRATCH/log" >&2; return 1; }
    export SNTOOL_TEST_DB="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$PG_SCRATCH_PORT;Database=postgres;Uid=sn;"
}
