#!/usr/bin/env bash
# Sets up the machine, builds, and starts the monitor. Arguments go to the monitor.
# Without a -IP= argument a simulated ZARN is started on 127.0.0.1 and the monitor is
# pointed at it; the simulator stops when the monitor closes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
dir="$("$root/scripts/build.sh")"

has_ip=0
for a in "$@"; do
  [[ "$a" == -IP=* ]] && has_ip=1
done

sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

args=("$@")
if ((has_ip == 0)) && [[ -x "$dir/sim/zarn-sim" ]]; then
  "$dir/sim/zarn-sim" --address 127.0.0.1 ${ZARN_SIM_ARGS:-} &
  sim_pid=$!
  args=("-IP=127.0.0.1" "${args[@]}")
fi

"$dir/src/app/zarn-monitor" "${args[@]}"
