#!/usr/bin/env bash
# The project's test command: installs what is missing, then configures, builds
# and runs the whole suite in every build CI runs (normal, ASan + UBSan, TSan).
# Usage: scripts/test.sh [normal|asan|tsan|windows ...]   (default: all four)
# windows: the MinGW-w64 cross build, its tests under Wine, and the Win32
# window driven under Xvfb against pagersim (needs the normal build's pagersim).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then builds=(normal asan tsan windows); fi
jobs=$(nproc 2>/dev/null || echo 2)

for b in "${builds[@]}"; do
    if [ "$b" = "windows" ]; then
        echo "=== windows build (build/windows)"
        cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake >/dev/null
        cmake --build build/windows -j "$jobs" --target sntool-gui
        cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build build/normal -j "$jobs" --target pagersim
        bash tests/win/gui_wine_test.sh build/windows build/normal/cli/pagersim
        continue
    fi
    case "$b" in
        normal) sanitize="" ;;
        asan) sanitize="address" ;;
        tsan) sanitize="thread" ;;
        *) echo "unknown build: $b (normal, asan or tsan)" >&2; exit 2 ;;
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
