#!/usr/bin/env bash
# Runs the window under Xvfb, with openbox as its window manager so that the
# frames have their title bars, against pagersim, and saves a screenshot of
# each state to docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! command -v xvfb-run >/dev/null || ! command -v openbox >/dev/null; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get install -y -q --no-install-recommends xvfb xauth openbox
fi
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal --target sntool-gui-tour pagersim
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox --sm-disable &
    wm=$!
    sleep 1
    status=0
    "$@" || status=$?
    kill "$wm"
    exit "$status"' tour \
    build/normal/app/sntool-gui-tour build/normal/cli/pagersim docs/screenshots
