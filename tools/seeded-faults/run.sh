#!/usr/bin/env bash
# Seeds faults into the product code one at a time and records which tests
# catch each. A fault is one line of a table in this folder (*.tsv):
#
#   name <TAB> file <TAB> perl substitution <TAB> ctest arguments (empty: all tests)
#
# e.g.  header-lead-in-byte  filter/pjl.h  s/54321X_VORN\@PJL\\n/54320X_VORN\@PJL\\n/  -LE package
#
# For each fault the file is changed in place, the build dir is rebuilt, the
# chosen tests run, and the file is put back. A fault that does not apply (the
# text is gone) or does not build is reported as such, never as caught.
#
#   tools/seeded-faults/run.sh <build-dir> [table-or-fault-name...]   (as root, like the tests)
#
# Prints one line per fault (CAUGHT / MISSED / NOT-APPLIED / NO-BUILD) and
# writes the same lines to <build-dir>/seeded-faults.txt. Exit status 1 when
# any fault is missed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=${1:?usage: run.sh <build-dir> [table-or-fault-name...]}
shift
build=$(cd "$build" && pwd)
out=$build/seeded-faults.txt
: >"$out"

tables=()
names=()
for a in "$@"; do
  if [ -f "$here/$a.tsv" ]; then tables+=("$here/$a.tsv"); else names+=("$a"); fi
done
[ ${#tables[@]} -eq 0 ] && tables=("$here"/*.tsv)

restore=""
cleanup() { [ -n "$restore" ] && cp -p "$restore.orig" "$restore" && rm -f "$restore.orig" && touch "$restore"; restore=""; }
trap cleanup EXIT INT TERM

report() { echo "$*" | tee -a "$out"; }

missed=0
for table in "${tables[@]}"; do
  while IFS=$'\t' read -r name file subst pattern <&3; do
    case "$name" in ''|'#'*) continue ;; esac
    if [ ${#names[@]} -gt 0 ] && ! printf '%s\n' "${names[@]}" | grep -qxF "$name"; then continue; fi
    src=$top/$file
    cp -p "$src" "$src.orig"; restore=$src
    FAULT="$subst" perl -pi -e 'BEGIN { $f = $ENV{FAULT} } eval $f; die $@ if $@' "$src"
    if cmp -s "$src" "$src.orig"; then
      report "NOT-APPLIED $name ($file)"; cleanup; missed=$((missed + 1)); continue
    fi
    if ! cmake --build "$build" -j2 >"$build/seeded-fault-build.log" 2>&1; then
      report "NO-BUILD $name ($file)"; cleanup; missed=$((missed + 1)); continue
    fi
    args=(--test-dir "$build" -j2 --timeout 300)
    # shellcheck disable=SC2206  # the table's ctest arguments are words
    [ -n "$pattern" ] && args+=($pattern)
    ctest "${args[@]}" >"$build/seeded-fault-ctest.log" 2>&1
    failed=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$build/seeded-fault-ctest.log" | tr '\n' ' ')
    if [ -n "$failed" ]; then
      report "CAUGHT $name by: $failed"
    else
      report "MISSED $name"; missed=$((missed + 1))
    fi
    cleanup
  done 3<"$table"
done
cmake --build "$build" -j2 >/dev/null 2>&1
[ $missed -eq 0 ]
