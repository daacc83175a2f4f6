#!/bin/bash
# Runs statusmon-net and statusmon side by side on a private X display with a
# system tray (Xvfb + trayer): the network monitor against the printer
# simulator, the USB monitor against the emulated printer (its umockdev
# preload in LD_PRELOAD). Meant to run inside the test sandbox.
#
#   desktop-run.sh <statusmon-net> <statusmon> <screen_probe> <printer-sim> <net.png> <usb.png> <screen.png>
#
# Prints key=value lines (net-code, net-probe, usb-probe-exit, usb-probe,
# net-second-start, usb-second-start, *-second-output, net-alive, usb-alive),
# then the monitors' logs.
set -u
net=$1 usb=$2 probe=$3 sim=$4 netPng=$5 usbPng=$6 screenPng=$7

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Only the USB monitor talks to the emulated printer.
preload=${LD_PRELOAD:-}
unset LD_PRELOAD

# The network printer: prints, for ever.
"$sim" --port 0 --capture-dir "$work/sim" --status 10023 --ready-file "$work/sim-ready" >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim-ready" ] && break; sleep 0.1; done
[ -s "$work/sim-ready" ] || { echo "net-probe=no-simulator"; cat "$work/sim.log"; exit 1; }
printf '127.0.0.1' > /opt/vorn/HRV5720ZWB/bin/net/config/netIpInfo

# -noreset: the work area published below must outlive the client that sets it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "net-probe=no-display"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

trayer --edge top --align right --widthtype request --height 28 --transparent false \
  >"$work/trayer.log" 2>&1 &
pids+=($!)
"$probe" --set-workarea 1000 800 || { echo "net-probe=no-workarea"; exit 1; }

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_FORCE_STDERR_LOGGING=1

"$net" --debug >"$work/net.log" 2>&1 &
netPid=$!
pids+=($netPid)

# The first reply arrives with the first step, 3 s after start; the window
# shows it until it hides itself 4 s later.
for _ in $(seq 300); do grep -q 'MY CODE = 10023' "$work/net.log" && break; sleep 0.1; done
grep -q 'MY CODE = 10023' "$work/net.log" && echo "net-code=10023" || echo "net-code=none"
sleep 0.5  # the repaint after the new texts
rm -f "$netPng"
for _ in $(seq 20); do
  "$probe" "HRV5720ZWB 网络状态监控" "$netPng" "$screenPng" 0 >"$work/net-probe.out" 2>&1
  [ -s "$netPng" ] && break
  sleep 0.1
done
echo "net-probe=$(tr '\n' ' ' <"$work/net-probe.out")"

# The USB monitor starts while the network monitor runs.
LD_PRELOAD=$preload "$usb" >"$work/usb.log" 2>&1 &
usbPid=$!
pids+=($usbPid)
"$probe" "HRV5720ZWB USB状态监控" "$usbPng" "$work/screen-usb.png" 40000 >"$work/usb-probe.out" 2>&1
echo "usb-probe-exit=$?"
echo "usb-probe=$(tr '\n' ' ' <"$work/usb-probe.out")"

# Each is single-instance on its own.
timeout 30 "$net" >"$work/net-second.out" 2>&1
echo "net-second-start=$?"
echo "net-second-output=$(wc -c <"$work/net-second.out")"
LD_PRELOAD=$preload timeout 30 "$usb" >"$work/usb-second.out" 2>&1
echo "usb-second-start=$?"
echo "usb-second-output=$(wc -c <"$work/usb-second.out")"
if kill -0 "$netPid" 2>/dev/null; then echo "net-alive=1"; else echo "net-alive=0"; fi
if kill -0 "$usbPid" 2>/dev/null; then echo "usb-alive=1"; else echo "usb-alive=0"; fi
echo "sim-requests=$(grep -c '^status 127.0.0.1:9102 10023' "$work/sim.log")"

echo "--- statusmon-net log"
cat "$work/net.log"
echo "--- statusmon log"
cat "$work/usb.log"
