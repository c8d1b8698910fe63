#!/usr/bin/env bash
# The project's test command: installs what is missing, then configures, builds
# and runs the whole suite in every build CI runs (normal, ASan + UBSan, TSan),
# then runs every fuzz target for 20 s (clang, build/fuzz), and builds and
# checks the Debian package.
# Usage: scripts/test.sh [normal|asan|tsan|fuzz|package ...]   (default: all five)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then builds=(normal asan tsan fuzz package); fi
jobs=$(nproc 2>/dev/null || echo 2)

for b in "${builds[@]}"; do
    if [ "$b" = "fuzz" ]; then
        echo "=== fuzz build (build/fuzz), 20 s a target"
        bash scripts/fuzz.sh 20
        continue
    fi
    case "$b" in
        normal) sanitize="" ;;
        asan) sanitize="address" ;;
        tsan) sanitize="thread" ;;
        package)
            echo "=== package (build/package-deb)"
            deb=$(bash scripts/package.sh deb)
            bash scripts/check-package.sh deb "$deb"
            continue
            ;;
        *) echo "unknown build: $b (normal, asan, tsan, fuzz or package)" >&2; exit 2 ;;
    esac
    dir="build/$b"
    echo "=== $b build ($dir)"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNTOOL_SANITIZE="$sanitize" >/dev/null
    cmake --build "$dir" -j "$jobs"
    label_args=()
    # ThreadSanitizer is for the threaded code; the single-threaded suites are
    # already covered by the other two builds.
    if [ "$b" = "tsan" ]; then label_args=(-L 'threaded|cli'); fi
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --output-on-failure -j "$jobs" --timeout 300 "${label_args[@]}")
done
