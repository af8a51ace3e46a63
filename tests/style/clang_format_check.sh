#!/bin/sh
# Every C++ file that git tracks is as clang-format 14 writes it, by the
# repository's .clang-format. Exit status 77 (a skip) where git, a clang-format
# 14 or a git checkout is missing, with the reason.
#   clang_format_check.sh SOURCE_DIR
set -eu
cd "$1"

skip() {
  echo "skipped: $*" >&2
  exit 77
}

command -v git >/dev/null 2>&1 || skip "git is not installed"
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || skip "$1 is not a git checkout"
format=
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null 2>&1; then
    format=$candidate
    break
  fi
done
[ -n "$format" ] || skip "clang-format is not installed (scripts/install-deps installs it)"
# Other versions lay out the same code differently.
"$format" --version | grep -q 'version 14\.' || skip "$format is not version 14: $("$format" --version)"

# The report names the files rather than repeating their every line. Files
# deleted but still in the index are left out.
set --
for file in $(git ls-files '*.cpp' '*.h'); do
  [ ! -e "$file" ] || set -- "$@" "$file"
done
if report=$("$format" --dry-run -Werror "$@" 2>&1); then
  echo "all $# tracked C++ files are clang-format clean"
  exit 0
fi
bad=$(printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
[ -n "$bad" ] || { printf '%s\n' "$report"; exit 1; }
printf 'not clang-format clean: %s\n' $bad
echo "$(printf '%s\n' "$bad" | wc -l) of $# C++ files are not clang-format clean: clang-format -i them, or make format"
exit 1
