#!/usr/bin/env bash
# Installs what is needed, builds the suite twice (plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test in both.
# Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

bash ./install-deps.sh

build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j2
}

build build
build build-asan -DHRV_SANITIZE=ON

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:verify_asan_link_order=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j2 || status=1
echo "== tests (sanitizer build)"
ctest --test-dir build-asan --output-on-failure -j2 || status=1
exit $status
