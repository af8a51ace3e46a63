#!/usr/bin/env bash
# The Debian package, made by CPack from this build into a folder of the test's
# own and looked at without installing it. Only where installing is acceptable
# (as root with CI=true) is it also installed, run and purged again.
#
#   debian_package_test.sh STEP BUILD_DIR WORK_DIR
#
# STEP: build, lintian, files, start, offscreen or install. Exit status 0 for a pass, 77
# for a skip, anything else for a failure, with the reason on stderr.
set -euo pipefail
. "$(dirname "$0")/package_tools.sh"

step=$1
build=$2
work=$3
root="$work/root"

the_deb() { the_package 'velmora_*.deb'; }

# Installed, or purged only in part. (Not grep 'installed' on its status,
# which "not-installed" matches too.)
velmora_is_known_to_dpkg() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}' velmora 2>/dev/null) || return 1
  [ -n "$status" ] && [ "$status" != not-installed ]
}

case "$step" in
build)
  rm -rf "$work"
  mkdir -p "$work"
  make_and_unpack_deb "$build/CPackConfig.cmake"
  ;;

lintian)
  deb=$(the_deb)
  lintian --fail-on error,warning "$deb" >&2 || fail "lintian reports errors or warnings"
  ;;

files)
  deb=$(the_deb)
  expected=(
    usr/libexec/xscreensaver/velmora
    usr/bin/velmora-snapshot
    usr/bin/velmora-sim
    usr/bin/velmora-add-to-xscreensaver
    usr/share/xscreensaver/config/velmora.xml
    usr/share/applications/screensavers/velmora.desktop
    usr/share/man/man6/velmora.6.gz
    usr/share/man/man1/velmora-snapshot.1.gz
    usr/share/man/man1/velmora-sim.1.gz
    usr/share/man/man1/velmora-add-to-xscreensaver.1.gz
    usr/share/doc/velmora/copyright
    usr/share/doc/velmora/changelog.gz
  )
  for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || fail "the package has no /$path"
  done
  # Nothing else: every file the package holds is one of those above. (A
  # here-string, not printf into grep -q: grep may end before printf's last
  # line, and pipefail would count printf's broken pipe as no match.)
  expected_list=$(printf '%s\n' "${expected[@]}")
  while IFS= read -r path; do
    grep -qxF -- "${path#./}" <<<"$expected_list" || fail "the package holds an unexpected file $path"
  done < <(cd "$root" && find . -type f)
  for program in usr/libexec/xscreensaver/velmora usr/bin/velmora-snapshot usr/bin/velmora-sim \
    usr/bin/velmora-add-to-xscreensaver; do
    [ -x "$root/$program" ] || fail "/$program is not executable"
  done
  # velmora on PATH, for idle daemons and autostart files on Wayland: a
  # relative link to the hack, and the one link the package holds.
  [ "$(readlink "$root/usr/bin/velmora")" = ../libexec/xscreensaver/velmora ] ||
    fail "/usr/bin/velmora is not a relative link to the hack"
  [ "$(cd "$root" && find . -type l)" = ./usr/bin/velmora ] || fail "the package holds unexpected links"
  for page in usr/share/man/man6/velmora.6.gz usr/share/man/man1/velmora-add-to-xscreensaver.1.gz \
    usr/share/doc/velmora/changelog.gz; do
    gzip -t "$root/$page" || fail "/$page is not a gzip file"
  done
  # XScreenSaver runs the hack named by the description: that must be the
  # installed program, on its root window.
  grep -q '<screensaver name="velmora"' "$root/usr/share/xscreensaver/config/velmora.xml" ||
    fail "velmora.xml does not name the program velmora"
  grep -q 'arg-set="-fps"' "$root/usr/share/xscreensaver/config/velmora.xml" ||
    fail "velmora.xml offers no frame rate"
  # MATE's and Xfce's savers run what the desktop entry names: the installed
  # hack, by the path they know, on its root window.
  entry="$root/usr/share/applications/screensavers/velmora.desktop"
  desktop-file-validate "$entry" >&2 || fail "desktop-file-validate rejects /usr/share/applications/screensavers/velmora.desktop"
  grep -qx 'Exec=/usr/libexec/xscreensaver/velmora --root' "$entry" || fail "the desktop entry does not run the installed hack with --root"
  grep -qx 'TryExec=/usr/libexec/xscreensaver/velmora' "$entry" || fail "the desktop entry's TryExec is not the installed hack"
  grep -q '^Recommends: xscreensaver$' "$work/control" || fail "the package does not recommend xscreensaver"
  # Computed by dpkg-shlibdeps; OpenGL comes as libgl1 or as GLVND's libglx0,
  # offscreen and for Wayland as GLVND's libEGL and libOpenGL, never OSMesa.
  for library in libc6 libx11-6 libpng16-16 'libglx0\|libgl1' libwayland-client0 libwayland-egl1 \
    libegl1 libopengl0; do
    grep -q "^Depends:.*\b\($library\)\b" "$work/control" || fail "the computed dependencies miss $library"
  done
  ! grep -qi '^Depends:.*osmesa' "$work/control" || fail "the package depends on OSMesa: $(grep '^Depends:' "$work/control")"
  ;;

start)
  for program in usr/libexec/xscreensaver/velmora usr/bin/velmora usr/bin/velmora-snapshot usr/bin/velmora-sim \
    usr/bin/velmora-add-to-xscreensaver; do
    output=$(env -u DISPLAY "$root/$program" --help 2>&1) || fail "/$program --help fails: $output"
    grep -qi 'usage' <<<"$output" || fail "/$program --help shows no usage: $output"
  done
  ;;

offscreen)
  the_deb >/dev/null
  snapshot_without_osmesa "$root/usr/bin/velmora-snapshot" "$work/offscreen.png"
  ;;

install)
  if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != "true" ]; then
    echo "skipped: installs into the machine only as root with CI=true" >&2
    exit 77
  fi
  hold_package_database
  if velmora_is_known_to_dpkg; then
    echo "skipped: velmora is already installed on this machine and is left alone" >&2
    exit 77
  fi
  deb=$(the_deb)
  server=
  # A failure half-way leaves neither the server nor the package behind.
  cleanup() {
    [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; }
    if velmora_is_known_to_dpkg; then
      output=$(dpkg --purge velmora 2>&1) || fail "velmora is left installed: dpkg --purge failed: $output"
    fi
  }
  trap cleanup EXIT
  dpkg -i "$deb" >&2 || fail "dpkg -i failed"
  mapfile -t owned < <(dpkg -L velmora)
  snapshot_without_osmesa /usr/bin/velmora-snapshot "$work/installed.png"

  # A private X server; it writes the display number it took to fd 3 once it
  # accepts clients, which on a loaded machine can take a while. The file is
  # emptied here: the background job's own redirection may come after the first
  # look, which would read an earlier run's number.
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" >/dev/null 2>"$work/xvfb.err" {package_lock}>&- &
  server=$!
  for _ in $(seq 600); do
    grep -q '^[0-9]' "$work/display" 2>/dev/null && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  number=$(head -n1 "$work/display" 2>/dev/null) || number=
  [ -n "$number" ] || fail "Xvfb did not start: $(cat "$work/xvfb.err")"

  DISPLAY=":$number" LIBGL_ALWAYS_SOFTWARE=1 /usr/libexec/xscreensaver/velmora --root 2>"$work/hack.err" {package_lock}>&- &
  hack=$!
  sleep 1
  kill -0 "$hack" 2>/dev/null || fail "the installed hack ended by itself: $(cat "$work/hack.err")"
  kill -TERM "$hack"
  code=0
  wait "$hack" || code=$?
  [ "$code" -eq 0 ] || fail "the installed hack ended with $code after SIGTERM: $(cat "$work/hack.err")"

  dpkg --purge velmora >&2 || fail "dpkg --purge failed"
  ! velmora_is_known_to_dpkg || fail "velmora is still installed: $(dpkg-query -W -f='${Status}' velmora)"
  for path in "${owned[@]}"; do
    [ -d "$path" ] && continue # shared folders stay
    [ ! -e "$path" ] || fail "$path is left behind"
  done
  [ ! -e /usr/share/doc/velmora ] || fail "/usr/share/doc/velmora is left behind"
  ;;

*)
  fail "unknown step $step"
  ;;
esac
