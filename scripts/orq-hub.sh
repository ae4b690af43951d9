#!/usr/bin/env bash
# Builds orq-hub if needed and runs it, in this window session, on a fresh copy
# of the shipped facility (the hub saves changed names into its device files).
# Stop it with Ctrl-C. In another terminal, scripts/demo.sh then uses it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=${QX_JOBS:-2}

[[ -f build/build.ninja ]] || cmake -S . -B build -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs" --target orq-hub halvik zorvif32 -- --quiet

facility=$(mktemp -d "${TMPDIR:-/tmp}/orq-facility-XXXXXX")
trap 'rm -rf "$facility"' EXIT
cp peers/orq/facility/* "$facility"/
echo "orq-hub.sh: the facility is in $facility (point infodriver-host -c there; removed when the hub stops)"
build/bin/orq-hub -c "$facility" "$@"
