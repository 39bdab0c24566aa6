#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The cross builds, run after the default build:
#  - the 32-bit Windows DLL, with checks of its export and import tables
#    (and the DLL run under Wine where Wine can run it);
#  - the engine and its unit tests built for 32-bit Linux and run under
#    qemu's user-mode emulator, and the scenario pages of that build
#    compared, digest by digest, with the default (64-bit) build's;
#  - in the same 32-bit build, a small PE loader that runs the DLL built
#    above under the emulator: the scenario pages through the DLL's own code
#    on its AVX2 and portable paths, and failures injected in its imports
#    (so the DLL must be built before the linux-32 tests run).
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
