#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Set-up, configure, build and run every test of the default build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default
