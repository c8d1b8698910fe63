#!/usr/bin/env bash
# Runs the window under Xvfb against pagersim and saves a screenshot of each
# state to docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! command -v xvfb-run >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q --no-install-recommends xvfb xauth
fi
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal --target sntool-gui-tour pagersim
xvfb-run -a -s "-screen 0 1024x768x24" \
    build/normal/app/sntool-gui-tour build/normal/cli/pagersim docs/screenshots
