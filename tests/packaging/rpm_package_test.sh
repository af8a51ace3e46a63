#!/usr/bin/env bash
# The RPM package, made by CPack from this build into a folder of the test's
# own and looked at without installing it (this is no RPM system): its files
# against this build's own install, its scriptlets, rpmlint, and its programs
# started from the unpacked payload.
#
#   rpm_package_test.sh STEP BUILD_DIR WORK_DIR SOURCE_DIR VERSION
#
# STEP: build, files, scripts, rpmlint or start. Exit status 0 for a pass, 77
# for a skip, anything else for a failure, with the reason on stderr.
set -euo pipefail

step=$1
build=$2
work=$3
source=$4
version=$5
root="$work/root"
. "$(dirname "$0")/package_tools.sh"

the_rpm() { the_package 'velmora-*.rpm'; }

[ "$step" = build ] || skip_when_the_build_was_skipped

case "$step" in
build)
  rm -rf "$work"
  mkdir -p "$work" "$root"
  need_packages --rpm
  cpack -G RPM --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
  rpm=$(the_rpm)
  [ "$(basename "$rpm")" = "velmora-$version-1.x86_64.rpm" ] || fail "the package is named $(basename "$rpm")"
  (cd "$root" && rpm2cpio "$rpm" | cpio -idm --quiet) || fail "rpm2cpio and cpio cannot unpack $rpm"
  # What a plain install of this build puts in place: every file of it must be
  # in the package, whichever install rule added it.
  DESTDIR="$work/plain" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "this build does not install"; }
  ;;

files)
  rpm=$(the_rpm)
  # The RPM's own files, beside those of the plain install.
  own=(
    usr/share/xscreensaver/hacks.conf.d/velmora.conf
    usr/share/licenses/velmora/copyright
  )
  # Where Fedora's XScreenSaver looks, whatever else the install rules add.
  for path in usr/libexec/xscreensaver/velmora usr/share/xscreensaver/config/velmora.xml \
    usr/bin/velmora-snapshot usr/bin/velmora-sim usr/share/man/man6/velmora.6.gz \
    usr/share/man/man1/velmora-snapshot.1.gz usr/share/man/man1/velmora-sim.1.gz "${own[@]}"; do
    [ -f "$root/$path" ] || fail "the package has no /$path"
  done
  expected=$( (cd "$work/plain" && find . -type f -o -type l; printf './%s\n' "${own[@]}") | sort)
  held=$(cd "$root" && find . -type f -o -type l | sort)
  [ "$held" = "$expected" ] ||
    fail "the package's files differ from the install's and its own (< package, > expected): $(diff <(echo "$held") <(echo "$expected"))"
  # rpm's own list agrees with the payload, and names no folder that Fedora's
  # filesystem package owns.
  listed=$(rpm -qp --list "$rpm") || fail "rpm cannot list $rpm"
  for folder in /usr /usr/bin /usr/libexec /usr/share /usr/share/man /usr/share/man/man1 /usr/share/man/man6 \
    /usr/share/doc /usr/share/licenses /usr/share/applications; do
    ! grep -qx "$folder" <<<"$listed" || fail "the package claims the system folder $folder"
  done
  for program in usr/libexec/xscreensaver/velmora usr/bin/velmora-snapshot usr/bin/velmora-sim; do
    [ -x "$root/$program" ] || fail "/$program is not executable"
    grep -qx "/$program" <<<"$listed" || fail "rpm -qp --list does not name /$program"
  done
  flags=$(rpm -qp --qf '[%{FILEFLAGS:fflags} %{FILENAMES}\n]' "$rpm") || fail "rpm cannot read the file flags of $rpm"
  grep -qx 'l /usr/share/licenses/velmora/copyright' <<<"$flags" || fail "the licence is not marked as one"
  # The entry Fedora's update-xscreensaver-hacks puts into XScreenSaver's
  # programs: one line of that resource, a GL hack on the root window.
  entry="$root/usr/share/xscreensaver/hacks.conf.d/velmora.conf"
  [ "$(wc -l <"$entry")" -eq 1 ] || fail "hacks.conf.d/velmora.conf is not one line"
  grep -qE '^[[:space:]]*GL:[[:space:]]+velmora --root[[:space:]]+\\n\\$' "$entry" ||
    fail "hacks.conf.d/velmora.conf is not a GL entry for velmora --root: $(cat "$entry")"
  # Found by rpm itself in the programs: the libraries' sonames, 64-bit ones.
  requires=$(rpm -qp --requires "$rpm") || fail "rpm cannot read the requirements of $rpm"
  for library in libc.so.6 libX11.so.6 libpng16.so.16 libwebp.so.7 libGLX.so.0 libstdc++.so.6 \
    libwayland-client.so.0 libwayland-egl.so.1 libEGL.so.1 libOpenGL.so.0; do
    grep -q "^$library(.*)(64bit)$" <<<"$requires" || fail "the detected requirements miss $library: $requires"
  done
  ! grep -qi 'osmesa' <<<"$requires" || fail "the package requires OSMesa: $requires"
  rpm -qp --recommends "$rpm" | grep -qx 'xscreensaver-gl-base' || fail "the package does not recommend xscreensaver-gl-base"
  ;;

scripts)
  rpm=$(the_rpm)
  scripts=$(rpm -qp --scripts "$rpm") || fail "rpm cannot read the scriptlets of $rpm"
  for when in postinstall postuninstall; do
    body=$(awk -v when="$when" '/^[a-z]+ scriptlet/ { on = ($1 == when) ; next } on' <<<"$scripts")
    grep -q '/usr/sbin/update-xscreensaver-hacks' <<<"$body" || fail "the $when scriptlet does not run update-xscreensaver-hacks: $scripts"
    # Where XScreenSaver is not installed (as here), the scriptlet does nothing
    # and succeeds: rpm would otherwise report the install as failed.
    sh -n <<<"$body" || fail "the $when scriptlet is not valid sh"
    if [ ! -e /usr/sbin/update-xscreensaver-hacks ] && [ ! -e /usr/bin/update-xscreensaver-hacks ]; then
      output=$(sh -c "$body" 2>&1) || fail "the $when scriptlet fails without XScreenSaver: $output"
      [ -z "$output" ] || fail "the $when scriptlet prints without XScreenSaver: $output"
    fi
  done
  for when in preinstall preuninstall; do
    ! grep -q "^$when scriptlet" <<<"$scripts" || fail "the package has a $when scriptlet"
  done
  ;;

rpmlint)
  rpm=$(the_rpm)
  # Errors fail; the warnings are shown in the test's output. The settings are
  # those of Fedora and openSUSE where they differ from Debian's rpmlint.
  code=0
  rpmlint -c "$source/packaging/rpm/rpmlint.toml" "$rpm" >"$work/rpmlint.log" 2>&1 || code=$?
  cat "$work/rpmlint.log" >&2
  ! grep -q ' E: ' "$work/rpmlint.log" || fail "rpmlint reports errors"
  grep -q ' checked; 0 errors,' "$work/rpmlint.log" || fail "rpmlint did not check the package (exit status $code)"
  ;;

start)
  for program in usr/libexec/xscreensaver/velmora usr/bin/velmora-snapshot usr/bin/velmora-sim; do
    output=$(env -u DISPLAY "$root/$program" --help 2>&1) || fail "/$program --help fails: $output"
    grep -qi 'usage' <<<"$output" || fail "/$program --help shows no usage: $output"
  done
  ;;

*)
  fail "unknown step $step"
  ;;
esac
