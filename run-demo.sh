#!/usr/bin/env bash
# Prints the bundled sample document through both queues of a real CUPS to
# the printer simulator, and shows what the printer received.
# Runs as root on Debian 12. Everything happens in a private mount and
# network namespace (loopback only), so the machine's own printing system,
# /opt and /var are left as they are.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

bash ./install-deps.sh
cmake -S "$top" -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

stage=$(mktemp -d /tmp/hrv-demo-XXXXXX)
trap 'rm -rf "$stage"' EXIT

bash tests/e2e/cups-session.sh build "$stage" bash -c '
  set -e
  sample='"$top"'/samples/sample.ps
  inspect='"$top"'/build/tools/pxl-inspect/pxl-inspect
  echo "== queues"
  lpstat -v
  echo
  echo "== lp -d HRV5720ZWB-net $sample  (network queue -> printer simulator on 127.0.0.1:9100)"
  lp -d HRV5720ZWB-net -t "Sample document" "$sample"
  echo "== lp -d HRV5720ZWB -o Duplex=DuplexNoTumble $sample  (USB queue -> capture backend)"
  lp -d HRV5720ZWB -o Duplex=DuplexNoTumble -t "Sample document" "$sample"
  for i in $(seq 1 600); do
    [ -z "$(lpstat -o)" ] && break
    sleep 0.2
  done
  echo
  echo "== what the network printer received: $(ls "$HRV_SIM_DIR"/job-*.prn)"
  "$inspect" "$HRV_SIM_DIR"/job-0001.prn
  echo
  echo "== what the USB printer received: $(ls "$HRV_USB_CAPTURE"/job-*.prn)"
  "$inspect" "$HRV_USB_CAPTURE"/job-*.prn
  echo
  echo "== /opt/vorn/HRV5720ZWB/bin/usb/config/printerInfo"
  cat /opt/vorn/HRV5720ZWB/bin/usb/config/printerInfo
  echo "== /opt/vorn/HRV5720ZWB/bin/usb/config/printerState"
  cat /opt/vorn/HRV5720ZWB/bin/usb/config/printerState; echo
  echo "== /opt/vorn/HRV5720ZWB/bin/usb/print_log"
  cat /opt/vorn/HRV5720ZWB/bin/usb/print_log
'
