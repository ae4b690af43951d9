# Sourced by scripts that run the Windows build's tests under Wine: defines
# start_wine (a virtual X server, a fresh Wine prefix, one Wine server and a
# desktop keeper for the whole run) and stop_wine. Needs $root (the source
# tree) and a built build-mingw/.
xvfb_pid=
wine_prefix=
start_wine() {
  local display_file i
  display_file=$(mktemp)
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for ((i = 0; i < 300; i++)); do
    [[ -s $display_file ]] && break
    sleep 0.1
  done
  [[ -s $display_file ]] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$display_file")"
  rm -f "$display_file"

  wine_prefix=$(mktemp -d /tmp/qx-wine.XXXXXX)
  export WINEPREFIX=$wine_prefix WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
  echo "== wine prefix $WINEPREFIX on display $DISPLAY"
  { timeout 300 wineboot -i && timeout 300 wineserver -w; } </dev/null >/dev/null 2>&1 ||
    { echo "wineboot failed" >&2; return 1; }
  # Keep one server and Wine's background services for the whole run: each
  # test case starts a program. The services are started here, detached
  # from any pipe, because a service that inherits the pipe of a test's
  # output would keep ctest waiting for its end.
  wineserver -p
  timeout 300 wineboot </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
  keep_desktop
}

# Starts build-mingw's desktop keeper (see tests/wine) and waits until it
# uses the desktop.
keep_desktop() {
  local ready_file i
  ready_file=$(mktemp)
  wine "$root/build-mingw/bin/desktop-keeper.exe" </dev/null >"$ready_file" 2>&1 &
  for ((i = 0; i < 600; i++)); do
    grep -q ready "$ready_file" && break
    sleep 0.1
  done
  grep -q ready "$ready_file" || { cat "$ready_file" >&2; echo "desktop keeper did not start" >&2; return 1; }
  rm -f "$ready_file"
}
stop_wine() {
  if [[ -n $wine_prefix ]]; then
    WINEPREFIX=$wine_prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$wine_prefix"
    wine_prefix=
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  fi
}
