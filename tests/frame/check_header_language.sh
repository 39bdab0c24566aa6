#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles a translation unit using the public header with one compiler and
# language standard under -pedantic -Werror, e.g.
#   check_header_language.sh gcc c89 ROOT   or   check_header_language.sh g++ c++98 ROOT
set -euo pipefail
compiler="$1"; standard="$2"; root="$3"
language=c
case "$standard" in c++*) language=c++ ;; esac
"$compiler" -x "$language" "-std=$standard" -pedantic -Wpedantic -Wall -Wextra -Werror \
  -fsyntax-only -I"$root/include" "$root/tests/frame/header_in_every_language.c"
echo "header compiles as $standard"
