#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Non-blank lines of C and C++ test code against the code it tests:
# tests/ (helpers and scenario included) over engine/, formats/, host/, tools/, include/.
#   scripts/test-ratio.sh [-v]   (-v: lines per test file as well)
set -eu
cd "$(dirname "$0")/.."
count() {
  find "$@" -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
    -exec grep -hcv '^[[:space:]]*$' {} + | awk '{ s += $1 } END { print s + 0 }'
}
if [ "${1:-}" = "-v" ]; then
  find tests -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
    -exec grep -cv '^[[:space:]]*$' {} + | sort -t: -k2 -n -r
fi
tests=$(count tests)
code=$(count engine formats host tools include)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, code %d, ratio %.3f\n", t, c, t / c }'
