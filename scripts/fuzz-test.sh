#!/usr/bin/env bash
# Runs every fuzz target with libFuzzer for a short, bounded time in a clang
# build (build-fuzz/), starting from its seed corpus in fuzz/corpus/<target>.
#   bash scripts/fuzz-test.sh [seconds per target]     (default 20)
# Prints "fuzz: <target> passed|failed"; a crash leaves its input in
# build-fuzz/crashes/. Without clang it prints nothing: the fixed-input
# driver runs each target as a test in the normal builds instead.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
seconds=${1:-20}
command -v clang++ >/dev/null || { echo "fuzz: no clang, libFuzzer runs skipped"; exit 0; }

CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja --log-level=WARNING -DQX_LIBFUZZER=ON \
  -DQX_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || { echo "fuzz: configure failed"; exit 1; }
targets=$(cd "$root/fuzz" && ls ./*Fuzz.cpp | sed -E 's|\./(.*)Fuzz\.cpp|fuzz_\1|')
# Everything a build has, so that the targets load the stand-in libraries
# (halvik, tessil32, zorvif32) beside them, instrumented, as programs do.
cmake --build "$root/build-fuzz" -j "${QX_JOBS:-2}" -- --quiet || { echo "fuzz: build failed"; exit 1; }

# Targets that write files run many times faster on a memory file system.
scratch=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && scratch=/dev/shm
work=$(mktemp -d "$scratch/qx-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$root/build-fuzz/crashes" "$work/tmp"
export QX_DRIVES=$work/drives TMPDIR=$work/tmp TMP=$work/tmp QX_SESSION=fuzz-test-$$
for target in $targets; do
  corpus=$work/$target
  mkdir -p "$corpus"
  seeds=$root/fuzz/corpus/$target
  [[ -d $seeds ]] || seeds=
  if (cd "$work" && "$root/build-fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$root/build-fuzz/crashes/$target-" "$corpus" $seeds >"$work/$target.log" 2>&1); then
    grep -E '^(Done|stat::)' "$work/$target.log" | head -n 3
    echo "fuzz: $target passed"
  else
    tail -n 30 "$work/$target.log"
    echo "fuzz: $target failed"
  fi
done
