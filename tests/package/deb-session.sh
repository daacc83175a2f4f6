#!/bin/bash
# Runs a command as root in a private copy of this whole system (an overlay of
# / on a tmpfs, entered with chroot inside private mount, network and PID
# namespaces), to install, use and remove the Debian package there with dpkg
# and its real maintainer scripts; loopback is the only network, and every
# process started inside ends with the session. session-setup.sh prepares the
# copy (see there for what the command finds); the source and build trees
# are bound read-only at their own paths.
#
#   deb-session.sh <source-dir> <build-dir> <package.deb> <command> [args...]
set -euo pipefail
[ "$(id -u)" = 0 ] || { echo "deb-session: needs root" >&2; exit 77; }
src=$(realpath "$1"); build=$(realpath "$2"); deb=$(realpath "$3"); shift 3
[ -f "$deb" ] || { echo "deb-session: no package at $deb" >&2; exit 1; }
here=$(dirname "$(realpath "$0")")

exec unshare --mount --net --pid --fork --propagation private -- /bin/bash -c '
  set -euo pipefail
  src=$1 build=$2 deb=$3 here=$4; shift 4
  # Everything private lives on a tmpfs mounted over /mnt of this namespace.
  top=/mnt
  mount -t tmpfs -o mode=700 hrv-deb-session "$top"
  mkdir "$top/upper" "$top/work" "$top/root"
  mount -t overlay hrv-deb-root -o "lowerdir=/,upperdir=$top/upper,workdir=$top/work" "$top/root"
  r=$top/root
  mount -t proc proc "$r/proc"
  mount --rbind /dev "$r/dev"
  mount -t tmpfs -o mode=755 hrv-run "$r/run"
  mount -t tmpfs -o mode=1777 hrv-tmp "$r/tmp"
  for tree in "$src" "$build"; do
    mkdir -p "$r$tree"
    mount --bind "$tree" "$r$tree"
    mount -o remount,bind,ro "$r$tree"
  done
  mkdir -p "$r/var/cache/hrv-deb-session"
  cp "$deb" "$r/var/cache/hrv-deb-session/"
  # Seen only through the overlay: the setup refuses to run without it.
  : > "$r/.hrv-deb-session"
  ip link set lo up
  exec chroot "$r" /usr/bin/env \
    HRV_DEB="/var/cache/hrv-deb-session/$(basename "$deb")" \
    HRV_SOURCE_DIR="$src" HRV_BUILD_DIR="$build" \
    /bin/bash "$here/session-setup.sh" "$@"
' deb-session "$src" "$build" "$deb" "$here" "$@"
