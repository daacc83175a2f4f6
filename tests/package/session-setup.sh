#!/bin/bash
# Second half of deb-session.sh, run inside the private system copy. Before the
# command runs: no trace of the suite; users alice and bob; cupsd with a fresh
# configuration and no queues; the printer simulator on 127.0.0.1:9100/9101
# (captures in $HRV_SIM_DIR); CUPS's usb backend a stand-in that reports one
# HRV5720ZWB and one other printer and prints to the simulator; udevadm a
# stand-in that logs its arguments to $HRV_UDEVADM_LOG, with /run/udev there;
# $HRV_DEB the package, $HRV_SOURCE_DIR and $HRV_BUILD_DIR the trees.
set -euo pipefail
# Everything below changes system paths: only ever inside the session.
[ -f /.hrv-deb-session ] || { echo "session-setup: not inside deb-session.sh" >&2; exit 1; }

if dpkg-query -W -f='${db:Status-Status}' hrv5720zwb 2>/dev/null | grep -qv '^not-installed$'; then
  dpkg --purge hrv5720zwb >/dev/null 2>&1 || true
fi
rm -rf /opt/vorn /usr/lib/cups/filter/pstopxl_hrv5720zwb /usr/lib/cups/filter/pstopxl_hrv5720zwb-net \
       /usr/share/cups/model/HRV5720ZWB.ppd /usr/share/cups/model/HRV5720ZWB-net.ppd /var/tmp/qdw.prn

for u in alice bob; do
  id "$u" >/dev/null 2>&1 || useradd --create-home --user-group --shell /bin/sh "$u"
done

export HRV_UDEVADM_LOG=/run/udevadm.log
mkdir -p /run/udev
cat > /usr/bin/udevadm <<EOF
#!/bin/sh
echo "\$*" >> $HRV_UDEVADM_LOG
EOF
chmod 755 /usr/bin/udevadm

# The usb backend runs as lp (mode 0755), like any backend that needs no root.
cat > /usr/lib/cups/backend/usb <<'EOF'
#!/bin/sh
if [ $# -eq 0 ]; then
  echo 'direct usb://Other/Printer?serial=X1 "Other Printer" "Other Printer USB" "MFG:Other;MDL:Printer;" ""'
  echo 'direct usb://Vorn/HRV5720ZWB?serial=HRVSIM0001 "Vorn HRV5720ZWB" "Vorn HRV5720ZWB USB" "MFG:Vorn;MDL:HRV5720ZWB;CMD:PJL,PCLXL;" ""'
  exit 0
fi
DEVICE_URI=socket://127.0.0.1:9100 exec /usr/lib/cups/backend/socket "$@"
EOF
chmod 755 /usr/lib/cups/backend/usb

# cupsd: fresh configuration, no queues, no jobs.
rm -rf /var/spool/cups/* /var/cache/cups/* /var/log/cups/*
mkdir -p /var/spool/cups/tmp /run/cups
rm -f /etc/cups/printers.conf /etc/cups/classes.conf /etc/cups/subscriptions.conf /etc/cups/ppd/*
cp "$HRV_SOURCE_DIR/tests/e2e/cupsd.conf" /etc/cups/cupsd.conf
cat > /etc/cups/cups-files.conf <<'EOF'
User lp
Group lp
SystemGroup lpadmin root
FileDevice No
EOF

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

/usr/sbin/cupsd -f &
pids+=($!)
export HRV_SIM_DIR=/var/lib/hrv-sim
mkdir -p "$HRV_SIM_DIR"
"$HRV_BUILD_DIR/tools/printer-sim/printer-sim" --capture-dir "$HRV_SIM_DIR" \
    --ready-file "$HRV_SIM_DIR/ready" > /var/log/hrv-sim.log 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  [ -S /run/cups/cups.sock ] && [ -f "$HRV_SIM_DIR/ready" ] && break
  sleep 0.1
done
[ -S /run/cups/cups.sock ] || { echo "session-setup: cupsd did not start" >&2; cat /var/log/cups/error_log >&2; exit 1; }
[ -f "$HRV_SIM_DIR/ready" ] || { echo "session-setup: printer-sim did not start" >&2; cat /var/log/hrv-sim.log >&2; exit 1; }

status=0
"$@" || status=$?
if [ "$status" != 0 ] && [ -f /var/log/cups/error_log ]; then
  echo "---- cupsd error_log (last 80 lines)"
  tail -n 80 /var/log/cups/error_log
fi
exit "$status"
