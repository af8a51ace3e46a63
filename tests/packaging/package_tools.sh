# Sourced by the package tests: brings the Debian packages a test needs, or
# skips it.
#
#   need_packages INSTALL_DEPS_OPTION   (--rpm or --arm64)
#
# When some are missing, CI (as root with CI=true) installs them with
# scripts/install-deps, as a fresh machine needs; anywhere else the test is
# skipped (77) with the command that would install them, so that a developer
# who builds only for amd64 and Windows never gets them unasked.
need_packages() {
  local option=$1 install_deps
  install_deps="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/install-deps"
  "$install_deps" --check "$option" 2>/dev/null && return 0
  if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != "true" ]; then
    echo "skipped: the packages of '$install_deps $option' are missing: $("$install_deps" --check "$option" 2>&1)" >&2
    exit 77
  fi
  # Package tests running in parallel take turns: apt allows one at a time.
  flock /tmp/velmora-install-deps.lock "$install_deps" "$option" </dev/null >&2 ||
    { echo "FAIL: $install_deps $option failed" >&2; exit 1; }
}
