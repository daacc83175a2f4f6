#!/bin/bash
# Runs statusmon-net and statusmon side by side on a private X display of a
# given size, inside the test sandbox: the network monitor against the
# printer simulator, the USB monitor against the emulated printer (its
# umockdev preload in LD_PRELOAD).
#
#   desktop-run.sh <tray|notify> <width> <height> <net-status> <statusmon-net> <statusmon>
#                  <screen_probe> <printer-sim> <notify_standin> <picture-prefix>
#
# tray:   trayer on a top panel of 28 pixels, the work area below it. The
#         USB monitor, its printer ready, hides its window by itself; each
#         monitor is then started a second time.
# notify: no tray; a private session bus (dbus-daemon) with a stand-in
#         notification service.
# Prints key=value lines (net-window, usb-window, usb-hidden, *-second-start,
# *-second-output, usb-raised, usb-stays, *-alive, *-stderr, notify), then the logs.
set -u
mode=$1 width=$2 height=$3 netStatus=$4 net=$5 usb=$6 probe=$7 sim=$8 standin=$9 pictures=${10}
netTitle="HRV5720ZWB 网络状态监控" usbTitle="HRV5720ZWB USB状态监控"

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
waitFor() {  # <file> <pattern>: up to 10 s
  for _ in $(seq 100); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}
# <title> <1|0> <tenths of a second>: waits until a window of that title is
# shown (1) or none is (0); prints the place of the one shown as x,y,width,height.
shown() {
  for _ in $(seq "$3"); do
    place=$(for id in $(xwininfo -root -children | awk -v t="\"$1\":" 'index($0, t) {print $1}'); do
              xwininfo -id "$id"; done | awk '/upper-left X/ {x = $NF} /upper-left Y/ {y = $NF} /Width/ {w = $NF}
                                             /Height/ {h = $NF} /IsViewable/ {print x "," y "," w "," h; exit}')
    [ "$2" = 1 ] && [ -n "$place" ] && { echo "$place"; return 0; }
    [ "$2" = 0 ] && [ -z "$place" ] && return 0
    sleep 0.1
  done
  return 1
}

# Only the USB monitor talks to the emulated printer.
preload=${LD_PRELOAD:-}
unset LD_PRELOAD

"$sim" --port 0 --capture-dir "$work/sim" --status "$netStatus" --ready-file "$work/sim-ready" >"$work/sim.log" 2>&1 &
pids+=($!)
waitFor "$work/sim-ready" udp || { echo "net-window=no-simulator"; cat "$work/sim.log"; exit 1; }
printf '127.0.0.1' > /opt/vorn/HRV5720ZWB/bin/net/config/netIpInfo

Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
waitFor "$work/display" . || { echo "net-window=no-display"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

if [ "$mode" = tray ]; then
  trayer --edge top --align right --widthtype request --height 28 --transparent false >"$work/trayer.log" 2>&1 &
  pids+=($!)
  xprop -root -f _NET_WORKAREA 32cccc -set _NET_WORKAREA "0, 28, $width, $((height - 28))"
else
  dbus-daemon --session --nofork --print-address=4 4>"$work/bus" >"$work/bus.log" 2>&1 &
  pids+=($!)
  waitFor "$work/bus" unix: || { echo "net-window=no-bus"; cat "$work/bus.log"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
  "$standin" >"$work/notify.log" 2>&1 &
  pids+=($!)
  waitFor "$work/notify.log" ready || { echo "net-window=no-standin"; cat "$work/notify.log"; exit 1; }
fi

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Messages on standard error, not in the journal: "quiet" is measured there.
export QT_FORCE_STDERR_LOGGING=1

"$net" >"$work/net.out" 2>"$work/net.err" &
netPid=$!
LD_PRELOAD=$preload "$usb" >"$work/usb.out" 2>"$work/usb.err" &
usbPid=$!
pids+=($netPid $usbPid)

# Both windows' places (the USB one first: a ready printer's hides after 4 s),
# and the network monitor's state title in red (a stop condition).
echo "usb-window=$(shown "$usbTitle" 1 300)"
netWindow=$(shown "$netTitle" 1 300)
echo "net-window=$netWindow"
"$probe" "$netWindow" "$pictures-net.png" "$pictures-screen.png" 40000 >"$work/net-probe.out" 2>&1

if [ "$mode" = tray ]; then
  # Ready: the USB window hides itself to the tray; a second start brings it back to stay.
  shown "$usbTitle" 0 200 && echo "usb-hidden=1" || echo "usb-hidden=0"
  LD_PRELOAD=$preload timeout 30 "$usb" >"$work/usb-second.out" 2>&1
  echo "usb-second-start=$? usb-second-output=$(wc -c <"$work/usb-second.out")" | tr ' ' '\n'
  shown "$usbTitle" 1 50 >/dev/null && echo "usb-raised=1" || echo "usb-raised=0"
  timeout 30 "$net" >"$work/net-second.out" 2>&1
  echo "net-second-start=$? net-second-output=$(wc -c <"$work/net-second.out")" | tr ' ' '\n'
  shown "$usbTitle" 0 60 && echo "usb-stays=0" || echo "usb-stays=1"
else
  waitFor "$work/notify.log" '^notify ' && sleep 1
  sed -n 's/^notify /notify=/p' "$work/notify.log"
fi

kill -0 "$netPid" 2>/dev/null && echo "net-alive=1" || echo "net-alive=0"
kill -0 "$usbPid" 2>/dev/null && echo "usb-alive=1" || echo "usb-alive=0"
echo "net-stderr=$(wc -c <"$work/net.err") usb-stderr=$(wc -c <"$work/usb.err")" | tr ' ' '\n'
echo "--- screen_probe"; cat "$work/net-probe.out"
echo "--- statusmon-net stderr"; cat "$work/net.err"
echo "--- statusmon stderr"; cat "$work/usb.err"
echo "--- simulator"; tail -5 "$work/sim.log"
