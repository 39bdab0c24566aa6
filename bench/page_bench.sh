#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Whole-process throughput of `inkdot print` on an A4 page: the bundled test
# chart drawn at 300 dpi (2480 x 3508, PNG), printed at 1440 x 720 (100 Mpx)
# and 720 x 720 (50 Mpx), TIFF planes out, no preview. For each mode it
# reports the best wall time of several runs, Mpx/s, peak memory (maximum
# resident set, from /usr/bin/time), CPU time, the engine thread's CPU time
# (the critical path: a page cannot take less wall time) and the TIFF's
# size; then the first mode in the other compressions. Where netpbm and
# Little CMS are installed it times `pamditherbw -fs` and `tificc` on the
# same page at device size, for comparison.
#
#   bench/page_bench.sh [inkdot binary] [runs]      (defaults: the default build, 3)
#
# Environment: WORK (scratch folder, default /tmp/inkdot-page-bench),
# THREADS (the print command's --threads, default 4; empty leaves the
# option out, for builds before it), EXTRA (further print options, e.g.
# "--compression deflate"), OTHERS (0 skips the other programs), MODES
# (override the list, "dots method resolution [--gray];..."), COMPRESSIONS
# (those to run the first mode in again; empty for none).
set -euo pipefail
cd "$(dirname "$0")/.."
inkdot=$(realpath "${1:-build/default/tools/inkdot/inkdot}")
runs=${2:-3}
work=${WORK:-/tmp/inkdot-page-bench}
threads=${THREADS-4}
read -ra extra <<<"${EXTRA:-}"
modes=${MODES:-"variable diffusion 1440x720;single screen 720x720;single diffusion 1440x720;variable screen 1440x720;single diffusion 1440x720 --gray"}
mkdir -p "$work"
page="$work/a4.png"
[ -f "$page" ] || "$inkdot" chart -o "$page" --size 2480x3508

# best_of CMD...: runs CMD $runs times; prints "seconds peak_kib user sys
# engine" of the fastest run, engine being the CPU seconds of the engine
# thread that inkdot print reports ("-" for other programs).
best_of() {
  local best="" line engine out=/dev/null
  # Only inkdot's summary is kept; the other programs write their image there.
  [ "$1" = "$inkdot" ] && out="$work/stdout"
  for _ in $(seq "$runs"); do
    : >"$work/stdout"
    # The other programs' banners on standard error are not wanted here.
    /usr/bin/time -o "$work/time" -f "%e %M %U %S" "$@" >"$out" 2>"$work/stderr"
    engine=$(sed -n 's/.*engine threads \([0-9.]*\) CPU s.*/\1/p' "$work/stdout")
    line="$(tail -1 "$work/time") ${engine:--}"
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then
      best=$line
    fi
  done
  echo "$best"
}

# report NAME MPX "seconds peak_kib user sys engine" [FILE]: FILE's size in
# MB when given.
report() {
  read -r seconds kib user sys engine <<<"$3"
  local size="-"
  [ -n "${4:-}" ] && size=$(awk -v b="$(stat -c %s "$4")" 'BEGIN{printf "%.1f", b/1e6}')
  printf "%-44s %6s %6s %6.1f %8.0f %6.2f %8s %7s\n" "$1" "$2" "$seconds" \
    "$(awk -v m="$2" -v s="$seconds" 'BEGIN{print m/s}')" "$((kib / 1024))" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')" "$engine" "$size"
}

# print_page NAME DOTS METHOD RESOLUTION [OPTIONS...]: one row for inkdot.
print_page() {
  local name=$1 dots=$2 method=$3 resolution=$4
  shift 4
  local args=(print "$page" -o "$work/out" --input-dpi 300 --resolution "$resolution"
              --dots "$dots" --method "$method" -j 1 ${threads:+--threads "$threads"} "$@")
  local mpx
  mpx=$("$inkdot" "${args[@]}" | sed -n 's/.*page, \([0-9.]*\) megapixels.*/\1/p')
  report "$name" "$mpx" "$(best_of "$inkdot" "${args[@]}")" "$work/out/a4.tif"
}

printf "%-44s %6s %6s %6s %8s %6s %8s %7s\n" "program" "Mpx" "s" "Mpx/s" "peak MiB" "CPU s" \
  "engine s" "MB out"
IFS=';' read -ra list <<<"$modes"
for mode in "${list[@]}"; do
  read -r dots method resolution grey <<<"$mode"
  print_page "inkdot $dots $method $resolution${grey:+ grey}" "$dots" "$method" "$resolution" \
    $grey "${extra[@]}"
done
# The first mode again in every other compression.
read -r dots method resolution grey <<<"${list[0]}"
for compression in ${COMPRESSIONS-deflate packbits none}; do
  print_page "  the same, --compression $compression" "$dots" "$method" "$resolution" $grey \
    "${extra[@]}" --compression "$compression"
done

# The same page at 1440 x 720 device size, for the other programs. Their
# inputs are made once, untimed.
[ "${OTHERS:-1}" = 0 ] && exit 0
if command -v pamditherbw >/dev/null && command -v pamscale >/dev/null; then
  grey="$work/device.pgm"
  [ -f "$grey" ] || pngtopam "$page" | pamscale -width 11904 -height 8419 | ppmtopgm >"$grey"
  report "pamditherbw -fs (grey, 1 bit)" 100.2 "$(best_of pamditherbw -fs "$grey")"
else
  echo "pamditherbw: netpbm not installed, skipped"
fi
if command -v tificc >/dev/null && command -v pamtotiff >/dev/null; then
  rgb="$work/device.tif"
  [ -f "$rgb" ] || pngtopam "$page" | pamscale -width 11904 -height 8419 | pamtotiff 2>/dev/null >"$rgb"
  report "tificc sRGB to Lab (8-bit TIFF)" 100.2 \
    "$(best_of tificc '-i*sRGB' '-o*Lab' "$rgb" "$work/lab.tif")"
else
  echo "tificc: Little CMS utilities not installed, skipped"
fi
