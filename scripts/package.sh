#!/usr/bin/env bash
# Builds an installable package from a Release build of its own.
# Usage: scripts/package.sh deb       build/package-deb/sntool_<version>_amd64.deb
#        scripts/package.sh windows   build/package-windows/sntool-<version>-setup.exe
#                                     and sntool-<version>-windows.zip beside it
# Prints the path of each package it made on stdout; the build's output goes
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
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSNTOOL_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DSNTOOL_TESTS=OFF -DSNTOOL_BENCH=OFF >/dev/null
    cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" >&2
    rm -f "$dir"/sntool_*.deb
    (cd "$dir" && cpack -G DEB >/dev/null)
    ls "$dir"/sntool_*.deb
}

# The MinGW cross build, stripped, put into an NSIS installer (64-bit, like
# the programs) and into a portable zip holding one folder.
package_windows() {
    local dir=build/package-windows version stage name
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DSNTOOL_WERROR=ON -DSNTOOL_TESTS=OFF -DSNTOOL_BENCH=OFF >/dev/null
    cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" >&2
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
    grep -q "^## \[$version\] - " CHANGELOG.md ||
        { echo "package.sh: CHANGELOG.md has no entry for $version" >&2; exit 1; }
    name=sntool-$version-windows
    stage=$dir/stage/$name
    rm -rf "$dir/stage" "$dir"/sntool-*-setup.exe "$dir"/sntool-*-windows.zip
    mkdir -p "$stage"
    cmake --install "$dir" --prefix "$dir/stage/install" --strip >/dev/null
    cp "$dir/stage/install/bin/sntool.exe" "$dir/stage/install/bin/sntool-gui.exe" "$stage/"
    cp "$dir/app/win/sntool.ico" "$dir/stage/"
    # Notepad on Windows 7 wants CRLF.
    sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows/README.txt >"$stage/README.txt"
    sed 's/$/\r/' CHANGELOG.md >"$stage/CHANGELOG.md"
    makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" \
        -DOUTFILE="$PWD/$dir/sntool-$version-setup.exe" packaging/windows/sntool.nsi >&2
    (cd "$dir/stage" && zip -q -X -r "../$name.zip" "$name")
    ls "$dir/sntool-$version-setup.exe" "$dir/$name.zip"
}

case "${1:-}" in
    deb)
        bash scripts/install-deps.sh >&2
        package_deb
        ;;
    windows)
        bash scripts/install-deps.sh >&2
        package_windows
        ;;
    *) usage ;;
esac
