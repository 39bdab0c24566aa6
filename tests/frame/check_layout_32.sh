#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles the public header (as C and as C++) and every engine source for a
# 32-bit target, where the header's static assertions pin each record to
# its exact word layout. Skipped (exit 77) where the compiler has no 32-bit
# support.
set -euo pipefail
cc="$1"; cxx="$2"; root="$3"
probe=$(mktemp --suffix=.c)
trap 'rm -f "$probe"' EXIT
echo '#include <stdint.h>' > "$probe"
if ! "$cc" -m32 -fsyntax-only "$probe" 2>/dev/null; then
  echo "no 32-bit support in $cc; skipped"
  exit 77
fi
echo '#include "inkdot/inkdot.h"' > "$probe"
"$cc" -m32 -std=c11 -Wall -Wextra -Werror -fsyntax-only -I"$root/include" "$probe"
find "$root/engine" -name '*.cpp' ! -name '*_win32.cpp' -print0 | xargs -0 -n 8 \
  "$cxx" -m32 -std=c++20 -Wall -Wextra -Wshadow -Werror -fsyntax-only \
  -I"$root/include" -I"$root/engine" -I"$root/formats/layout"
echo "32-bit layout holds"
