#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages.
# Idempotent: packages that are already present are skipped, and apt is not
# touched at all when nothing is missing.
set -euo pipefail

packages=(
    cmake
    g++
    ninja-build
    pkg-config
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    clang-format
    clang
    libclang-rt-14-dev
    libcli11-dev
    qt6-base-dev
    qt6-qpa-plugins
    libgl-dev
    fonts-dejavu-core
    # xmllint: the production report's page must parse as XML
    libxml2-utils
    # the Debian package (scripts/package.sh deb) and its check
    dpkg-dev
    file
    netpbm
    lintian
    man-db
    udev
    # The Windows build: MinGW-w64 (posix threads), GoogleTest's sources for
    # the cross build, and Wine to run its tests.
    g++-mingw-w64-x86-64-posix
    mingw-w64-tools
    googletest
    wine
    wine64
    # The Win32 window: its icon, and its tests under Wine on an X server.
    icoutils
    xvfb
    xauth
    xdotool
    openbox
    imagemagick
    # The database ledger: ODBC (unixODBC and the PostgreSQL driver, also what
    # Wine's odbc32 hands its calls to) and a PostgreSQL server for the tests.
    unixodbc
    unixodbc-dev
    odbc-postgresql
    postgresql
    # The Windows installer and portable zip (scripts/package.sh windows).
    nsis
    zip
    unzip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
