#!/usr/bin/env bash
# Prints the bundled sample document through the USB queue's filter and shows
# what it produced: the PJL job header and the job files for the monitors.
# Runs as root on Debian 12; everything happens in a private namespace, so
# nothing outside this checkout and a temporary folder is touched.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

bash ./install-deps.sh
cmake -S "$top" -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target pstopxl_hrv5720zwb pstopxl_hrv5720zwb-net

stage=$(mktemp -d /tmp/hrv-demo-XXXXXX)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/opt/bin/usb/config" "$stage/opt/bin/net/config" "$stage/spool" "$stage/vartmp"
install -m 755 build/filter/pstopxl_hrv5720zwb "$stage/opt/bin/"
cp samples/sample.ps "$stage/spool/d00001-001"

echo "== printing samples/sample.ps as job 1 of queue HRV5720ZWB (A4, duplex, 1200dpi)"
HRV_ARGV0=HRV5720ZWB PPD="$top/packaging/ppd/HRV5720ZWB.ppd" \
  bash tests/lib/sandbox-exec.sh "$stage" /opt/vorn/HRV5720ZWB/bin/pstopxl_hrv5720zwb \
  1 "$USER" "sample.ps" 1 "Duplex=DuplexNoTumble Resolution=1200dpi" \
  < samples/sample.ps > "$stage/out.prn" 2> "$stage/err.log" || true

echo
echo "== PJL job header"
sed -n 's/^DEBUG:\[VORN-HRV5720ZWB\]\(@PJL .*\)/\1/p' "$stage/err.log"
echo
echo "== /opt/vorn/HRV5720ZWB/bin/usb/config/printerInfo"
cat "$stage/opt/bin/usb/config/printerInfo"
echo
echo "== /opt/vorn/HRV5720ZWB/bin/usb/config/printerState"
cat "$stage/opt/bin/usb/config/printerState"; echo
echo
echo "== /opt/vorn/HRV5720ZWB/bin/usb/print_log"
cat "$stage/opt/bin/usb/print_log"
