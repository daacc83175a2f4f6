#!/bin/bash
# Runs statusmon on a private X display with a system tray (Xvfb + trayer)
# and records what it shows. Meant to run inside the test sandbox, with the
# emulated printer's umockdev preload in LD_PRELOAD.
#
#   desktop-run.sh <statusmon> <screen_probe> <window.png> <screen.png>
#
# Prints key=value lines: probe=..., second-start=<exit code>,
# second-output=<bytes>, first-alive=<0|1>; then the monitor's log.
set -u
monitor=$1 probe=$2 windowPng=$3 screenPng=$4

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Only the monitor talks to the emulated printer.
preload=${LD_PRELOAD:-}
unset LD_PRELOAD

# -noreset: the work area published below must outlive the client that sets it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "probe=no-display"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

trayer --edge top --align right --widthtype request --height 28 --transparent false \
  >"$work/trayer.log" 2>&1 &
pids+=($!)

# A desktop's window manager publishes the work area; there is none here, so
# publish one that leaves the monitor's window whole on the screen.
"$probe" --set-workarea 1000 800 || { echo "probe=no-workarea"; exit 1; }

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

LD_PRELOAD=$preload "$monitor" >"$work/monitor.log" 2>&1 &
mon=$!
pids+=($mon)

"$probe" "HRV5720ZWB USB状态监控" "$windowPng" "$screenPng" 40000 >"$work/probe.out" 2>&1
echo "probe-exit=$?"
echo "probe=$(tr '\n' ' ' <"$work/probe.out")"

LD_PRELOAD=$preload timeout 30 "$monitor" >"$work/second.out" 2>&1
echo "second-start=$?"
echo "second-output=$(wc -c <"$work/second.out")"
if kill -0 "$mon" 2>/dev/null; then echo "first-alive=1"; else echo "first-alive=0"; fi

echo "--- monitor log"
cat "$work/monitor.log"
