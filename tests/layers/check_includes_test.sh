#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The include check on a small tree with one upward include of each kind
# (and the includes each layer may make): it must name exactly those.
set -euo pipefail
check="$1"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
put() { mkdir -p "$tree/$(dirname "$1")"; printf '%s\n' "${@:2}" > "$tree/$1"; }

put include/inkdot/inkdot.h '#pragma once'
put formats/layout/inkdot/formats/grid_layout.h '#include <cstdint>'
put formats/include/inkdot/formats/grid.h '#include "inkdot/formats/grid_layout.h"'
put formats/src/grid.cpp '#include "inkdot/formats/grid.h"' '#include "inkdot/host/session.h"'
put engine/colour/table.h '#include "inkdot/inkdot.h"'
put engine/colour/table.cpp '#include "colour/table.h"' '#include "inkdot/formats/grid_layout.h"' \
    '#include <vector>' '#include "inkdot/formats/grid.h"'
put engine/api/exports.cpp '  #  include "inkdot/host/session.h"' '#include "colour/table.h"' \
    '#include "halftone/setup/phases.h"' '#include "halftone/kernels/dispatcher.h"'
put engine/frame/blocks.h '#include "inkdot/inkdot.h"'
put engine/frame/blocks.cpp '#include "frame/blocks.h"' '#include "colour/table.h"'
put engine/halftone/object.h '#include "frame/blocks.h"'
put engine/halftone/setup/phases.h '#include "halftone/object.h"' '#include "halftone/kernels/dispatcher.h"' \
    '#include "halftone/kernels/one_bit/planes.h"'
put engine/halftone/kernels/dispatcher.h '#include "halftone/object.h"'
put engine/halftone/kernels/one_bit/planes.h '#include "halftone/kernels/dispatcher.h"'
put engine/halftone/kernels/one_bit/dither.cpp '#include "planes.h"' '#include "halftone/setup/phases.h"' \
    '#include "halftone/kernels/multi_size/sizes.h"'
put engine/halftone/kernels/multi_size/sizes.h '#include "halftone/object.h"'
put host/include/inkdot/host/session.h '#include "inkdot/inkdot.h"' '#include "inkdot/formats/grid.h"'
put host/src/session.cpp '#include "inkdot/host/session.h"' '#include "readers.h"' '#include "colour/table.h"' \
    '#include "profile_builder.h"'
put host/src/readers.h '#pragma once'
put tools/profile/profile_builder.h '#include "inkdot/host/session.h"' '#include "colour/table.h"'

if output=$("$check" "$tree"); then
  echo "the check passed a tree with upward includes:"; echo "$output"; exit 1
fi
echo "$output"
expected=(
  'formats/src/grid.cpp: includes "inkdot/host/session.h"'
  'engine/colour/table.cpp: includes "inkdot/formats/grid.h"'
  'engine/api/exports.cpp: includes "inkdot/host/session.h"'
  'host/src/session.cpp: includes "colour/table.h"'
  'engine/frame/blocks.cpp: includes "colour/table.h"'
  'engine/halftone/setup/phases.h: includes "halftone/kernels/one_bit/planes.h"'
  'engine/halftone/kernels/one_bit/dither.cpp: includes "halftone/setup/phases.h"'
  'engine/halftone/kernels/one_bit/dither.cpp: includes "halftone/kernels/multi_size/sizes.h"'
  'host/src/session.cpp: includes "profile_builder.h"'
)
for line in "${expected[@]}"; do
  grep -qF "$line" <<<"$output" || { echo "not reported: $line"; exit 1; }
done
[ "$(grep -c 'may not include' <<<"$output")" -eq "${#expected[@]}" ] || { echo "reports beyond the planted ones"; exit 1; }
echo "every planted upward include reported, nothing else"
