#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Run as root on Debian 12. Safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  # toolchain
  build-essential cmake pkg-config git clang-14 libclang-rt-14-dev
  googletest libgtest-dev
  # libraries the programs link
  qtbase5-dev qtbase5-dev-tools libcups2-dev libusb-1.0-0-dev libpappl-dev
  # printing system and rasterizer
  cups cups-client cups-bsd cups-ipp-utils cups-filters ghostscript
  # emulated USB, desktop session for the monitors, CJK glyphs
  umockdev libumockdev-dev xvfb xauth trayer x11-utils fonts-wqy-microhei
  # private session bus of the monitors' notification test
  dbus-daemon
  # end-to-end harness
  util-linux iproute2 procps python3 poppler-utils faketime
  # printer application: LPrint on the same PAPPL for comparison, headless
  # Chromium for the web page's screenshot
  lprint chromium
  # Debian package: cpack's dpkg-shlibdeps, lintian, the AppArmor parser that
  # checks the cupsd profile addition
  dpkg-dev lintian apparmor
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -q
  # cups must not start a system-wide cupsd from its maintainer scripts in a container;
  # policy-rc.d keeps service starts out of the install.
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
