#!/usr/bin/env bash
# Builds the API reference of build dir $1 (target docs, Doxygen) and checks
# that every public type and operation is documented: Doxygen's warnings file
# must stay empty. Prints "docs: api-reference passed|failed".
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
if cmake --build "$build" --target docs >/dev/null 2>&1 && [[ ! -s $build/docs/warnings.txt ]]; then
  echo "docs: api-reference passed"
else
  [[ -f $build/docs/warnings.txt ]] && head -n 20 "$build/docs/warnings.txt"
  echo "docs: api-reference failed"
fi
