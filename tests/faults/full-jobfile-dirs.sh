#!/bin/bash
# Runs inside the test sandbox, ahead of the filter: puts the filter's job
# file folders and /var/tmp (the debug copy) on tiny tmpfs mounts that are
# full, then runs the filter under the queue's name.
#   full-jobfile-dirs.sh bytes|inodes usb|net <argv0> <command> [args...]
# bytes: no byte is left (files open, writes fail);
# inodes: no file can be created (opens fail).
set -euo pipefail
mode=$1 variant=$2 argv0=$3
shift 3
[ "$(id -u)" = 0 ] || { echo "full-jobfile-dirs: needs root" >&2; exit 77; }

base=/opt/vorn/HRV5720ZWB/bin/$variant
rasterizer=/opt/vorn/HRV5720ZWB/bin/usb/hrv5720zwb/bin/gs
target=$(readlink "$rasterizer")

tiny() { mount -t tmpfs -o size=8k,nr_inodes=64,mode=755 hrv-full "$1"; }
tiny "$base"
mkdir -p "$base/config"
if [ "$variant" = usb ]; then
  # The rasterizer lives under the USB folder: put it back.
  mkdir -p "$(dirname "$rasterizer")"
  ln -s "$target" "$rasterizer"
fi
tiny "$base/config"
tiny /var/tmp
chmod 1777 /var/tmp

fill() {
  case $mode in
    bytes) head -c 1M /dev/zero 2>/dev/null >"$1/.filler" || true ;;
    inodes) i=0; while : 2>/dev/null >"$1/.f$i"; do i=$((i + 1)); done ;;
    *) echo "full-jobfile-dirs: unknown mode $mode" >&2; exit 2 ;;
  esac
}
for d in "$base" "$base/config" /var/tmp; do fill "$d"; done
exec -a "$argv0" "$@"
