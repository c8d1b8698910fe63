#!/usr/bin/env bash
# Checks a built Debian package as an operator would meet it: lintian, then
# installed (as root, when the package is not installed already) or unpacked
# into a scratch root, the programs, man pages and udev rule tried, and the
# package removed again.
# Every version the programs and man pages show must be the package's.
# Usage: scripts/check-package.sh deb PACKAGE.deb
set -euo pipefail

[ "${1:-}" = deb ] && [ $# -eq 2 ] || { echo "usage: check-package.sh deb PACKAGE.deb" >&2; exit 2; }
deb=$(realpath "$2")
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "sntool_${version}_$(dpkg-deb -f "$deb" Architecture).deb" ] ||
    { echo "check-package: $deb is not named after its version $version" >&2; exit 1; }
rule=60-sntool-cradle.rules
scratch=$(mktemp -d)
installed=""

# apt waits for the dpkg lock that another install may hold for a while.
apt_get() { apt-get -y -q -o DPkg::Lock::Timeout=300 "$@" >"$scratch/apt.log" 2>&1; }

cleanup() {
    if [ -n "$installed" ]; then apt_get purge sntool || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

echo "--- lintian"
lintian --fail-on error --display-info "$deb" || fail "lintian found errors"

if [ "$(id -u)" -eq 0 ] && ! dpkg-query -W sntool >/dev/null 2>&1; then
    echo "--- apt-get install (dpkg -i)"
    apt_get install --no-install-recommends "$deb" || { cat "$scratch/apt.log"; fail "install failed"; }
    installed=1
    root=""
else
    echo "--- dpkg -x into $scratch"
    dpkg -x "$deb" "$scratch"
    root=$scratch
fi

echo "--- contents"
for f in bin/sntool bin/sntool-gui bin/pagersim share/applications/sntool-gui.desktop \
    share/bash-completion/completions/sntool lib/udev/rules.d/$rule \
    share/man/man1/sntool.1.gz share/man/man1/sntool-gui.1.gz share/man/man1/pagersim.1.gz \
    share/doc/sntool/copyright share/doc/sntool/changelog.gz; do
    [ -e "$root/usr/$f" ] || fail "/usr/$f is missing"
done
for size in 16 22 24 32 48 64; do
    icon=$root/usr/share/icons/hicolor/${size}x$size/apps/sntool-gui.png
    [ "$(pngtopam "$icon" | head -c 20 | sed -n 2p)" = "$size $size" ] || fail "no ${size}x$size icon"
done

echo "--- the programs"
[ "$("$root/usr/bin/sntool" --version)" = "sntool $version" ] || fail "sntool --version"
[ "$("$root/usr/bin/pagersim" --version)" = "pagersim $version" ] || fail "pagersim --version"
gui_version=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/sntool-gui" --version 2>/dev/null)
[ "$gui_version" = "Serial Number Tool $version" ] || fail "sntool-gui --version: $gui_version"
"$root/usr/bin/sntool" --simulate write AB12CD34EF --verify >"$scratch/write.out" ||
    { cat "$scratch/write.out"; fail "the installed sntool could not write a serial number"; }
grep -q "Successfully completed." "$scratch/write.out" || fail "no success text"

echo "--- man pages"
for page in sntool sntool-gui pagersim; do
    man_file=$root/usr/share/man/man1/$page.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man_file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
    zcat "$man_file" | grep -q "\"sntool $version\"" || fail "$page.1 does not carry version $version"
done

echo "--- udev rule"
rule_file=$root/usr/lib/udev/rules.d/$rule
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify "$rule_file"
elif [ "$(id -u)" -eq 0 ] && [ ! -S /run/udev/control ]; then
    # No udev daemon runs here, so rules under /run/udev/rules.d touch nothing
    # but this test. The rule must parse without a complaint and, on a tty
    # whose parent's driver stands in for cp210x, tag uaccess and keep
    # ModemManager away.
    made_dir=""
    [ -d /run/udev ] || made_dir=/run/udev
    mkdir -p /run/udev/rules.d
    probe=/run/udev/rules.d/$rule
    trap 'rm -f "$probe"; [ -z "$made_dir" ] || rm -rf "$made_dir"; cleanup' EXIT
    cp "$rule_file" "$probe"
    tty=$(ls /sys/class/tty | head -n 1)
    complaints=$(udevadm test --action=add "/sys/class/tty/$tty" 2>&1 | grep -F "$probe:" || true)
    [ -z "$complaints" ] || fail "udevadm: $complaints"
    driver_link=$(ls -d /sys/class/tty/*/device/driver 2>/dev/null | head -n 1 || true)
    if [ -n "$driver_link" ]; then
        tty=$(basename "$(dirname "$(dirname "$driver_link")")")
        sed "s/\"cp210x\"/\"$(basename "$(readlink "$driver_link")")\"/" "$rule_file" >"$probe"
        props=$(udevadm test --action=add "/sys/class/tty/$tty" 2>/dev/null)
        grep -q '^ID_MM_DEVICE_IGNORE=1$' <<<"$props" || fail "the rule leaves ModemManager on $tty"
        grep -q '^TAGS=.*:uaccess:' <<<"$props" || fail "the rule does not tag $tty uaccess"
    else
        echo "no tty with a driver here: the rule's effect is not tried"
    fi
    rm -f "$probe"
    rmdir /run/udev/rules.d 2>/dev/null || true
    [ -z "$made_dir" ] || rm -rf "$made_dir"
else
    echo "udevadm cannot check rules here: the rule's syntax only"
    grep -vE '^(#|$)' "$rule_file" |
        grep -vE '^([A-Z_]+(\{[A-Za-z_]+\})?(==|!=|=|\+=|:=)"[^"]*"(, )?)+$' &&
        fail "a line of $rule does not parse"
fi

if [ -n "$installed" ]; then
    echo "--- apt-get purge"
    apt_get purge sntool || { cat "$scratch/apt.log"; fail "purge failed"; }
    installed=""
    [ ! -e /usr/bin/sntool ] && [ ! -e /usr/lib/udev/rules.d/$rule ] || fail "files left behind"
fi
echo "package checked: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
