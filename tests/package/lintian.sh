#!/bin/bash
# lintian on the package: lists every tag it reports and fails on errors.
#   lintian.sh <package.deb>
set -uo pipefail
command -v lintian >/dev/null || { echo "lintian: not installed" >&2; exit 77; }
out=$(lintian --display-info "$1" 2>&1)
status=$?
printf '%s\n' "$out"
echo "---- tags: $(grep -c '^E:' <<<"$out") errors, $(grep -c '^W:' <<<"$out") warnings"
if grep -q '^E:' <<<"$out"; then exit 1; fi
exit $status
