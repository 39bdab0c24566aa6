#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job: set up, build, then halftone the bundled test chart with the
# bundled default profile, writing the dot planes and a preview of each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)" --target inkdot_cli default_profile
inkdot=build/default/tools/inkdot/inkdot
out=${1:-out}
mkdir -p "$out"
"$inkdot" chart -o "$out/chart.png" --size 1200x800
# Variable-size dots by error diffusion, and single-size dots by screening.
"$inkdot" print "$out/chart.png" -o "$out/variable" --input-dpi 150 \
  --resolution 1440x720 --dots variable --method diffusion --preview
"$inkdot" print "$out/chart.png" -o "$out/single" --input-dpi 150 \
  --resolution 720x720 --dots single --method screen --preview
echo "Test chart:    $out/chart.png"
echo "Dot planes:    $out/variable/chart.tif, $out/single/chart.tif"
echo "Previews:      $out/variable/chart.png, $out/single/chart.png"
