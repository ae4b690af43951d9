#!/usr/bin/env bash
# Starts a facility of two or three workstations on this machine: a mosquitto
# broker (peers/orq/mosquitto.conf, on a loopback port) and one orq-hub per
# workstation, each in a window session of its own, with the sample facility
# of peers/orq/facility: router 1 owned by workstation 1, infodriver 2 by
# workstation 2, GPI unit 3 by workstation 3 (by workstation 1 when there
# are two). Prints how to reach each workstation; Ctrl-C stops everything.
#
#   scripts/facility.sh [--workstations 2|3] [--port N] [--build DIR] [--facility NAME]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
count=2
port=1883
build="$here/build"
facility=studio
while (($#)); do
  case $1 in
    --workstations) count=$2; shift 2 ;;
    --port) port=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --facility) facility=$2; shift 2 ;;
    *) echo "usage: $0 [--workstations 2|3] [--port N] [--build DIR] [--facility NAME]" >&2; exit 1 ;;
  esac
done
[[ $count == 2 || $count == 3 ]] || { echo "facility: 2 or 3 workstations" >&2; exit 1; }
hub="$build/bin/orq-hub"
[[ -x $hub ]] || { echo "facility: no $hub; build the target orq-hub first" >&2; exit 1; }
broker=$(command -v mosquitto || echo /usr/sbin/mosquitto)
[[ -x $broker ]] || { echo "facility: no mosquitto; run scripts/setup.sh" >&2; exit 1; }

root=$(mktemp -d /tmp/qx-facility.XXXXXX)
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap stop EXIT
trap 'exit 0' INT TERM

# Waits up to ten seconds for a line in a log file.
await() {
  for _ in $(seq 100); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "facility: no '$2' in $1:" >&2
  cat "$1" >&2
  exit 1
}

{ echo "listener $port 127.0.0.1"; grep -v '^listener' "$here/peers/orq/mosquitto.conf"; } >"$root/mosquitto.conf"
"$broker" -c "$root/mosquitto.conf" >"$root/broker.log" 2>&1 &
pids+=($!)
await "$root/broker.log" "running"

owner_of_gpi=$((count == 3 ? 3 : 1))
for ws in $(seq "$count"); do
  # Each workstation in system mode: its configuration in $root/wsN/config,
  # its device files in config/system, as the library looks for them.
  config="$root/ws$ws/config"
  mkdir -p "$config/system"
  cp "$here/peers/orq/facility/orq.ini" "$config/"
  sed -i "s/^Workstation=.*/Workstation=$ws/" "$config/orq.ini"
  cp "$here"/peers/orq/facility/dev_*.ini "$config/system/"
  sed -i 's/^\[Device\]$/[Device]\nOwner=1/' "$config/system/dev_001.ini"
  sed -i 's/^\[Device\]$/[Device]\nOwner=2/' "$config/system/dev_002.ini"
  sed -i "s/^\\[Device\\]\$/[Device]\\nOwner=$owner_of_gpi/" "$config/system/dev_003.ini"
  cat >"$root/ws$ws.env" <<ENV
export QX_SESSION=facility-ws$ws QX_ROOT=$root QX_SYSTEM=ws$ws QX_WORKSTATION=$ws
ENV
  (source "$root/ws$ws.env"; exec "$hub" --broker "mqtt://127.0.0.1:$port" --facility "$facility" --workstation "$ws") \
    >"$root/ws$ws.log" 2>&1 &
  pids+=($!)
done
for ws in $(seq "$count"); do await "$root/ws$ws.log" "broker link up"; done

cat <<TEXT
facility "$facility": broker mqtt://127.0.0.1:$port, $count workstations (files and logs in $root)
  router 1 belongs to workstation 1, infodriver 2 to workstation 2, GPI unit 3 to workstation $owner_of_gpi
TEXT
for ws in $(seq "$count"); do
  echo "workstation $ws: source $root/ws$ws.env   (then: $build/bin/zorvctl status, route 1 3 7, watch 1:1-8, ...)"
done
cat <<TEXT
the broker:    mosquitto_sub -p $port -v -t 'zorv/#'
hub logs:      tail -f $root/ws*.log
Ctrl-C stops the hubs and the broker.
TEXT
wait
