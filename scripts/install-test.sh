#!/usr/bin/env bash
# Checks what users take into their own builds: installs build dir $1 into a
# fresh prefix, builds the outside project tests/install/consumer against it
# with find_package and with pkg-config, and runs both programs.
# Prints one "install: <check> passed|failed" line per check.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=${1:-build}
work=$(mktemp -d /tmp/qx-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export QX_DRIVES=$work/drives  # the consumer runs with an isolated drive mapping
export QX_SESSION=install-test-$$  # a window session of its own: no other hub is seen
check_label=install
source "$root/scripts/checks.sh"

build_with_find_package() {
  cmake -S "$root/tests/install/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" &&
    cmake --build "$work/consumer" && "$work/consumer/consumer"
}

build_with_pkg_config() {
  local flags
  PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name zorv.pc | head -n 1)")
  export PKG_CONFIG_PATH
  flags=$(pkg-config --cflags --libs zorv) &&
    c++ "$root/tests/install/consumer/main.cpp" -o "$work/consumer-pc" $flags && "$work/consumer-pc"
}

# The Python module from the prefix, where a tree builds it.
import_python_module() {
  (cd "$work" && PYTHONPATH=$prefix/lib/python3/dist-packages /usr/bin/python3 -c \
    "import zorv, sys; sys.exit(not zorv.__file__.startswith('$prefix'))")
}

check cmake-install cmake --install "$root/$build" --prefix "$prefix"
check find-package build_with_find_package
check pkg-config build_with_pkg_config
if [[ -d $root/$build/python/zorv ]]; then
  check python-module import_python_module
fi
exit $rc
