#!/usr/bin/env bash
# Installs every Debian package needed to build and test the project: the
# native tool chain and libraries, the MinGW-w64 cross compiler, and Wine
# with a virtual X server to run the Windows build. Packages already
# installed are skipped, so running it again costs nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev file unzip doxygen help2man
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev libfmt-dev
  mosquitto mosquitto-clients libmosquitto-dev nlohmann-json3-dev
  libboost1.81-dev chromium chromium-driver python3-selenium
  python3-dev pybind11-dev python3-pytest python3-pytest-asyncio
  g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

as_root=(env DEBIAN_FRONTEND=noninteractive)
if (($(id -u) != 0)); then
  command -v sudo >/dev/null || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo DEBIAN_FRONTEND=noninteractive)
fi

echo "setup: installing ${missing[*]}"
log=$(mktemp /tmp/qx-setup.XXXXXX.log)
if ! { "${as_root[@]}" apt-get update -qq && "${as_root[@]}" apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "setup: apt-get failed (log: $log)" >&2
  exit 1
fi
rm -f "$log"
echo "setup: done"
