#!/usr/bin/env bash
# Installs what is needed, builds the suite twice (plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test in both,
# then builds the libFuzzer targets with clang 14 and runs each for
# HRV_FUZZ_SECONDS seconds (default 60) after replaying its kept crash inputs.
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
cmake -S "$top" -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 -DHRV_FUZZ=ON -DHRV_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j2 --target hrv_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:verify_asan_link_order=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tests/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export HRV_FUZZ_SECONDS=${HRV_FUZZ_SECONDS:-60}

status=0
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j2 || status=1
echo "== tests (sanitizer build)"
ctest --test-dir build-asan --output-on-failure -j2 || status=1
echo "== fuzzing (${HRV_FUZZ_SECONDS} s per target)"
ctest --test-dir build-fuzz --output-on-failure -j2 || status=1

echo "== summary"
for dir in build build-asan build-fuzz; do
  grep -h -E '^(faults|hostile|fuzz|fuzz-replay): ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null | sed "s|^|$dir: |" || true
done
exit $status
