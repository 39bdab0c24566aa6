#!/usr/bin/env bash
# The cross builds, run after the default build:
#  - the 32-bit Windows DLL, with checks of its export and import tables
#    (and the DLL run under Wine where Wine can run it);
#  - the engine and its unit tests built for 32-bit Linux and run under
#    qemu's user-mode emulator, and the scenario pages of that build
#    compared, digest by digest, with the default (64-bit) build's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

# The 64-bit scenario is the reference for both cross builds.
cmake --preset default
cmake --build --preset default -j "$jobs" --target inkdot_scenario

cmake --preset windows-dll
cmake --build --preset windows-dll -j "$jobs"
ctest --preset windows-dll

cmake --preset linux-32
cmake --build --preset linux-32 -j "$jobs"
ctest --preset linux-32
