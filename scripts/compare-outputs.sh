#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks that two builds of the inkdot command print the same pages: every
# dot-size and method, every resolution the default profile offers, colour
# and grey, with previews, on the test chart and on a photo-like image
# (netpbm's fractal clouds when ppmforge is installed), PNG, PPM and TIFF in.
# The second build also runs at --threads 1 to 4 and with -j 2. The TIFFs
# must decode to the same planes (the compressed bytes may differ; the
# default build's plane_digest decodes them), the previews be the same bytes.
#
#   scripts/compare-outputs.sh REFERENCE_INKDOT [NEW_INKDOT]
set -euo pipefail
cd "$(dirname "$0")/.."
ref=$(realpath "$1")
new=$(realpath "${2:-build/default/tools/inkdot/inkdot}")
profile=${PROFILE:-build/default/profiles/default}
digest=${DIGEST:-build/default/tests/plane_digest}
# A missing build would make every combination look unsupported or alike.
for program in "$ref" "$new" "$digest"; do
  if [ ! -f "$program" ] || [ ! -x "$program" ]; then
    echo "compare-outputs: $program is not an executable file" >&2
    exit 2
  fi
done
echo "comparing $new against $ref"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$new" chart -o "$work/chart.png" --size 300x200
inputs=("$work/chart.png")
if command -v ppmforge >/dev/null && command -v pnmtopng >/dev/null; then
  ppmforge -clouds -width 180 -height 135 -seed 7 2>/dev/null >"$work/photo-ppm.ppm"
  pnmtopng "$work/photo-ppm.ppm" >"$work/photo.png"
  pamtotiff "$work/photo-ppm.ppm" >"$work/photo-tif.tif" 2>/dev/null || true
  inputs+=("$work/photo.png" "$work/photo-ppm.ppm")
  [ -s "$work/photo-tif.tif" ] && inputs+=("$work/photo-tif.tif")
fi

# same_pages DIR_A DIR_B: the same files, TIFFs decoding to the same
# planes, everything else byte for byte.
same_pages() {
  local a b
  [ "$(cd "$1" && ls)" = "$(cd "$2" && ls)" ] || return 1
  for a in "$1"/*; do
    b="$2/${a##*/}"
    if [ "${a%.tif}" != "$a" ]; then
      [ "$("$digest" "$a")" = "$("$digest" "$b")" ] || return 1
    else
      cmp -s "$a" "$b" || return 1
    fi
  done
}

failures=0
runs=0
unsupported=0
for resolution in 720x720 1440x720 2880x720 720x1440 1440x1440; do
  for dots in single variable; do
    for method in diffusion screen dither midpoint; do
      for grey in "" --gray; do
        args=(--profile "$profile" --input-dpi 240 --resolution "$resolution" --dots "$dots"
              --method "$method" $grey --preview -q)
        rm -rf "$work/ref" "$work/new"*
        if ! "$ref" print "${inputs[@]}" -o "$work/ref" "${args[@]}" 2>/dev/null; then
          # A combination the profile has no kernel for must fail alike.
          if "$new" print "${inputs[@]}" -o "$work/new" "${args[@]}" 2>/dev/null; then
            echo "DIFFERENT: $resolution $dots $method ${grey:-colour} fails only before"
            failures=$((failures + 1))
          fi
          unsupported=$((unsupported + 1))
          continue
        fi
        for variant in "--threads 1 -j 1" "--threads 2 -j 1" "--threads 3 -j 1" "--threads 4 -j 1" "--threads 3 -j 2"; do
          out="$work/new${variant// /}"
          # shellcheck disable=SC2086
          "$new" print "${inputs[@]}" -o "$out" "${args[@]}" $variant
          runs=$((runs + 1))
          if ! same_pages "$work/ref" "$out"; then
            echo "DIFFERENT: $resolution $dots $method ${grey:-colour} $variant"
            failures=$((failures + 1))
          fi
        done
      done
    done
  done
done
echo "$runs runs over ${#inputs[@]} inputs ($unsupported combinations without a kernel)," \
  "$failures with different planes or previews"
[ "$failures" -eq 0 ]
