#!/usr/bin/env bash
# Runs the scenario of a native build and the scenario of another build
# (through the given launcher, such as an emulator or Wine) and checks
# that every page's digest is the same.
#
#   compare_digests.sh NATIVE_SCENARIO LAUNCHER OTHER_PROGRAM [ARGS...]
set -euo pipefail
native="$1"; launcher="$2"; shift 2
if [ ! -x "$native" ]; then
  echo "no native scenario at '$native': build the default preset first" >&2
  echo "(cmake --build --preset default --target inkdot_scenario)" >&2
  exit 1
fi
expected=$(mktemp); actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
"$native" > "$expected"
$launcher "$@" > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "the digests differ (- native, + other build)" >&2
  exit 1
fi
cat "$actual"
echo "digests match: $(wc -l < "$actual") lines"
