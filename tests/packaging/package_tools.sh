# Sourced by the package tests: what they share. Each test names the package
# it made in the_deb or the_rpm, with the_package.
#
#   fail MESSAGE                         one line, exit 1
#   the_package GLOB                     the package the build step left in $work/cpack
#
#   need_packages INSTALL_DEPS_OPTION   (--rpm or --arm64)
#   hold_package_database                until the script ends, alone with dpkg and apt
#
# When some are missing, CI (as root with CI=true) installs them with
# scripts/install-deps, as a fresh machine needs; anywhere else the test is
# skipped (77) with the command that would install them, so that a developer
# who builds only for amd64 and Windows never gets them unasked. The reason
# stays in $work/skipped for the steps that build on this one's result.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

the_package() {
  local found=("$work"/cpack/$1)
  [ -f "${found[0]}" ] || fail "no package: the build step did not run or failed"
  echo "${found[0]}"
}

# The package tests that use this machine's package database take turns, in
# one suite or in several: apt and dpkg allow one run at a time, and while dpkg
# installs or purges a package, the packages whose triggers it runs (such as
# desktop-file-utils) read as not installed to a check made meanwhile, which
# would start apt-get beside it. -o: no program started under the lock keeps it.
package_database_lock=/tmp/velmora-install-deps.lock

# Holds that lock until the calling script ends. A program it leaves running in
# the background is started with {package_lock}>&-, so as not to hold it on.
hold_package_database() {
  exec {package_lock}>"$package_database_lock"
  flock "$package_lock"
}

need_packages() {
  local option=$1 install_deps
  install_deps="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/install-deps"
  if [ "$(id -u)" -eq 0 ] && [ "${CI:-}" = "true" ]; then
    # Installs only what is missing: nothing, mostly.
    flock -o "$package_database_lock" "$install_deps" "$option" </dev/null >&2 ||
      { echo "FAIL: $install_deps $option failed" >&2; exit 1; }
    return 0
  fi
  "$install_deps" --check "$option" 2>/dev/null && return 0
  echo "the packages of '$install_deps $option' are missing: $("$install_deps" --check "$option" 2>&1)" >"$work/skipped"
  echo "skipped: $(cat "$work/skipped")" >&2
  exit 77
}

# Runs a packaged velmora-snapshot where no OSMesa is: in a mount namespace of
# its own, every libOSMesa of the machine (if any is left) reads as /dev/null,
# so a program that needed one could not even start. The picture must be
# written, and the tool must say which renderer drew it.
snapshot_without_osmesa() {
  local program=$1 picture=$2 hidden unshare output
  mapfile -t hidden < <(find /usr/lib /usr/lib64 /usr/local/lib -name 'libOSMesa.so*' -type f 2>/dev/null)
  unshare=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare --user --map-root-user --mount --propagation private)
  rm -f "$picture"
  # shellcheck disable=SC2016
  output=$("${unshare[@]}" /bin/sh -c 'while [ "$1" != -- ]; do mount --bind /dev/null "$1" && [ ! -s "$1" ] || exit 125; shift; done; shift; exec "$@"' \
    sh "${hidden[@]}" -- env -u DISPLAY "$program" --size 160x120 --seed 2024 --cycles 60 --time 10:09 "$picture" 2>&1) ||
    fail "velmora-snapshot fails with OSMesa hidden (${#hidden[@]} copies): $output"
  [ "$(head -c 4 "$picture" | od -An -c | tr -d ' ')" = '211PNG' ] || fail "velmora-snapshot wrote no PNG picture: $output"
  grep -q '^velmora-snapshot: drawn by ' <<<"$output" || fail "velmora-snapshot does not say what drew: $output"
  echo "with ${#hidden[@]} copies of libOSMesa hidden: $(grep 'drawn by' <<<"$output")" >&2
}

# A step on the build step's result is skipped, not failed, when that was.
skip_when_the_build_was_skipped() {
  if [ -f "$work/skipped" ]; then
    echo "skipped: the build step was: $(cat "$work/skipped")" >&2
    exit 77
  fi
}

# Makes the Debian package from a build's CPack configuration into $work/cpack,
# unpacks it into $root and keeps its control fields in $work/control.
make_and_unpack_deb() {
  local config=$1 deb
  cpack -G DEB --config "$config" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
  deb=$(the_deb)
  dpkg-deb -x "$deb" "$root" || fail "dpkg-deb cannot unpack $deb"
  dpkg-deb -f "$deb" >"$work/control" || fail "dpkg-deb cannot read the control fields of $deb"
}
