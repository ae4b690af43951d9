#!/usr/bin/env bash
# Runs tests of the Windows build under Wine, as test.sh does, for working on
# a few test programs: bash scripts/wine-ctest.sh [ctest options...]
# e.g. bash scripts/wine-ctest.sh -R '^ClientDispatch\.' (build-mingw must be built).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
source "$root/scripts/wine-env.sh"
trap stop_wine EXIT
start_wine
ctest --test-dir "$root/build-mingw" --output-on-failure --timeout 120 -j 1 "$@" </dev/null
