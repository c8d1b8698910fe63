#!/usr/bin/env bash
# The Windows packages as an IT department meets them, under Wine in a fresh
# prefix: the installer run silently, what it put down (programs, Start-menu
# shortcut, the Apps & Features entry), the installed sntool.exe writing a
# simulated pager, then the silent uninstall, after which drive C holds
# exactly the files it held before; an install into another folder, which a
# reinstall keeps and whose uninstall leaves the operator's own file there.
# The portable zip: one folder, whose
# programs run from wherever it is unpacked.
# Usage: installer_test.sh SETUP_EXE ZIP VERSION
set -u
SETUP=$(realpath "$1")
ZIP=$(realpath "$2")
VERSION=$3
tmp=$(mktemp -d)
fail=0
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drive=$WINEPREFIX/drive_c
dir="$drive/Program Files/Serial Number Tool"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\SerialNumberTool'
link="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Serial Number Tool.lnk"

cleanup() {
    wineserver -k >/dev/null 2>&1
    rm -rf "$tmp"
}
trap cleanup EXIT
bad() { fail=1; echo "FAIL: $*"; }
# Every file on drive C. (Folders are not compared: Wine leaves the empty
# folder of the uninstaller's temporary copy in Temp after the restart.)
files_of_c() { (cd "$drive" && find . -type f | LC_ALL=C sort); }
# Runs a Windows program and waits until every process it started has ended
# (an NSIS uninstaller hands over to a copy of itself and returns at once).
run_wine() { wine "$@"; local rc=$?; wineserver -w; return $rc; }

wine wineboot -i >/dev/null 2>&1
wineserver -w
files_of_c >"$tmp/before"

echo "--- silent install"
run_wine "$SETUP" /S || bad "the installer exited with $?"
for f in sntool.exe sntool-gui.exe uninstall.exe README.txt CHANGELOG.md; do
    [ -f "$dir/$f" ] || bad "Program Files lacks $f"
done
[ -f "$link" ] || bad "no Start-menu shortcut 'Serial Number Tool'"
wine reg query "$key" >"$tmp/key" 2>/dev/null || bad "no uninstall entry"
for value in "DisplayName.*Serial Number Tool" "DisplayVersion.*$VERSION" \
    'UninstallString.*uninstall.exe' 'QuietUninstallString.*uninstall.exe" /S'; do
    grep -qE "$value" "$tmp/key" || bad "the uninstall entry lacks $value"
done
# Wine's own Apps & Features lists what the uninstall key describes.
wine uninstaller --list 2>/dev/null | grep -q "Serial Number Tool" ||
    bad "the uninstaller list does not show the tool"

echo "--- the installed sntool.exe"
exe="C:\\Program Files\\Serial Number Tool\\sntool.exe"
out=$(wine "$exe" --version 2>&1 | tr -d '\r')
[ "$out" = "sntool $VERSION" ] || bad "installed --version says '$out'"
wine "$exe" --simulate write AB12CD34EF --verify >"$tmp/write" 2>&1 ||
    { bad "the installed sntool.exe could not write a serial number"; cat "$tmp/write"; }
grep -q "Successfully completed." "$tmp/write" || bad "no success text"
wineserver -w

echo "--- silent uninstall"
run_wine "$dir/uninstall.exe" /S || bad "the uninstaller exited with $?"
[ ! -e "$dir" ] || bad "Program Files still holds: $(ls "$dir")"
[ ! -e "$link" ] || bad "the Start-menu shortcut is still there"
wine reg query "$key" >/dev/null 2>&1 && bad "the uninstall entry is still there"
# The uninstaller's temporary copy is removed when Windows next starts.
wine wineboot -r >/dev/null 2>&1
wineserver -w
files_of_c >"$tmp/after"
diff "$tmp/before" "$tmp/after" >"$tmp/diff" || { bad "files left behind or lost:"; cat "$tmp/diff"; }

echo "--- another folder, a reinstall, and the operator's own file"
# A reinstall goes where the first install went; the uninstaller takes only
# what it put down, so a production log kept in the folder stays.
run_wine "$SETUP" /S '/D=C:\Tools\SNT' || bad "the install into C:\Tools\SNT exited with $?"
run_wine "$SETUP" /S || bad "the reinstall exited with $?"
[ ! -e "$dir" ] || bad "the reinstall went to Program Files, not to C:\Tools\SNT"
echo "serial" >"$drive/Tools/SNT/production.csv"
run_wine "$drive/Tools/SNT/uninstall.exe" /S || bad "the uninstaller exited with $?"
[ "$(ls -A "$drive/Tools/SNT" 2>&1)" = production.csv ] ||
    bad "C:\Tools\SNT holds '$(ls -A "$drive/Tools/SNT" 2>&1)', not just the log"

echo "--- portable zip"
name=sntool-$VERSION-windows
[ "$(unzip -Z1 "$ZIP" | cut -d/ -f1 | sort -u)" = "$name" ] || bad "the zip is not one folder $name"
mkdir -p "$drive/Portable Tools" && unzip -q "$ZIP" -d "$drive/Portable Tools"
out=$(wine "C:\\Portable Tools\\$name\\sntool.exe" --version 2>&1 | tr -d '\r')
[ "$out" = "sntool $VERSION" ] || bad "the unzipped sntool.exe --version says '$out'"
[ -f "$drive/Portable Tools/$name/sntool-gui.exe" ] || bad "the zip lacks sntool-gui.exe"

if [ "$fail" -ne 0 ]; then exit 1; fi
echo "installer: install, run, uninstall and the portable zip all as expected"
