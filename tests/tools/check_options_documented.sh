#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every long option a subcommand takes appears in its manual page and is
# offered by the bash completion, and every manual page formats without a
# warning.
# Usage: check_options_documented.sh INKDOT SOURCE_DIR
set -euo pipefail
inkdot="$1"; source="$2"
completion="$source/tools/inkdot/completion/inkdot.bash"
status=0
for page in "$source"/docs/man/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then echo "$page: $warnings"; status=1; fi
done
for sub in print preview inspect chart "profile build" "profile target"; do
  page="$source/docs/man/inkdot-${sub%% *}.1"
  offered=$(bash -c "source '$completion'; COMP_WORDS=(inkdot $sub --); COMP_CWORD=\${#COMP_WORDS[@]}; COMP_CWORD=\$((COMP_CWORD - 1)); _inkdot; echo \"\${COMPREPLY[*]}\"")
  for option in $("$inkdot" $sub --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    [ "$option" = "--help" ] && continue
    # Man pages escape the hyphens: \-\-option.
    if ! grep -qF -- "$(sed 's/-/\\-/g' <<<"$option")" "$page"; then
      echo "inkdot $sub $option is not in $(basename "$page")"; status=1
    fi
    if ! grep -qw -- "$option" <<<" $offered "; then
      echo "inkdot $sub $option is not offered by the completion"; status=1
    fi
  done
done
for flag in --version --help; do
  grep -qF -- "$(sed 's/-/\\-/g' <<<"$flag")" "$source/docs/man/inkdot.1" || { echo "inkdot.1 lacks $flag"; status=1; }
done
exit $status
