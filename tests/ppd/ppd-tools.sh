#!/usr/bin/env bash
# Tool-level checks of the queue PPDs.
#   ppd-tools.sh cupstestppd PPD_DIR   cupstestppd finds no failure in either file and no warning
#                                      beyond the known ones
#   ppd-tools.sh regenerate PPD_DIR    the files are what gen-ppd.py writes now
set -euo pipefail
mode=$1 dir=$2
files=("$dir/HRV5720ZWB.ppd" "$dir/HRV5720ZWB-net.ppd")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
case $mode in
cupstestppd)
  # cupstestppd wants every *cupsFilter program to exist: stand-ins, so that
  # the check does not depend on an install.
  mkdir "$tmp/filter"
  for f in pstopxl_hrv5720zwb pstopxl_hrv5720zwb-net; do install -m 755 /dev/null "$tmp/filter/$f"; done
  for ppd in "${files[@]}"; do
    CUPS_SERVERBIN=$tmp "${CUPSTESTPPD:-cupstestppd}" -v "$ppd" >"$tmp/out" || { cat "$tmp/out"; status=1; }
    # The size keywords are the ones the filter names; CUPS would prefer its
    # own names for these four.
    if grep -E 'WARN|FAIL' "$tmp/out" |
        grep -vE 'Size "(MexicoLegal|IndiaLegal|Folio|A5L)" should be the Adobe standard name'; then
      echo "unexpected cupstestppd warnings or failures on $ppd"; status=1
    fi
  done
  ;;
regenerate)
  "${PYTHON:-python3}" "$dir/gen-ppd.py" "$tmp"
  for ppd in "${files[@]}"; do
    diff -u "$ppd" "$tmp/$(basename "$ppd")" || { echo "$ppd is stale: run gen-ppd.py"; status=1; }
  done
  ;;
*)
  echo "usage: $0 cupstestppd|regenerate PPD_DIR" >&2; exit 2
  ;;
esac
exit $status
