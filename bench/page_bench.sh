#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Whole-process throughput of `inkdot print` on an A4 page: the bundled test
# chart drawn at 300 dpi (2480 x 3508, PNG), printed at 1440 x 720 (100 Mpx)
# and 720 x 720 (50 Mpx), TIFF planes out, no preview. For each mode it
# reports the best wall time of several runs, Mpx/s and peak memory (maximum
# resident set, from /usr/bin/time). Where netpbm and Little CMS are
# installed it times `pamditherbw -fs` and `tificc` on the same page at
# device size, for comparison.
#
#   bench/page_bench.sh [inkdot binary] [runs]      (defaults: the default build, 3)
#
# Environment: WORK (scratch folder, default /tmp/inkdot-page-bench),
# THREADS (the print command's --threads, default 4; empty leaves the
# option out, for builds before it), EXTRA (further print options, e.g.
# "--compression fast"), OTHERS (0 skips the other programs), MODES
# (override the list, "dots method resolution [--gray];...").
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

# best_of CMD...: runs CMD $runs times; prints "seconds peak_kib user sys"
# of the fastest run.
best_of() {
  local best="" line
  for _ in $(seq "$runs"); do
    line=$(/usr/bin/time -f "%e %M %U %S" "$@" 2>&1 >/dev/null | tail -1)
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then
      best=$line
    fi
  done
  echo "$best"
}

# report NAME MPX "seconds peak_kib user sys"
report() {
  read -r seconds kib user sys <<<"$3"
  printf "%-40s %7s %7s %7.1f %9.0f %7.2f\n" "$1" "$2" "$seconds" \
    "$(awk -v m="$2" -v s="$seconds" 'BEGIN{print m/s}')" "$((kib / 1024))" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')"
}

printf "%-40s %7s %7s %7s %9s %7s\n" "program" "Mpx" "s" "Mpx/s" "peak MiB" "CPU s"
IFS=';' read -ra list <<<"$modes"
for mode in "${list[@]}"; do
  read -r dots method resolution grey <<<"$mode"
  args=(print "$page" -o "$work/out" --input-dpi 300 --resolution "$resolution" --dots "$dots"
        --method "$method" -j 1 ${threads:+--threads "$threads"} $grey "${extra[@]}")
  mpx=$("$inkdot" "${args[@]}" | sed -n 's/.*page, \([0-9.]*\) megapixels.*/\1/p')
  report "inkdot $dots $method $resolution${grey:+ grey}" "$mpx" "$(best_of "$inkdot" "${args[@]}" -q)"
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
