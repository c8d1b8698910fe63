# Pagers on ptys for the command-line tests: sourced, with $tmp (the scratch
# folder) and $PAGERSIM set. Each pager NAME has its cradle at $tmp/NAME and
# its console's output in $tmp/NAME.out.
declare -A simpid simfd

# start_sim NAME [PAGERSIM OPTIONS...]
start_sim() {
    local name=$1 fd
    shift
    mkfifo "$tmp/$name.in"
    "$PAGERSIM" --link "$tmp/$name" "$@" <"$tmp/$name.in" >"$tmp/$name.out" 2>&1 &
    simpid[$name]=$!
    exec {fd}>"$tmp/$name.in"
    simfd[$name]=$fd
    for _ in $(seq 100); do grep -q '^link:' "$tmp/$name.out" 2>/dev/null && return; sleep 0.05; done
    echo "pagersim did not start"; cat "$tmp/$name.out"; exit 1
}
sim() {  # sim NAME COMMAND...: one console command, waiting for its answer
    local name=$1 lines
    shift
    lines=$(wc -l <"$tmp/$name.out")
    echo "$*" >&"${simfd[$name]}"
    for _ in $(seq 100); do [ "$(wc -l <"$tmp/$name.out")" -gt "$lines" ] && return; sleep 0.02; done
}
# The requests of COMMAND (01 write, 02 read, 20 write-start...) the pager has taken.
frames() {
    local name=$1 code=$2 n
    n=$(wc -l <"$tmp/$name.out")
    sim "$name" traffic
    sleep 0.1
    tail -n +"$((n + 1))" "$tmp/$name.out" | grep -c " s  $code "
}
stop_sims() {
    local name
    for name in "${!simpid[@]}"; do kill "${simpid[$name]}" 2>/dev/null; done
    wait 2>/dev/null
}
