# SPDX-License-Identifier: Apache-2.0
# bash completion for inkdot: subcommands, each subcommand's options, the
# values of options that take a fixed set, and file names everywhere else.
_inkdot() {
  local cur prev sub i
  COMPREPLY=()
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  sub=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case "${COMP_WORDS[i]}" in
      print|preview|inspect|profile|chart) sub="${COMP_WORDS[i]}"; break ;;
    esac
  done

  case "$prev" in
    --dots) COMPREPLY=($(compgen -W "single variable" -- "$cur")); return ;;
    --method) COMPREPLY=($(compgen -W "diffusion screen dither midpoint" -- "$cur")); return ;;
    --format) COMPREPLY=($(compgen -W "tiff netpbm" -- "$cur")); return ;;
    --compression) COMPREPLY=($(compgen -W "fast deflate packbits none" -- "$cur")); return ;;
    --intent)
      COMPREPLY=($(compgen -W "perceptual relative saturation absolute" -- "$cur"))
      return ;;
    --kind)
      COMPREPLY=($(compgen -W "selectionTable colourTable channelMap referenceValues \
        calibrationCurves idList grid matrix palette" -- "$cur"))
      return ;;
    --profile) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --resolution|--size|--brightness|--contrast|--saturation|--gamma|--offsets|\
    --calibration|--preview-dpi|--input-dpi|--memory-limit|--ink-limit|-j|--jobs|--threads|--dpi|--crop|--channels)
      return ;;
  esac

  local options
  case "$sub" in
    "") options="--help --version print preview inspect profile chart" ;;
    print)
      options="--help --output --profile --resolution --dots --method --gray --brightness
        --contrast --saturation --gamma --offsets --tone-curves --calibration --preview
        --preview-dpi --input-dpi --input-profile --intent --black-point-compensation --bpc
        --jobs --threads --format --compression --memory-limit --quiet" ;;
    preview) options="--help --output --dpi --crop --profile --memory-limit" ;;
    inspect) options="--help --kind --channels" ;;
    profile) options="--help build target --output --icc --measurements --intent --no-bpc
        --ink-limit" ;;
    chart) options="--help --output --size" ;;
  esac
  if [[ -z "$sub" || "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _inkdot inkdot
