# What the command-line tests share: sourced, with $tmp (the scratch folder)
# and $SNTOOL set. `run` keeps sntool's output in $tmp/out and $tmp/err and
# its exit code in $rc; `expect` judges them.
pass=0
fail=0

ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL: $*"; echo "--- stdout"; cat "$tmp/out" 2>/dev/null; echo "--- stderr"; cat "$tmp/err" 2>/dev/null; }

# expect NAME RC [grep-pattern-on-stdout] [grep-pattern-on-stderr]
expect() {
    local name=$1 want=$2 outpat=${3:-} errpat=${4:-}
    if [ "$rc" != "$want" ]; then bad "$name: exit $rc, expected $want"; return; fi
    if [ -n "$outpat" ] && ! grep -qF -- "$outpat" "$tmp/out"; then bad "$name: stdout lacks '$outpat'"; return; fi
    if [ -n "$errpat" ] && ! grep -qF -- "$errpat" "$tmp/err"; then bad "$name: stderr lacks '$errpat'"; return; fi
    ok
}

run() { "$SNTOOL" "$@" >"$tmp/out" 2>"$tmp/err"; rc=$?; }
