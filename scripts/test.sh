#!/usr/bin/env bash
# Sets the machine up, then builds and runs every test:
#   build/        the normal build (its tests include the Python module's pytest
#                 tests, one CTest test each, so they count in the totals)
#   build-asan/   the same sources with AddressSanitizer and UBSan
#   build-tsan/   every test with ThreadSanitizer; any report fails
#   build-mingw/  the Windows build (MinGW-w64), its tests run under Wine
# checks the installed files and the Debian package with an outside project
# (scripts/install-test.sh, scripts/package-test.sh), the API reference
# (scripts/docs-test.sh), runs every fuzz target with libFuzzer for a short
# time in a clang build (scripts/fuzz-test.sh), and finally runs the
# demo as a smoke test. The last line is "N passed, N failed" over all of
# them; the exit status is non-zero when a build, a test, a check or the demo
# failed. QX_JOBS sets the parallelism (2).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
jobs=${QX_JOBS:-2}
test_timeout=120  # seconds for one test case; a test that hangs fails

passed=0
failed=0
problems=()  # failures that are not test cases: builds, test discovery, demo
timings=()
results=()

# timed <label> <command...>: runs the command and records how long it took.
timed() {
  local label=$1 start=$SECONDS rc=0
  shift
  "$@" || rc=$?
  timings+=("$label $((SECONDS - start))s")
  return "$rc"
}

# build <dir> <targets> <cmake options...>: configures <dir> and builds the
# targets (a space-separated list; empty: everything).
build() {
  local dir=$1 targets=()
  read -ra targets <<<"$2"
  shift 2
  echo "== build $dir"
  cmake -S "$root" -B "$root/$dir" -G Ninja --log-level=WARNING "$@" &&
    cmake --build "$root/$dir" -j "$jobs" ${targets[@]+--target "${targets[@]}"} -- --quiet
}

# run_tests <dir> <ctest options...>: runs the tests of <dir> and adds their
# counts to the totals.
run_tests() {
  local dir=$1 log rc=0 counts total failures
  shift
  echo "== tests $dir"
  log=$(mktemp)
  ctest --test-dir "$root/$dir" --output-on-failure "$@" </dev/null 2>&1 | tee "$log" || rc=$?
  counts=$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  # The names of the failed cases, repeated in the summary at the end so that
  # the tail of a long log says what failed.
  while read -r failure; do
    problems+=("$dir: $failure")
  done < <(sed -n '/^The following tests FAILED:/,/^Errors while running/p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true)
  rm -f "$log"
  if [[ -n $counts ]]; then
    read -r failures _ _ _ _ total <<<"$counts"
    passed=$((passed + total - failures))
    failed=$((failed + failures))
    results+=("$dir: $((total - failures)) passed, $failures failed")
    ((failures == 0 && rc != 0)) && problems+=("$dir: ctest failed outside the test cases (listing?)")
  else
    problems+=("$dir: no tests ran")
  fi
  return 0
}

# phase <label> <dir> <targets> <ctest options> -- <cmake options>: build the
# targets (empty: everything), then test.
phase() {
  local label=$1 dir=$2 targets=$3 ctest_options=()
  shift 3
  while [[ $1 != -- ]]; do ctest_options+=("$1"); shift; done
  shift
  if timed "$label-build" build "$dir" "$targets" "$@"; then
    timed "$label-tests" run_tests "$dir" "${ctest_options[@]}"
  else
    problems+=("$dir: build failed")
  fi
}

source "$root/scripts/wine-env.sh"
trap stop_wine EXIT

# run_checks <label> <script> <args...>: runs a script that prints one
# "<label>: <check> passed|failed" line per check, and counts them.
run_checks() {
  local label=$1 log checks_passed checks_failed
  shift
  echo "== $label"
  log=$(mktemp)
  bash "$@" 2>&1 | tee "$log"
  checks_passed=$(grep -c "^$label: .* passed$" "$log" || true)
  checks_failed=$(grep -c "^$label: .* failed$" "$log" || true)
  rm -f "$log"
  passed=$((passed + checks_passed))
  failed=$((failed + checks_failed))
  results+=("$label: $checks_passed passed, $checks_failed failed")
  ((checks_passed > 0)) || problems+=("$label: no checks ran")
}

run_demo() {
  local demo=build/bin/zorv-demo
  [[ -x $demo ]] || demo=build/bin/platform-demo
  echo "== demo $demo"
  [[ -x $demo ]] || { echo "no demo program built" >&2; return 1; }
  timeout 120 "$demo" </dev/null
}

timed setup bash scripts/setup.sh

phase normal build "" --timeout "$test_timeout" -j "$jobs" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo
phase asan build-asan "" --timeout "$test_timeout" -j "$jobs" -- -DCMAKE_BUILD_TYPE=Debug \
  -DQX_SANITIZE=ON -DQX_BENCHMARKS=OFF

# ThreadSanitizer over every test program, the demos, the soak and the fuzz
# drivers: any of them may run code on several threads or processes.
# The first report ends its program (and so fails its test); every report is
# also kept in build-tsan/tsan-reports/ and fails the phase.
tsan_reports=$root/build-tsan/tsan-reports
rm -rf "$tsan_reports" && mkdir -p "$tsan_reports"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 log_path=$tsan_reports/report"
phase tsan build-tsan "" --timeout "$test_timeout" -j "$jobs" -- \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_TSAN=ON -DQX_BENCHMARKS=OFF
unset TSAN_OPTIONS
if compgen -G "$tsan_reports/report*" >/dev/null; then
  cat "$tsan_reports"/report*
  problems+=("build-tsan: ThreadSanitizer reports in $tsan_reports")
fi

# The Windows build needs no Wine; its tests do.
if timed wine-build build build-mingw "" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQX_BENCHMARKS=OFF; then
  if timed wine-boot start_wine; then
    # Now and then Wine fails to start a test program at all (it ends at once
    # and prints nothing); a failed test is run once more, and the log keeps
    # both runs.
    timed wine-tests run_tests build-mingw --timeout "$test_timeout" -j 1 --repeat until-pass:2
  else
    problems+=("wine: could not prepare Xvfb and the Wine prefix")
  fi
else
  problems+=("build-mingw: build failed")
fi
stop_wine

# What users take into their builds: the installed files, the Debian
# package (installing it needs root or sudo) and the zip of the Windows build.
if [[ -d build/bin ]]; then
  timed install run_checks install scripts/install-test.sh build
  timed docs run_checks docs scripts/docs-test.sh build
  if (($(id -u) == 0)) || sudo -n true 2>/dev/null; then
    timed package run_checks package scripts/package-test.sh build build-mingw
  else
    echo "== package: skipped (needs root or sudo)"
  fi
  timed fuzz run_checks fuzz scripts/fuzz-test.sh 20
  timed demo run_demo || problems+=("demo failed")
fi

for result in "${results[@]}"; do echo "== $result"; done
echo "== times: ${timings[*]}"
for problem in "${problems[@]}"; do echo "== FAILED: $problem"; done
echo "$passed passed, $failed failed"
((failed == 0 && ${#problems[@]} == 0))
