#!/usr/bin/env bash
# Builds the API reference of build dir $1 (target docs, Doxygen) and checks
# it. Prints one "docs: <check> passed|failed" line per check:
# - api-reference: every public type and operation is documented (Doxygen's
#   warnings file stays empty);
# - public-headers: every project header that a header of the reference
#   includes is in the reference too, or named internal in docs/CMakeLists.txt
#   (so that a type an application meets, like String, cannot be left out);
# - declarations: no member list shows a member's initialiser (`{lock_}`);
# - man-pages: the manual pages of the programs were made.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=${1:-build}
work=$(mktemp -d /tmp/qx-docs.XXXXXX)
trap 'rm -rf "$work"' EXIT
check_label=docs
source "$root/scripts/checks.sh"

build_reference() {
  cmake --build "$build" --target docs >/dev/null 2>&1 || { echo "the docs target failed"; return 1; }
  [[ ! -s $build/docs/warnings.txt ]] || { head -n 20 "$build/docs/warnings.txt"; return 1; }
}

# The reference's inputs, read from the Doxyfile that CMake wrote.
reference_inputs() {
  sed -n '/^INPUT *=/,/^[A-Z_]* *=/p' "$build/docs/Doxyfile.docs" | grep -o '[^ "]*\.\(h\|md\)' | sort -u
}

headers_complete() {
  local inputs internal header included missing=0
  inputs=$(reference_inputs)
  internal=$(cat "$build/docs/internal-headers.txt")
  for header in $(grep '\.h$' <<<"$inputs"); do
    for included in $(sed -n 's/^#include "\([^"]*\)"/\1/p' "$header"); do
      grep -q "/$included\$" <<<"$inputs" && continue
      grep -qw "$included" <<<"$internal" && continue
      echo "$(basename "$header") includes $included, which is not in the reference"
      missing=1
    done
  done
  return $missing
}

# An initialiser in a member list reads like "Name{lock_}" or "Name = ...;";
# Doxygen prints either right after the member's name.
declarations_clean() {
  ! grep -rlE 'memname">[^<]*\{[A-Za-z_]+\}|\{[a-z][A-Za-z]*_\}' "$build/docs/html" --include='*.html' --exclude='*_source.html'
}

man_pages_made() {
  local program
  for program in orq-hub zorvctl infodriver-host; do
    zcat "$build/docs/man/$program.1.gz" | grep -q '^\.TH' || { echo "no manual page for $program"; return 1; }
  done
}

check api-reference build_reference
check public-headers headers_complete
check declarations declarations_clean
check man-pages man_pages_made
exit $rc
