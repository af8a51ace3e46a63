#!/bin/sh
# The Windows setup program under Wine, in a fresh 64-bit prefix of its own and
# on an X display of its own: a silent install puts velmora.scr where 64-bit
# programs find it and writes the uninstall entry and the user's saver choice;
# the installed saver runs and ends with 0 on a key; a second install leaves
# one entry; a silent uninstall takes everything away and puts the saver
# settings back, but leaves a saver chosen since alone.
#   windows_installer_test.sh SETUP.EXE VELMORA.SCR RUN_SAVER.EXE VERSION WORKDIR
set -eu
setup=$1 scr=$2 run_saver=$3 version=$4 workdir=$5

mkdir -p "$workdir"
tmp=$(mktemp -d "$workdir/installer-test.XXXXXX")
export WINEPREFIX="$tmp/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LIBGL_ALWAYS_SOFTWARE=1
unset DISPLAY
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
xvfb=
failures=0

cleanup() {
  "$wineserver" -k 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  if [ "$failures" -eq 0 ]; then rm -rf "$tmp"; else echo "kept for a look: $tmp"; fi
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
die() { fail "$*"; exit 1; }

# Xvfb picks a free display itself and names it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 300); do
  [ -s "$tmp/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || die "Xvfb did not start"
  sleep 0.1
done
[ -s "$tmp/display" ] || die "Xvfb named no display within 30 s"
export DISPLAY=":$(head -n 1 "$tmp/display")"

"$wine" wineboot --init >/dev/null 2>&1 || true
# No window manager on Xvfb: unmanaged windows show at once.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
"$wineserver" -w || true

system32="$WINEPREFIX/drive_c/windows/system32"
syswow64="$WINEPREFIX/drive_c/windows/syswow64"
instdir="$WINEPREFIX/drive_c/Program Files/The Velmora"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
desktop_key='HKCU\Control Panel\Desktop'
[ -d "$system32" ] || die "no 64-bit prefix was made in $WINEPREFIX"

# The data of one registry value, or nothing (and status 1) when it is absent.
value() {
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name && $2 ~ /^REG_/ { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]*/, ""); print; found = 1 }
                      END { exit !found }'
}
expect_value() { # key name expected
  got=$(value "$1" "$2") || { fail "$1 has no value $2"; return; }
  [ "$got" = "$3" ] || fail "$1 $2 is '$got', not '$3'"
}
expect_no_value() {
  if got=$(value "$1" "$2"); then fail "$1 $2 is still there ('$got')"; fi
}
entries() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    grep -c 'DisplayName[[:space:]]*REG_SZ[[:space:]]*The Velmora$'
}
install() {
  status=0
  "$wine" "$setup" /S || status=$?
  "$wineserver" -w || true
  [ "$status" -eq 0 ] || fail "the silent install ended with $status"
}
uninstall() {
  [ -f "$instdir/uninstall.exe" ] || { fail "no uninstaller in $instdir"; return; }
  # The uninstaller runs on from a copy of itself; wait for the whole prefix.
  status=0
  "$wine" "$instdir/uninstall.exe" /S || status=$?
  "$wineserver" -w || true
  [ "$status" -eq 0 ] || fail "the silent uninstall ended with $status"
}

active_before=$(value "$desktop_key" ScreenSaveActive) || active_before=absent

echo "--- silent install"
install
cmp -s "$scr" "$system32/velmora.scr" || fail "velmora.scr is not in the 64-bit system folder"
[ ! -e "$syswow64/velmora.scr" ] || fail "velmora.scr went to the 32-bit system folder"
strings -el "$system32/velmora.scr" | grep -qx "$version.0" || fail "velmora.scr's version resource does not say $version.0"
expect_value "$uninstall_key" DisplayName "The Velmora"
expect_value "$uninstall_key" DisplayVersion "$version"
expect_value "$uninstall_key" Publisher "The Velmora developers"
expect_value "$uninstall_key" DisplayIcon 'C:\windows\system32\velmora.scr,0'
expect_value "$uninstall_key" UninstallString '"C:\Program Files\The Velmora\uninstall.exe"'
size=$(value "$uninstall_key" EstimatedSize) || size=0
[ $((size)) -ge $(($(stat -c %s "$scr") / 1024)) ] || fail "EstimatedSize $size KiB is less than velmora.scr"
echo "installed: velmora.scr $(stat -c %s "$system32/velmora.scr") bytes, uninstall.exe $(stat -c %s "$instdir/uninstall.exe") bytes; EstimatedSize $((size)) KiB"
expect_value "$desktop_key" SCRNSAVE.EXE 'C:\windows\system32\velmora.scr'
expect_value "$desktop_key" ScreenSaveActive 1

echo "--- the installed saver, /s, then a key"
"$wine" "$run_saver" 'C:\windows\system32\velmora.scr' || fail "the installed saver did not end with 0 on a key"
"$wineserver" -w || true

echo "--- a second install over the first"
install
[ "$(entries)" = 1 ] || fail "$(entries) uninstall entries after two installs, not 1"

echo "--- silent uninstall"
uninstall
[ ! -e "$system32/velmora.scr" ] || fail "velmora.scr is still in the system folder"
[ ! -e "$instdir" ] || fail "$instdir is still there"
if value "$uninstall_key" DisplayName >/dev/null; then fail "the uninstall entry is still there"; fi
[ "$(entries)" = 0 ] || fail "an uninstall entry is left"
expect_no_value "$desktop_key" SCRNSAVE.EXE
if [ "$active_before" = absent ]; then
  expect_no_value "$desktop_key" ScreenSaveActive
else
  expect_value "$desktop_key" ScreenSaveActive "$active_before"
fi

echo "--- uninstall after another saver was chosen"
install
"$wine" reg add "$desktop_key" /v SCRNSAVE.EXE /d 'C:\windows\system32\other.scr' /f >/dev/null 2>&1 ||
  fail "could not choose another saver"
uninstall
expect_value "$desktop_key" SCRNSAVE.EXE 'C:\windows\system32\other.scr'
expect_value "$desktop_key" ScreenSaveActive 1

[ "$failures" -eq 0 ] || exit 1
echo "installer test passed"
