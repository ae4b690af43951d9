#!/usr/bin/env bash
# Sets the machine up, builds the project in build/ and runs the demo.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=${QX_JOBS:-2}

bash scripts/setup.sh
cmake -S . -B build -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs" -- --quiet

demo=build/bin/zorv-demo
[[ -x $demo ]] || demo=build/bin/platform-demo
exec "$demo" "$@"
