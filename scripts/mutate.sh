#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Measures how many injected faults the test suite catches.
#
#   scripts/mutate.sh [--list] [--only N[,N...]] [--commit REV] [--scratch DIR]
#
# The tracked files of this tree (as they stand, edits included; or those of
# commit REV) are copied to a scratch directory (build/mutate by default) and
# built there once, without debug information and with ccache and lld when
# they are installed, so that the rebuild after each mutant stays short. Each
# mutant below is then applied to the scratch copy alone, the copy is rebuilt
# incrementally and the suite run; the file is restored before the next one,
# so the working tree is never touched.
#
# A mutant is a single textual substitution: FROM must occur exactly once in
# the file (it is anchored on text, not on a line number). The outcome is
#   caught    the build succeeded and at least one test failed (or timed out)
#   missed    the build succeeded and every test passed
#   invalid   FROM was not found exactly once, or the mutant did not build
# The score is caught / (caught + missed). Results go to stdout and to
# build/mutate/results.txt.
set -eu
if [ -z "${INKDOT_MUTATE_COPY:-}" ]; then
  copy=$(mktemp); cp "$0" "$copy"
  INKDOT_MUTATE_COPY=1 INKDOT_MUTATE_ROOT=$(cd "$(dirname "$0")/.." && pwd) sh "$copy" "$@" && status=0 || status=$?
  rm -f "$copy"; exit $status
fi

root=$INKDOT_MUTATE_ROOT
scratch="$root/build/mutate"
only=""
list=0
commit=""

while [ $# -gt 0 ]; do
  case "$1" in
    --list) list=1 ;;
    --only) only=",$2,"; shift ;;
    --scratch) scratch="$2"; shift ;;
    --commit) commit="$2"; shift ;;
    *) echo "mutate.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done

# file @ FROM @ TO @ what the fault is (no "@" in C++ text, so it separates)
mutants() {
  cat <<'EOF'
engine/frame/memory_blocks.cpp@if (MemUnlock(handle) != 0) return kUnlockFailed;@if (MemUnlock(handle) != 0) return kOk;@release ignores a failed unlock
engine/frame/memory_blocks.cpp@if (MemFree(block.handle) != 0) result = kFreeFailed;@if (MemFree(block.handle) != 0) result = kOk;@block free ignores a failed free
engine/frame/memory_blocks.cpp@    MemFree(h);@    (void)h;@acquire leaks the block when locking fails
engine/colour/tone_curves.cpp@setting < -50 || setting > 50;@setting < -50 || setting > 51;@setting range accepts 51
engine/colour/tone_curves.cpp@gamma < 100 || gamma > 300@gamma <= 100 || gamma > 300@gamma 100 refused
engine/colour/tone_curves.cpp@ApplyHostCurve(host + 512, record->curveBlue);@ApplyHostCurve(host + 256, record->curveBlue);@blue takes the green host curve
engine/colour/calibration.cpp@return v >= kLowestValue && v <= kHighestValue;@return v >= kLowestValue && v < kHighestValue;@calibration value 70 refused
engine/colour/calibration.cpp@if (++length > kMaxRecordBytes) return kBadResource;@if (++length >= kMaxRecordBytes) return kBadResource;@longest channel-map record refused
engine/colour/calibration.cpp@if (plane >= channels) return kBadResource;@if (plane > channels) return kBadResource;@plane number equal to the channel count accepted
engine/colour/calibration.cpp@block[kValuesAt + channels + 1] != layout::kBlockEnd[1]) {@block[kValuesAt + channels + 1] != block[kValuesAt + channels + 1]) {@calibration block end mark unchecked
engine/colour/interpolate.cpp@while (i < last && value > nodes[i]) ++i;@while (i < last && value >= nodes[i]) ++i;@grid cell search on node values
engine/colour/selection_table.cpp@constexpr int16_t kDotModeVersion = layout::kDotModeVersion;@constexpr int16_t kDotModeVersion = layout::kDotModeVersion + 1;@dot-mode column ignored in version 300
engine/colour/selection_table.cpp@if (entry.keyNumber != params.tableKeyNumber) return false;@if (entry.keyNumber < params.tableKeyNumber) return false;@key number compared one-sided
engine/colour/selection_table.cpp@cm->matchedNext = entry.halftoneId == 0 ? -1 : entry.halftoneId;@cm->matchedNext = entry.halftoneId;@halftone id 0 not turned into the end mark
engine/colour/colour_table.cpp@if (nodes[n] <= nodes[n - 1]) return false;@if (nodes[n] < nodes[n - 1]) return false;@repeated grid node accepted
engine/colour/colour_table.cpp@return static_cast<uint8_t>((d / 2 + x * 255) / d);@return static_cast<uint8_t>((x * 255) / d);@ink-load division not rounded
engine/colour/colour_table.cpp@static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;@static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 16;@32-bit little-endian read shifts the top byte wrong
engine/colour/colour_table.cpp@const int32_t kind = resource[kKindAt] == 2 ? 1 : resource[kKindAt];@const int32_t kind = resource[kKindAt] == 2 ? 2 : resource[kKindAt];@table kind 2 not folded into 1
engine/colour/cm_context.cpp@if (params.colorAdjustMode == 2) cm->matchMode = 4;@if (params.colorAdjustMode == 2) cm->matchMode = 3;@wrong match mode for adjust mode 2
engine/colour/colour_resources.cpp@return halftoneId >= 300 && halftoneId <= 399 &&@return halftoneId >= 301 && halftoneId <= 399 &&@ink-load range misses id 300
engine/colour/gamma_level.cpp@if (kLog5000[w] * 2048 + base > target) break;@if (kLog5000[w] * 2048 + base >= target) break;@gamma search stops one step early
engine/colour/rebuild.cpp@if (settings.saturation > 50) settings.saturation = 50;@if (settings.saturation > 50) settings.saturation = 49;@enhanced saturation capped at 49
engine/halftone/setup/screening_tables.cpp@if (grey[i] < 4 && grey[i - 1] >= 4) drop = i;@if (grey[i] < 3 && grey[i - 1] >= 3) drop = i;@curve padding finds the wrong drop
engine/halftone/setup/screening_tables.cpp@} else if (x == 1440 && y == 720 && page.method == 1) {@} else if (x == 1440 && y == 720 && page.method == 3) {@1440x720 table for the wrong method
formats/layout/inkdot/formats/halftone_layout.h@if (code == kSide512Code) return 512;@if (code == kSide512Code) return 256;@matrix size code 239 misread
engine/halftone/setup/threshold_matrix.cpp@if (!IsPowerOfTwo(width) || height == 0) return kBadResource;@if (height == 0) return kBadResource;@matrix width not checked
engine/halftone/setup/threshold_matrix.cpp@(ht->params.colorMode != 0 ? selector::kColourPaletteIdAt : selector::kGreyPaletteIdAt)@(ht->params.colorMode != 0 ? selector::kGreyPaletteIdAt : selector::kColourPaletteIdAt)@selector record offsets swapped
engine/halftone/setup/resource_id_list.cpp@ht->replication = (static_cast<uint32_t>(n) + 1) / 2;@ht->replication = static_cast<uint32_t>(n) / 2;@odd magnification replication
engine/halftone/setup/dot_palette.cpp@if (static_cast<uint32_t>(amounts[0] + amounts[1] + amounts[2]) > layout::kMaxLevelSum) {@if (static_cast<uint32_t>(amounts[0] + amounts[1] + amounts[2]) > layout::kMaxLevelSum + 1) {@palette sum 256 accepted
engine/halftone/halftone_context.cpp@if (reserved != 0) return kBadReserved;@if (reserved > 1) return kBadReserved;@reserved argument 1 accepted
engine/halftone/kernels/error_lines.cpp@if (previousEnd == width) previousEnd = 0;@if (previousEnd == width) previousEnd = 1;@error-line end wraps wrong
engine/halftone/kernels/dispatcher.cpp@if (choice.errorLines > ht->errorLineCount) return nullptr;@if (choice.errorLines >= ht->errorLineCount) return nullptr;@kernel refused with exactly enough error lines
engine/halftone/kernels/one_bit/ordered_dither.cpp@level != 0 && level > matrixRow[x & columnMask]@level != 0 && level >= matrixRow[x & columnMask]@dither threshold comparison
engine/halftone/kernels/one_bit/mono_diffusion.cpp@const int32_t corrected = level + (*cell >> 5);@const int32_t corrected = level + (*cell >> 4);@diffused error scale
formats/src/byte_fields.h@if (nodes[i] <= nodes[i - 1]) {@if (nodes[i] < nodes[i - 1]) {@repeated node accepted by validation
host/src/profile.cpp@if (text.size() != 7 || text[0] != '#') return false;@if (text.size() < 7 || text[0] != '#') return false;@long colour text accepted
host/src/profile.cpp@digit = ch - 'a' + 10;@digit = ch - 'a' + 11;@lower-case hex digit value
host/src/image_pnm.cpp@const uint32_t sampleBytes = maxValue_ > 255 ? 2 : 1;@const uint32_t sampleBytes = maxValue_ > 256 ? 2 : 1;@maxval 256 read as one byte
formats/src/calibration.cpp@if (length < 1 + channels) {@if (length < channels) {@short channel-map record accepted
formats/src/colour_table.cpp@if (table.gridSize < layout::kMinGridSize ||@if (table.gridSize < 1 ||@grid of one node accepted
formats/src/selection_table.cpp@if (field.text.size() > static_cast<size_t>(layout::kMaxNameLength)) {@if (field.text.size() >= static_cast<size_t>(layout::kMaxNameLength)) {@longest name refused
formats/src/halftone_resources.cpp@if (t >= size) {@if (t > size) {@threshold equal to the matrix size accepted
EOF
}

if [ "$list" = 1 ]; then
  mutants | awk -F@ '{ n++; printf "%2d %-45s %s\n", n, $1, $NF }'
  exit 0
fi

# Copy the tracked files; unchanged files keep their times so rebuilds stay small.
mkdir -p "$scratch/src"
from="$root"
if [ -n "$commit" ]; then
  from=$(mktemp -d)
  git -C "$root" archive "$commit" | tar -x -C "$from"
fi
(cd "$from" && if [ -n "$commit" ]; then find . -type f | sed 's|^\./||'; else git ls-files --cached --others --exclude-standard; fi) |
  while IFS= read -r f; do
    [ -f "$from/$f" ] || continue
    if ! cmp -s "$from/$f" "$scratch/src/$f"; then
      mkdir -p "$(dirname "$scratch/src/$f")"
      cp -p "$from/$f" "$scratch/src/$f"
    fi
  done
# Files deleted from the tree go from the copy too (the tests are globbed).
(cd "$scratch/src" && find . -type f | sed 's|^\./||') | while IFS= read -r f; do
  [ -e "$from/$f" ] || rm -f "$scratch/src/$f"
done
[ -z "$commit" ] || rm -rf "$from"
build="$scratch/build"
log="$scratch/log"
mkdir -p "$log"
if [ ! -f "$build/build.ninja" ]; then
  set -- -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DINKDOT_BUILD_BENCH=OFF
  if command -v ccache >/dev/null; then
    set -- "$@" -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  fi
  if command -v ld.lld >/dev/null; then
    set -- "$@" -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld
  fi
  nice -n 10 cmake -S "$scratch/src" -B "$build" -G Ninja "$@" >"$log/configure.txt"
fi

# Tests of packaging and 32-bit compilation build things of their own and
# check no behaviour a mutant could change; they are left out to save time.
run_suite() {
  nice -n 10 ctest --test-dir "$build" -j2 --timeout 60 --stop-on-failure \
    -E '^(Packaging\.|Layout32\.)' >"$1" 2>&1
}

nice -n 10 cmake --build "$build" -j2 >"$log/build-clean.txt" 2>&1 ||
  { echo "mutate.sh: the unmutated tree does not build (see $log/build-clean.txt)" >&2; exit 1; }
run_suite "$log/suite-clean.txt" ||
  { echo "mutate.sh: the suite fails without any mutant (see $log/suite-clean.txt)" >&2; exit 1; }

current=""
restore() {
  if [ -n "$current" ]; then cp "$scratch/original" "$scratch/src/$current"; current=""; fi
}
trap restore EXIT INT TERM

results="$scratch/results.txt"
: >"$results"
caught=0 missed=0 invalid=0 n=0
tab=$(mktemp); mutants >"$tab"
while IFS=@ read -r file from to what; do
  n=$((n + 1))
  case "$only" in ""|*",$n,"*) ;; *) continue ;; esac
  target="$scratch/src/$file"
  cp "$target" "$scratch/original"
  current="$file"
  if ! FROM="$from" TO="$to" perl -0777 -i -pe '
        my ($f, $t) = ($ENV{FROM}, $ENV{TO});
        my $count = () = /\Q$f\E/g;
        die "found $count times\n" unless $count == 1;
        s/\Q$f\E/$t/;' "$target" 2>"$log/apply-$n.txt"; then
    outcome="invalid (text $(cat "$log/apply-$n.txt"))"
    invalid=$((invalid + 1))
  elif ! nice -n 10 cmake --build "$build" -j2 >"$log/build-$n.txt" 2>&1; then
    outcome="invalid (does not build)"
    invalid=$((invalid + 1))
  elif run_suite "$log/suite-$n.txt"; then
    outcome="missed"
    missed=$((missed + 1))
  else
    outcome="caught by $(grep -m1 -oE '[0-9]+ - [^ ]+ \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception|Child aborted)' "$log/suite-$n.txt" | sed 's/^[0-9]* - //; s/ (.*//')"
    caught=$((caught + 1))
  fi
  restore
  printf '%2d %-8s %-45s %s\n' "$n" "${outcome%% *}" "$file" "$what: $outcome" | tee -a "$results"
done <"$tab"
rm -f "$tab"
# Leave the scratch build matching the unmutated tree.
nice -n 10 cmake --build "$build" -j2 >"$log/build-final.txt" 2>&1 || true

scored=$((caught + missed))
summary="caught $caught of $scored (invalid $invalid)"
[ "$scored" -gt 0 ] && summary="$summary, score $((100 * caught / scored))%"
echo "$summary" | tee -a "$results"
