#!/usr/bin/env bash
# The main job: set up, build the engine, and show what the library exports.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
library=build/default/engine/libinkdot.so
echo "Built $library; it exports:"
nm -D --defined-only "$library" | awk '{print "  " $3}'
