#!/bin/bash
# Runs a command with a writable overlay on /etc whose upper layer is
# <stage>/etc/upper, so that a test can provide /etc/sane.d and a stand-in
# /etc/init.d/cups; /etc/cups keeps what it showed before. When
# <stage>/lpadmin exists it replaces /usr/sbin/lpadmin. Must already run in a
# private mount namespace as root (sandbox-exec.sh, or unshare --mount).
#   queue-namespace.sh <stage> <command> [args...]
set -euo pipefail
stage=$1; shift
mkdir -p "$stage/etc/upper" "$stage/etc/work" "$stage/etc/cups-before"
mount --bind /etc/cups "$stage/etc/cups-before"
mount -t overlay hrv-etc -o "lowerdir=/etc,upperdir=$stage/etc/upper,workdir=$stage/etc/work" /etc
mount --bind "$stage/etc/cups-before" /etc/cups
if [ -e "$stage/lpadmin" ]; then mount --bind "$stage/lpadmin" /usr/sbin/lpadmin; fi
exec "$@"
