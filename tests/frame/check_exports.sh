#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# The shared library's dynamic symbol table defines the eight operations
# and nothing else of the engine.
#
#   check_exports.sh NM LIBRARY.so
set -eu
nm="$1"; library="$2"
expected='CmDelete
CmGetLut
CmNew
CmSetResource
Halftone
HalftoneDelete
HalftoneNew
HalftoneSetResource'
# Defined dynamic symbols, less the version node the linker adds.
actual=$("$nm" -D --defined-only "$library" | awk '$2 != "A" { print $3 }' | sed 's/@.*//' | LC_ALL=C sort -u)
if [ "$actual" != "$expected" ]; then
  echo "the library defines:" >&2; echo "$actual" >&2
  echo "expected exactly:" >&2; echo "$expected" >&2
  exit 1
fi
echo "exports: the eight operations only"
