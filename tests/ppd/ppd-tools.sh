#!/usr/bin/env bash
# Tool-level checks of the queue PPDs.
#   ppd-tools.sh cupstestppd PPD_DIR   cupstestppd finds no failure in either
#                                      file and no warning beyond the known ones
#   ppd-tools.sh regenerate PPD_DIR    the files are what gen-ppd.py writes now
set -euo pipefail
mode=$1
dir=$2
files=("$dir/HRV5720ZWB.ppd" "$dir/HRV5720ZWB-net.ppd")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

case $mode in
cupstestppd)
  # cupstestppd wants every *cupsFilter program to exist; point it at a
  # stand-in filter directory so the check does not depend on an install.
  mkdir "$tmp/filter"
  for f in pstopxl_hrv5720zwb pstopxl_hrv5720zwb-net; do
    printf '#!/bin/sh\nexit 0\n' >"$tmp/filter/$f"
    chmod 755 "$tmp/filter/$f"
  done
  status=0
  for ppd in "${files[@]}"; do
    if ! CUPS_SERVERBIN=$tmp "${CUPSTESTPPD:-cupstestppd}" -v "$ppd" >"$tmp/out"; then
      echo "cupstestppd failed on $ppd:"; cat "$tmp/out"; status=1; continue
    fi
    # The size keywords are the ones the filter names; CUPS would prefer its
    # own names for these four.
    if grep -E 'WARN|FAIL' "$tmp/out" |
        grep -vE 'Size "(MexicoLegal|IndiaLegal|Folio|A5L)" should be the Adobe standard name'; then
      echo "unexpected cupstestppd warnings on $ppd"; status=1
    fi
  done
  exit $status
  ;;
regenerate)
  "${PYTHON:-python3}" "$dir/gen-ppd.py" "$tmp"
  for ppd in "${files[@]}"; do
    diff -u "$ppd" "$tmp/$(basename "$ppd")" || { echo "$ppd is stale: run gen-ppd.py"; exit 1; }
  done
  ;;
*)
  echo "usage: $0 cupstestppd|regenerate PPD_DIR" >&2; exit 2
  ;;
esac
