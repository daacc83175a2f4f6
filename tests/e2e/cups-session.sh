#!/bin/bash
# Runs a command inside a private mount and network namespace that holds a
# complete printing system: the suite installed from a build at its real
# paths, a real cupsd with both queues, and the printer simulator on
# 127.0.0.1:9100/9101. Only loopback exists in the namespace; every folder
# behind the system paths lives under <stage>.
#
#   cups-session.sh <build-dir> <stage> <command> [args...]
#
# Inside, the command finds:
#   HRV_STAGE       the stage folder
#   HRV_SIM_DIR     the simulator's captures (job-NNNN.prn) and scripts:
#                   lock-script (its lock answers), status-script (UDP replies)
#   HRV_USB_CAPTURE the captures of the USB queue's test backend (job-<id>.prn)
# Queues: HRV5720ZWB-net at socket://127.0.0.1:9100, HRV5720ZWB at the
# capture backend; both from the project's PPDs.
set -euo pipefail
build=$(realpath "$1"); stage=$2; shift 2
[ "$(id -u)" = 0 ] || { echo "cups-session: needs root" >&2; exit 77; }
here=$(dirname "$(realpath "$0")")
mkdir -p "$stage"; stage=$(realpath "$stage")

# The suite as installed.
root=$stage/root
rm -rf "$root"
DESTDIR=$root cmake --install "$build" >/dev/null
chown -R lp:lp "$root/opt/vorn/HRV5720ZWB/bin/usb/config" "$root/opt/vorn/HRV5720ZWB/bin/net/config"
chown lp:lp "$root/opt/vorn/HRV5720ZWB/bin/usb" "$root/opt/vorn/HRV5720ZWB/bin/net"

# Folders behind the system paths.
for d in etc spool spool/tmp run cache log filter backend model vartmp sim capture; do mkdir -p "$stage/$d"; done
chown lp:lp "$stage/capture"
# Copies, since the originals are hidden behind the mounts.
cp -aL /usr/lib/cups/filter/. "$stage/filter/"
cp -a "$root"/usr/lib/cups/filter/. "$stage/filter/"
cp -aL /usr/lib/cups/backend/. "$stage/backend/"
install -m 755 "$build/tests/e2e/hrvcapture" "$stage/backend/hrvcapture"
cp -a /usr/share/cups/model/. "$stage/model/" 2>/dev/null || true
cp "$root"/usr/share/cups/model/*.ppd "$stage/model/"
mkdir -p "$stage/etc/ppd" "$stage/etc/ssl"
cp "$here/cupsd.conf" "$here/cups-files.conf" "$stage/etc/"
echo "ready" > "$stage/sim/lock-script"
echo "10001" > "$stage/sim/status-script"
chmod 755 "$stage" "$stage"/*
chmod 1777 "$stage/vartmp"

exec unshare --mount --net --propagation private -- /bin/bash -c '
  set -euo pipefail
  stage=$1 build=$2; shift 2
  mount -t tmpfs -o mode=755 hrv-opt /opt
  mkdir -p /opt/vorn/HRV5720ZWB
  mount --bind "$stage/root/opt/vorn/HRV5720ZWB" /opt/vorn/HRV5720ZWB
  mount -t tmpfs -o mode=755 hrv-run /run
  mkdir -p /run/cups
  for m in run:/run/cups etc:/etc/cups spool:/var/spool/cups cache:/var/cache/cups log:/var/log/cups \
           filter:/usr/lib/cups/filter backend:/usr/lib/cups/backend model:/usr/share/cups/model vartmp:/var/tmp; do
    mount --bind "$stage/${m%%:*}" "${m#*:}"
  done
  ip link set lo up

  pids=()
  cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
  trap cleanup EXIT

  /usr/sbin/cupsd -f &
  pids+=($!)
  "$build/tools/printer-sim/printer-sim" --capture-dir "$stage/sim" \
      --lock-file "$stage/sim/lock-script" --status-file "$stage/sim/status-script" \
      --ready-file "$stage/sim/ready" > "$stage/sim/log" 2>&1 &
  pids+=($!)
  for i in $(seq 1 100); do
    [ -S /run/cups/cups.sock ] && [ -f "$stage/sim/ready" ] && break
    sleep 0.1
  done
  [ -S /run/cups/cups.sock ] || { echo "cups-session: cupsd did not start" >&2; cat /var/log/cups/error_log >&2; exit 1; }

  lpadmin -p HRV5720ZWB-net -E -v socket://127.0.0.1:9100 -m HRV5720ZWB-net.ppd
  lpadmin -p HRV5720ZWB -E -v "hrvcapture:$stage/capture" -m HRV5720ZWB.ppd
  export HRV_STAGE=$stage HRV_SIM_DIR=$stage/sim HRV_USB_CAPTURE=$stage/capture
  "$@"
' cups-session "$stage" "$build" "$@"
