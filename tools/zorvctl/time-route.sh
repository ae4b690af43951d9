#!/usr/bin/env bash
# The time of one `zorvctl route` from start to exit: starts orq-hub on a copy
# of the shipped facility in a session of its own, runs the command N times
# (default 200) and prints the mean wall time per run.
#   tools/zorvctl/time-route.sh [BUILD_DIR] [N]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build=${1:-build}
runs=${2:-200}
export QX_SESSION="zorvctl-time-$$"
facility=$(mktemp -d "${TMPDIR:-/tmp}/zorvctl-time-XXXXXX")
cp peers/orq/facility/* "$facility"/
"$build/bin/orq-hub" -q -c "$facility" > "$facility/ready" &
hub=$!
trap 'kill $hub; wait $hub 2>/dev/null; rm -rf "$facility"' EXIT
for _ in $(seq 200); do grep -q ready "$facility/ready" && break; sleep 0.05; done

"$build/bin/zorvctl" route 1 5 1 > /dev/null  # warm the file cache
start=$(date +%s%N)
for i in $(seq "$runs"); do "$build/bin/zorvctl" route 1 5 $((i % 16 + 1)) > /dev/null; done
end=$(date +%s%N)
echo "zorvctl route: $(( (end - start) / runs / 1000 )) µs per run (mean of $runs, $build)"
