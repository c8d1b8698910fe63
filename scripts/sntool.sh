#!/usr/bin/env bash
# Sets everything up (dependencies, a build) and runs sntool with the given
# arguments, e.g.  bash scripts/sntool.sh --simulate write AB12CD34EF --verify
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j "$(nproc 2>/dev/null || echo 2)" --target sntool pagersim >&2
exec build/normal/cli/sntool "$@"
