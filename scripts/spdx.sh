#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Puts an SPDX licence line at the head of every tracked source file that
# lacks one (after a #! line), in the file's own comment syntax; with
# --check, only lists the files that lack it and fails if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
tag="SPDX-License-Identifier: Apache-2.0"
check=0
[ "${1:-}" = "--check" ] && check=1
missing=0
while IFS= read -r file; do
  case "$file" in
    *.cpp|*.cc) line="// $tag" ;;
    *.c|*.h) line="/* $tag */" ;;
    *.sh|*.py|*.bash|*.cmake|*CMakeLists.txt|*.cmake.in|*.pc.in|.ci/run) line="# $tag" ;;
    *.1) line=".\\\" $tag" ;;
    *) continue ;;
  esac
  head -n 3 "$file" | grep -qF "$tag" && continue
  missing=$((missing + 1))
  if [ $check = 1 ]; then echo "$file"; continue; fi
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; printf '%s\n' "$line"; tail -n +2 "$file"; } > "$file.spdx"
  else
    { printf '%s\n' "$line"; cat "$file"; } > "$file.spdx"
  fi
  chmod --reference="$file" "$file.spdx"
  mv "$file.spdx" "$file"
done < <(git ls-files)
if [ $check = 1 ] && [ $missing -gt 0 ]; then exit 1; fi
echo "spdx: $missing file(s) $([ $check = 1 ] && echo lack the line || echo given the line)"
