#!/usr/bin/env bash
# Builds the Debian package of build dir $1, installs it with dpkg as on a
# user's machine, checks that it brings the API reference, the manual pages
# and the sample facilities, runs the demo from the installed files, builds the outside
# project and an example against the installed package, runs the example and
# the installed zorvctl and the Python example route_and_watch.py (with the
# installed module zorv) against the installed orq-hub, and removes the
# package again.
# Needs root (or sudo). With a Windows build dir $2, also makes its zip and
# checks that it holds the libraries, headers and programs. Prints one "package: <check> passed|failed" line per
# check.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=${1:-build}
windows_build=${2:-}
work=$(mktemp -d /tmp/qx-package.XXXXXX)
as_root=()
(($(id -u) == 0)) || as_root=(sudo)
cleanup() {
  "${as_root[@]}" dpkg -r zorv >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
export QX_DRIVES=$work/drives
export QX_SESSION=package-test-$$  # a window session of its own: no other hub is seen
check_label=package
source "$root/scripts/checks.sh"

make_package() {
  (cd "$root/$build" && cpack -G DEB -B "$work/deb") && ls "$work"/deb/zorv_*.deb
}
install_package() { "${as_root[@]}" dpkg -i "$work"/deb/zorv_*.deb; }
run_installed_demo() {
  (cd "$work" && timeout 120 /usr/bin/zorv-demo </dev/null) >"$work/demo.out" 2>&1
  cat "$work/demo.out"
  grep -q "/usr/share/zorv/facility" "$work/demo.out"  # the installed facility, not the source tree's
}
installed_documentation() {
  local program
  [[ -f /usr/share/doc/zorv/html/index.html ]] || { echo "no API reference in /usr/share/doc/zorv/html"; return 1; }
  for program in orq-hub zorvctl infodriver-host; do
    zcat "/usr/share/man/man1/$program.1.gz" | grep -q '^\.TH' || { echo "no manual page for $program"; return 1; }
  done
  [[ -f /usr/share/zorv/facility-studio/dev_001.ini ]] || { echo "no studio facility"; return 1; }
}
build_against_package() {
  cmake -S "$root/tests/install/consumer" -B "$work/consumer" -G Ninja && cmake --build "$work/consumer" &&
    "$work/consumer/consumer"
}

make_windows_zip() {
  local listing
  (cd "$root/$windows_build" && cpack -G ZIP -B "$work/zip") || return 1
  listing=$(unzip -l "$work"/zip/zorv-*.zip) || return 1
  for file in bin/orq-hub.exe bin/zorvif32.dll bin/halvik.dll lib/libzorv-client.a include/zorv/qxClient.h \
    lib/cmake/zorv/zorvConfig.cmake; do
    grep -q "/$file\$" <<<"$listing" || { echo "missing from the zip: $file"; return 1; }
  done
}

# The installed hub in a window session of its own, on a copy of the
# installed facility, and an example built against the package that switches
# a crosspoint through it and waits for the revertive.
run_example_against_installed_hub() {
  local ready=$work/hub.out hub i rc
  cp -r /usr/share/zorv/facility "$work/facility"
  /usr/bin/orq-hub -q -c "$work/facility" >"$ready" 2>&1 &
  hub=$!
  for ((i = 0; i < 100; i++)); do
    grep -q ready "$ready" && break
    sleep 0.1
  done
  timeout 30 "$work/consumer/router-crosspoint" && /usr/bin/zorvctl --version &&
    timeout 30 /usr/bin/zorvctl route 1 6 3 && python_against_installed_hub
  rc=$?
  kill "$hub" && wait "$hub"
  return $rc
}

# Where the build has the Python module: Debian's python3 imports it from the
# package (not from the source tree) and drives the hub with it.
python_against_installed_hub() {
  [[ -d $root/$build/python/zorv ]] || return 0
  (cd "$work" && env -u PYTHONPATH /usr/bin/python3 -c \
    "import zorv, sys; sys.exit(not zorv.__file__.startswith('/usr/lib/python3/dist-packages/'))") &&
    (cd "$work" && env -u PYTHONPATH timeout 30 /usr/bin/python3 "$root/examples/python/route_and_watch.py" 1 5 2)
}

check deb-build make_package
check dpkg-install install_package
check installed-documentation installed_documentation
check installed-demo run_installed_demo
check installed-consumer build_against_package
check example-against-installed-hub run_example_against_installed_hub
if [[ -n $windows_build && -d $root/$windows_build/bin ]]; then
  check windows-zip make_windows_zip
fi
exit $rc
