#!/usr/bin/env bash
# The project's test command: installs what is missing, then configures, builds
# and runs the whole suite in every build CI runs (normal, a plain CMake
# Release build as a packager makes it, ASan + UBSan, TSan, and the Windows
# cross build, whose tests run under Wine), then runs every fuzz target for
# 20 s (clang, build/fuzz), and builds and checks the Debian package and the
# Windows installer and zip (under Wine).
# Usage: scripts/test.sh [normal|release|asan|tsan|windows|fuzz|package ...]   (default: all seven)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

builds=("$@")
if [ ${#builds[@]} -eq 0 ]; then builds=(normal release asan tsan windows fuzz package); fi
jobs=$(nproc 2>/dev/null || echo 2)

# Line tables are all a failing test's backtrace needs, and full debug
# information doubles the compile time of the test files; the sanitizer
# builds use the optimisation their runtimes are made for.
configure() {  # configure DIR [cmake args...]
    local dir=$1 opt=-O2
    shift
    case "$dir" in build/asan | build/tsan) opt=-O1 ;; esac
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNTOOL_WERROR=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$opt -g1 -DNDEBUG" "$@" >/dev/null
}

# sntool.exe and its unit tests under Wine, then the end-to-end run against
# pagersim on a pty mapped to COM7 (pagersim is a Linux program: it comes
# from the normal build).
windows_build() {
    local dir=build/windows
    configure "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
    cmake --build "$dir" -j "$jobs"
    configure build/normal
    cmake --build build/normal -j "$jobs" --target pagersim
    export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then wine wineboot -i >/dev/null 2>&1; fi
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
    bash tests/windows/wine_db.sh "$dir/cli/sntool.exe"
    wineserver -k >/dev/null 2>&1 || true
    unset WINEPREFIX
    bash tests/windows/wine_e2e.sh "$dir/cli/sntool.exe" build/normal/cli/pagersim \
        "$dir/tests/wine-ptywait.so"
    # The Win32 window, driven under Xvfb.
    bash tests/win/gui_wine_test.sh "$dir" build/normal/cli/pagersim
}

took() { echo "=== $1 took $((SECONDS - started)) s"; }
for b in "${builds[@]}"; do
    started=$SECONDS
    if [ "$b" = "fuzz" ]; then
        echo "=== fuzz build (build/fuzz), 20 s a target"
        bash scripts/fuzz.sh 20
        took fuzz
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
            echo "=== package (build/package-windows)"
            mapfile -t win < <(bash scripts/package.sh windows)
            bash tests/windows/installer_test.sh "${win[0]}" "${win[1]}" \
                "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-windows/CMakeCache.txt)"
            took package
            continue
            ;;
        windows)
            echo "=== windows build (build/windows)"
            windows_build
            took windows
            continue
            ;;
        release)
            # Exactly as a packager or a user builds: CMake's own Release
            # flags, warnings not errors; every test runs against it.
            echo "=== release build (build/release), CMake's own flags"
            cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
            cmake --build build/release -j "$jobs"
            (cd build/release && ctest --output-on-failure -j "$((jobs * 2))" --timeout 300 -LE stations)
            took release
            continue
            ;;
        *) echo "unknown build: $b (normal, release, asan, tsan, windows, fuzz or package)" >&2; exit 2 ;;
    esac
    dir="build/$b"
    echo "=== $b build ($dir)"
    extra=()
    if [ "$b" = "tsan" ]; then extra=(-DSNTOOL_QT=OFF); fi
    configure "$dir" -DSNTOOL_SANITIZE="$sanitize" "${extra[@]}"
    cmake --build "$dir" -j "$jobs"
    label_args=()
    # ThreadSanitizer is for the threaded code; the single-threaded suites are
    # already covered by the other two builds.
    if [ "$b" = "tsan" ]; then label_args=(-L 'threaded|cli'); fi
    # Eight stations on a database wait on pagers more than they compute:
    # the normal build runs them.
    if [ "$b" = "asan" ]; then label_args=(-LE stations); fi
    # Most tests spend their time waiting on a pager's pacing and a monitor's
    # ticks, not computing: twice as many as there are cores run at once.
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --output-on-failure -j "$((jobs * 2))" --timeout 300 "${label_args[@]}")
    took "$b"
done
