#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the Windows check program under Wine and compares its scenario
# digests with a native build's. Exits 77 (skipped) where Wine is absent or
# cannot run the 32-bit program.
#
#   run_under_wine.sh NATIVE_SCENARIO WINDOWS_PROGRAM
set -euo pipefail
native="$1"; program="$2"
wine=$(command -v wine || command -v wine32 || true)
if [ -z "$wine" ]; then
  echo "Wine is not installed: the DLL is not run here (skipped)"
  exit 77
fi
export WINEDEBUG=-all
if ! "$wine" "$program" --probe 2>/dev/null | grep -q "probe ok"; then
  echo "Wine ($wine) cannot run 32-bit Windows programs here: skipped"
  exit 77
fi
exec "$(dirname "$0")/../scenario/compare_digests.sh" "$native" "$wine" "$program"
