#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the scenario of a native build and the scenario of another build
# (through the given launcher, such as an emulator or Wine; empty for
# none) and checks that every page's digest is the same. Instead of a
# native program the first argument may name a file of the digests it
# printed (the reference kept with the tests).
#
#   compare_digests.sh NATIVE_SCENARIO|REFERENCE LAUNCHER OTHER_PROGRAM [ARGS...]
set -euo pipefail
native="$1"; launcher="$2"; shift 2
expected=$(mktemp); actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
if [ -f "$native" ] && [ ! -x "$native" ]; then
  cp "$native" "$expected"
elif [ -x "$native" ]; then
  "$native" > "$expected"
else
  echo "no native scenario at '$native': build the default preset first" >&2
  echo "(cmake --build --preset default --target inkdot_scenario)" >&2
  exit 1
fi
$launcher "$@" > "$actual"
if ! diff -u "$expected" "$actual"; then
  echo "the digests differ (- expected, + this build)" >&2
  exit 1
fi
cat "$actual"
echo "digests match: $(wc -l < "$actual") lines"
