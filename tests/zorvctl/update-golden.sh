#!/bin/sh
# Rewrites tests/zorvctl/golden/*.txt from what zorvctl prints now; review the
# diff before committing. Usage: tests/zorvctl/update-golden.sh [BUILD_DIR]
set -e
build=${1:-build}
cmake --build "$build" --target zorvctl_golden_tests
ZORVCTL_UPDATE_GOLDEN=1 ctest --test-dir "$build" -R 'ZorvctlGolden' --output-on-failure
git -C "$(dirname "$0")" status --short golden
