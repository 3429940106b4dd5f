#!/usr/bin/env bash
# Checks the includes of the library against tools/layers.txt: none runs from a lower
# layer to a higher one, none between two folders of one layer, and no folder includes
# another folder's private headers (those beside the sources in src/). Prints every
# offending line and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A level
n=0
while read -r line; do
  line=${line%%#*}
  [[ -z ${line// } ]] && continue
  for folder in $line; do level[$folder]=$n; done
  n=$((n + 1))
done < tools/layers.txt

bad=0
while IFS= read -r file; do
  case $file in
    include/kvax/*) rest=${file#include/kvax/} ;;
    src/*) rest=${file#src/} ;;
  esac
  [[ $rest == */* ]] || continue
  from=${rest%%/*}
  if [[ -z ${level[$from]+x} ]]; then
    echo "$file: folder '$from' is not in tools/layers.txt"; bad=1; continue
  fi
  while IFS= read -r inc; do
    target=$(sed -E 's/^#include [<"](kvax\/)?([^/>"]+)\/.*$/\2/' <<<"$inc")
    [[ $target == "$inc" || $target == version.h ]] && continue
    if [[ $inc == '#include "'* && $target != "$from" ]]; then
      echo "$file: $from includes a private header of $target: $inc"; bad=1; continue
    fi
    [[ -z ${level[$target]+x} || $target == "$from" ]] && continue
    if (( level[$target] > level[$from] )); then
      echo "$file: $from includes the higher layer $target: $inc"; bad=1
    elif (( level[$target] == level[$from] )); then
      echo "$file: $from includes $target, which shares its layer: $inc"; bad=1
    fi
  done < <(grep -E '^#include (<kvax/|")' "$file" || true)
done < <(git ls-files -co --exclude-standard 'src/*.h' 'src/*.cpp' 'include/kvax/*.h')
if (( bad )); then exit 1; fi
echo "layers: every include runs to a lower layer or within its folder's own layer, no private header across folders"
