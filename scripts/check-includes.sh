#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails on an #include that runs upward between the layers:
#   formats/  the resource formats: nothing of engine/, host/ or tools/;
#   engine/   the engine: the public header and the formats' layout headers
#             alone, nothing of host/ or tools/;
#   host/     the host SDK: the public header, its own headers and the
#             formats, no engine internals and nothing of tools/.
# tools/, tests/, bench/ and examples/ sit on top and may include anything.
# Inside engine/ the folders are layers too, each including only those
# below it (a file may always include its own folder's headers):
#   api/                  the exported operations: any engine folder;
#   colour/               colour matching: frame/;
#   halftone/setup/       the halftone resource conversation: the halftone
#                         object, frame/, and of the kernels only their face
#                         (dispatcher.h, row_kernels.h);
#   halftone/kernels/one_bit/, halftone/kernels/multi_size/
#                         the two kernel families: the shared kernel files,
#                         the halftone object, frame/;
#   halftone/kernels/     the dispatcher and what both families share: the
#                         halftone object, frame/;
#   halftone/             the halftone object: frame/;
#   frame/                the memory layer, result codes, CPU features.
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

# The engine layer a file under engine/ belongs to.
engine_layer() {
  case $1 in
    engine/api/*) echo api ;;
    engine/colour/*) echo colour ;;
    engine/halftone/setup/*) echo setup ;;
    engine/halftone/kernels/one_bit/*) echo one_bit ;;
    engine/halftone/kernels/multi_size/*) echo multi_size ;;
    engine/halftone/kernels/*) echo kernels ;;
    engine/halftone/*) echo halftone ;;
    engine/frame/*) echo frame ;;
    *) echo other ;;
  esac
}

# Whether engine layer $1 may include engine file $2 (of layer $3).
engine_may_include() {
  local from=$1 target=$2 to=$3
  [ "$from" = "$to" ] && return 0
  case $from in
    api) return 0 ;;
    colour) [ "$to" = frame ] ;;
    setup)
      case $to in
        halftone | frame) return 0 ;;
        kernels) [[ $target == */dispatcher.h || $target == */row_kernels.h ]] ;;
        *) return 1 ;;
      esac ;;
    one_bit | multi_size) [[ $to == kernels || $to == halftone || $to == frame ]] ;;
    kernels | halftone) [[ $to == halftone || $to == frame ]] ;;
    *) return 1 ;;
  esac
}

# check_engine FILE: the includes of one engine file, layer against layer.
check_engine() {
  local file=$1 include target from to
  from=$(engine_layer "$file")
  while read -r include; do
    if [ -f "${file%/*}/$include" ]; then
      target="${file%/*}/$include"
    elif [ -f "engine/$include" ]; then
      target="engine/$include"
    else
      continue
    fi
    to=$(engine_layer "$target")
    if ! engine_may_include "$from" "$target" "$to"; then
      echo "$file: includes \"$include\" from engine/ layer $to, which engine layer $from may not include"
      failures=$((failures + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p' "$file")
}

if [ -d engine ]; then
  while read -r file; do check_engine "$file"; done < <(sources engine)
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) run upward between the layers"
  exit 1
fi
echo "no include runs upward between formats/, engine/ and host/, nor between the engine's layers"
