#!/usr/bin/env bash
# Builds an installable package from a Release build of its own.
# Usage: scripts/package.sh deb       build/package-deb/sntool_<version>_amd64.deb
#        scripts/package.sh windows   (not built yet)
# Prints the path of the package it made on stdout; the build's output goes
# to stderr.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/package.sh deb|windows" >&2; exit 2; }

package_deb() {
    local dir=build/package-deb flags
    # Debian's optimisation and hardening flags, without -g: the programs are
    # stripped anyway.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    flags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    flags=${flags//-g /}
    CXXFLAGS="$flags" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DSNTOOL_TESTS=OFF -DSNTOOL_BENCH=OFF >/dev/null
    cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" >&2
    rm -f "$dir"/sntool_*.deb
    (cd "$dir" && cpack -G DEB >/dev/null)
    ls "$dir"/sntool_*.deb
}

case "${1:-}" in
    deb)
        bash scripts/install-deps.sh >&2
        package_deb
        ;;
    windows)
        echo "package.sh: the Windows installer is not built yet" >&2
        exit 3
        ;;
    *) usage ;;
esac
