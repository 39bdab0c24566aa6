#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails on an #include that runs upward between the layers:
#   formats/  the resource formats: nothing of engine/, host/ or tools/;
#   engine/   the engine: the public header and the formats' layout headers
#             alone, nothing of host/ or tools/;
#   host/     the host SDK: the public header, its own headers and the
#             formats, no engine internals and nothing of tools/.
# tools/, tests/, bench/ and examples/ sit on top and may include anything.
# Each quoted or bracketed include is looked up as the compiler would, in
# the including file's folder and then in the folders its layer may use;
# one found only in another layer's folder is reported. Includes found in
# no folder of the project (the system's) are not this check's business.
#
#   scripts/check-includes.sh [ROOT]
set -euo pipefail
root=$(realpath "${1:-$(dirname "$0")/..}")
cd "$root"

# Every folder an include of the project can resolve in.
every=(include engine formats/include formats/layout host/include host/src)
for dir in tools/*/; do every+=("${dir%/}"); done

failures=0

# check LAYER FILE ALLOWED_FOLDER...
check() {
  local layer=$1 file=$2; shift 2
  local include dir found own=${file%/*}
  while read -r include; do
    found=""
    for dir in "$own" "$@"; do
      if [ -f "$dir/$include" ]; then found=yes; break; fi
    done
    [ -n "$found" ] && continue
    for dir in "${every[@]}"; do
      if [ -f "$dir/$include" ]; then
        echo "$file: includes \"$include\" from $dir/, which $layer may not include"
        failures=$((failures + 1))
        break
      fi
    done
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p' "$file")
}

sources() { find "$@" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort; }

while read -r file; do check formats "$file" formats/include formats/layout; done < <(sources formats)
while read -r file; do check engine "$file" include engine formats/layout; done < <(sources engine)
while read -r file; do
  check host "$file" include host/include host/src formats/include formats/layout
done < <(sources host)

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) run upward between the layers"
  exit 1
fi
echo "no include runs upward between formats/, engine/ and host/"
