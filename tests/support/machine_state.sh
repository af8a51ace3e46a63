#!/usr/bin/env bash
# The suite's guard of the machine it runs on: the type, mode, owner and group
# of everything in the system's own folders, and of the shared temporary
# folders and the home folder themselves, noted before the first test and
# compared after the last. A test that changed any (a mode changed through a
# link, a folder given to another user) fails the run with their names.
# Entries added or removed meanwhile are not compared: a package the tests
# install, or another program's files, come and go.
#
#   machine_state.sh note FILE      notes the state into FILE
#   machine_state.sh compare FILE   exit status 1, naming each change, when
#                                   the state differs from FILE's
set -euo pipefail

state() {
  # Path, a tab, then what is compared; sorted by path for join.
  {
    find /usr /etc /opt /boot -xdev -printf '%p\t%y %m %u:%g\n' 2>/dev/null || true
    find / /tmp /var/tmp /dev/shm /var /home "${HOME:-/root}" -maxdepth 0 -printf '%p\t%y %m %u:%g\n' 2>/dev/null || true
    [ ! -d "${HOME:-}" ] || find "$HOME" -mindepth 1 -maxdepth 1 -printf '%p\t%y %m %u:%g\n' 2>/dev/null || true
  } | LC_ALL=C sort -t $'\t' -k1,1 -u
}

case "${1:-}" in
note)
  state >"$2.new"
  mv "$2.new" "$2"
  echo "noted $(wc -l <"$2") entries of the machine's own folders"
  ;;
compare)
  [ -s "$2" ] || {
    echo "FAIL: no state noted in $2: the guard's first test did not run" >&2
    exit 1
  }
  changed=$(LC_ALL=C join -t $'\t' "$2" <(state) | awk -F '\t' '$2 != $3 { printf "%s: %s, now %s\n", $1, $2, $3 }')
  if [ -n "$changed" ]; then
    echo "FAIL: the tests changed the machine outside their own folders (type, mode, owner:group before, now):" >&2
    echo "$changed" >&2
    exit 1
  fi
  echo "the machine's own folders are as they were: no change among the $(wc -l <"$2") entries noted"
  ;;
*)
  echo "usage: machine_state.sh note|compare FILE" >&2
  exit 2
  ;;
esac
