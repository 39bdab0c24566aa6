#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each fuzz target for the given number
# of seconds on a copy of its seed corpus, so that the repository is never
# written. The targets run side by side, one per processor (FUZZ_JOBS
# overrides), each with a whole processor for its time. Fails if any
# target reports a crash, leak, undefined behaviour, timeout or
# out-of-memory; the finding is kept in the work folder it names.
#
# usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(fuzz_engine fuzz_profile fuzz_page_size fuzz_image_png fuzz_image_tiff fuzz_image_pnm
           fuzz_image_jpeg)
fi

cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/inkdot-fuzz.XXXXXX")
jobs=${FUZZ_JOBS:-$(nproc)}
root=$PWD

# fuzz_one TARGET: runs it in its own folder; its exit status is kept in
# the folder's "status" file.
fuzz_one() {
  local target=$1 dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/findings"
  cp tests/fuzz/corpus/"$target"/* "$dir/corpus"/
  local rc=0
  (cd "$dir/findings" &&
    "$root/build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" \
      -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 "$dir/corpus" \
      >"$dir/log" 2>&1) || rc=$?
  echo "$rc" >"$dir/status"
}

running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz: $target for ${seconds}s"
  fuzz_one "$target" &
  running=$((running + 1))
done
wait

status=0
for target in "${targets[@]}"; do
  if [ "$(cat "$work/$target/status" 2>/dev/null || echo 1)" != 0 ]; then
    echo "fuzz: $target found a problem; its log and input are in $work/$target" >&2
    tail -n 60 "$work/$target/log" >&2 || true
    status=1
    continue
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$target/log" |
    sed "s/^/fuzz: $target /"
done

if [ "$status" -eq 0 ]; then rm -rf "$work"; fi
exit "$status"
