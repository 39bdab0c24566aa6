#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the PE loader (a 32-bit Linux program) under the emulator with a
# chosen processor model, and checks what it reports.
#
#   run_pe_loader.sh MODE EMULATOR CPU PATH REFERENCE LOADER [LOADER_ARGS...] DLL
#
# MODE digests: the pages' digests equal REFERENCE, on the vector path PATH
#   (avx512, avx2 or portable; "avx2|avx512" for either) that the processor
#   model CPU offers. The emulator's log of the code it translated shows
#   whether the DLL's own 256-bit and 512-bit instructions ran.
# MODE failures: each allocation of the first page, and some of its locks,
#   made to fail in turn: the operation concerned answers 257 after an
#   "Alloc" box with "size = N" (N the size refused), every other page keeps
#   its reference digest, and no memory object outlives the objects.
# MODE unknown-import: a copy of the DLL that imports a function the loader
#   lacks is refused, naming it, with no pages run.
# MODE boundary: a callee that pops the wrong number of argument bytes is
#   caught, in each direction.
set -euo pipefail
mode="$1"; emulator="$2"; cpu="$3"; path="$4"; reference="$5"; shift 5
if [ ! -f "${@: -1}" ]; then
  echo "no DLL at '${@: -1}': build the windows-dll preset first" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
emulator_options=()

# Runs the loader; its output and errors land in $work/out and $work/err.
run() {
  local status=0
  "$emulator" -cpu "$cpu" "${emulator_options[@]}" "$@" > "$work/out" 2> "$work/err" ||
    status=$?
  return $status
}

fail() {
  echo "FAIL: $*" >&2
  sed 's/^/  loader: /' "$work/err" >&2
  exit 1
}

check_path() {
  grep -Eqx "vector path offered: ($path)" "$work/err" ||
    fail "the processor model '$cpu' does not offer the $path path"
}

# Instructions on ymm (or zmm) registers that the emulator translated from
# inside the image, whose place the loader reported.
vector_instructions() {
  perl -e '
    my ($register, $err, $log) = @ARGV;
    open(my $e, "<", $err) or die; my ($base, $size);
    while (<$e>) { ($base, $size) = (hex $1, hex $2) if /^image at 0x([0-9a-f]+), 0x([0-9a-f]+) bytes/ }
    defined $base or die "no image address reported\n";
    open(my $l, "<", $log) or die; my %seen;
    while (<$l>) {
      next unless /^0x([0-9a-f]+):.*%$register/;
      my $at = hex $1; $seen{$at} = 1 if $at >= $base && $at < $base + $size;
    }
    print scalar(keys %seen), "\n";' "$1" "$work/err" "$work/asm"
}

case "$mode" in
  digests)
    emulator_options=(-d in_asm -D "$work/asm")
    run "$@" || fail "the loader failed"
    check_path
    if ! diff -u "$reference" "$work/out"; then
      fail "the DLL's digests differ from the reference (- reference, + DLL)"
    fi
    ymm=$(vector_instructions ymm); zmm=$(vector_instructions zmm)
    case "$path" in
      portable) [ "$ymm" -eq 0 ] || fail "the portable run executed $ymm AVX2 instructions" ;;
      *) [ "$ymm" -gt 0 ] || fail "the vector run executed no AVX2 instruction of the DLL" ;;
    esac
    cat "$work/err"
    echo "the DLL's instructions on ymm registers that ran: $ymm; on zmm: $zmm"
    echo "digests match the reference: $(wc -l < "$work/out") lines"
    ;;

  failures)
    loader="$1"; dll="${@: -1}"
    # One injected failure: $1 is alloc or lock, $2 the call that fails.
    # Prints the page that failed.
    inject() {
      run "$loader" "--fail-$1" "$2" "$dll" || fail "$1 $2: the loader reported problems"
      local refused box
      refused=$(sed -n 's/^refused: \([0-9]*\) bytes$/\1/p' "$work/err")
      [ -n "$refused" ] || fail "$1 $2: no call was refused"
      box=$(grep '^message box:' "$work/err" || true)
      [ "$box" = "message box: owner 0, style 0, caption 'Alloc', text 'size = $refused'" ] ||
        fail "$1 $2: expected one 'Alloc' box with 'size = $refused', saw: $box"
      # Exactly one page differs from the reference, and it says why.
      paste -d '\n' <(head -n -1 "$reference") <(head -n -1 "$work/out") |
        awk -v what="$1 $2" '
          NR % 2 == 1 { expected = $0; next }
          $0 != expected {
            ++changed; page = $0
            if ($0 !~ / answered 257, /) { print what ": " $0 > "/dev/stderr"; bad = 1 }
          }
          END {
            if (changed != 1) { print what ": " changed + 0 " pages changed, not 1" > "/dev/stderr"; bad = 1 }
            if (bad) exit 1
            sub(/^[0-9a-f]+  /, "", page); print page
          }' > "$work/page" || fail "$1 $2: pages other than the failing one changed"
      [ "$(wc -l < "$work/out")" -eq "$(wc -l < "$reference")" ] || fail "$1 $2: pages missing"
      echo "$1 $2 (size $refused): $(cat "$work/page")"
    }
    first=$(head -n 1 "$reference" | sed 's/^[0-9a-f]*  \([^:]*\):.*/\1/')
    for n in $(seq 1 64); do
      line=$(inject alloc "$n")
      echo "$line"
      case "$line" in *": $first: "*) ;; *) break ;; esac
    done
    for n in 1 3 12; do inject lock "$n"; done
    ;;

  unknown-import)
    loader="$1"; dll="${@: -1}"
    # The same image importing "Sleeq" instead of "Sleep".
    perl -0777 -pe 's/Sleep\0/Sleeq\0/' "$dll" > "$work/inkdot.dll"
    cmp -s "$dll" "$work/inkdot.dll" && fail "the DLL imports no Sleep to rename"
    if run "$loader" "$work/inkdot.dll"; then fail "the loader ran a DLL with an unknown import"; fi
    grep -q "imports KERNEL32.dll!Sleeq, which the loader does not provide" "$work/err" ||
      fail "the refusal does not name the import"
    [ ! -s "$work/out" ] || fail "pages ran although the DLL could not be bound"
    cat "$work/err"
    ;;

  boundary)
    loader="$1"
    for direction in into out-of; do
      status=0
      run "$loader" --check-boundary "$direction" || status=$?
      [ "$status" -eq 3 ] || fail "a wrong cleanup $direction the DLL went unnoticed (exit $status)"
      grep -q "returned with the stack pointer -8 bytes off" "$work/err" ||
        fail "the report of a wrong cleanup $direction the DLL does not say how far off"
      cat "$work/err"
    done
    ;;

  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
