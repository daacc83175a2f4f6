#!/bin/bash
# Runs inside the test sandbox ahead of the filter: puts the filter's job file
# folders and /var/tmp (the debug copy) on tiny full tmpfs mounts, then runs
# the filter under the queue's name.
#   full-jobfile-dirs.sh bytes|inodes usb|net <argv0> <command> [args...]
# bytes: no byte is left (files open, writes fail); inodes: no file can be
# created (opens fail).
set -euo pipefail
mode=$1 variant=$2 argv0=$3
shift 3
base=/opt/vorn/HRV5720ZWB/bin/$variant rasterizer=/opt/vorn/HRV5720ZWB/bin/usb/hrv5720zwb/bin/gs
target=$(readlink "$rasterizer")
tiny() { mount -t tmpfs -o size=8k,nr_inodes=64,mode=755 hrv-full "$1"; }
tiny "$base"
mkdir -p "$base/config"
# The rasterizer lives under the USB folder: put it back.
[ "$variant" != usb ] || { mkdir -p "${rasterizer%/*}" && ln -s "$target" "$rasterizer"; }
tiny "$base/config"
tiny /var/tmp
chmod 1777 /var/tmp
for d in "$base" "$base/config" /var/tmp; do
  case $mode in
    bytes) head -c 1M /dev/zero 2>/dev/null >"$d/.filler" || true ;;
    inodes) i=0; while : 2>/dev/null >"$d/.f$i"; do i=$((i + 1)); done ;;
  esac
done
exec -a "$argv0" "$@"
