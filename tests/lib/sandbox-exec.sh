#!/bin/bash
# Runs a command inside a private mount and network namespace with the
# suite's fixed paths backed by a test's own folders:
#   <stage>/opt    -> /opt/vorn/HRV5720ZWB
#   <stage>/spool  -> /var/spool/cups
#   <stage>/vartmp -> /var/tmp
# Only loopback exists in the namespace. Must run as root.
# Usage: sandbox-exec.sh <stage> <command> [args...]
set -euo pipefail
stage=$1; shift
[ "$(id -u)" = 0 ] || { echo "sandbox-exec: needs root" >&2; exit 77; }
mkdir -p "$stage/opt" "$stage/spool" "$stage/vartmp"
exec unshare --mount --net --propagation private -- /bin/bash -c '
  set -e
  stage=$1; shift
  mount -t tmpfs -o mode=755 hrv-opt /opt
  mkdir -p /opt/vorn/HRV5720ZWB
  mount --bind "$stage/opt" /opt/vorn/HRV5720ZWB
  mount --bind "$stage/spool" /var/spool/cups 2>/dev/null || { mkdir -p /var/spool/cups && mount --bind "$stage/spool" /var/spool/cups; }
  mount --bind "$stage/vartmp" /var/tmp
  ip link set lo up 2>/dev/null || true
  if [ -n "${HRV_ARGV0:-}" ]; then exec -a "$HRV_ARGV0" "$@"; fi
  exec "$@"
' sandbox "$stage" "$@"
