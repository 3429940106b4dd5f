#!/usr/bin/env bash
# Times whole kvax.out runs on a 2160 x 1080 grid against cp and a printf/strtof
# baseline in the same run: median of 5 runs after one warm-up, ratios, peak memory.
#   bench/time_runs.sh [build-dir] [K] [L]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
K=${2:-2160}
L=${3:-1080}
work=$(mktemp -d /tmp/kvax-timing-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$build/bench/make_grid" "$K" "$L" grid.u > /dev/null
"$build/kvax.out" -o grid.f grid.u > /dev/null

# Median wall time in milliseconds of 5 runs after a warm-up.
median_ms() {
  "$@" > /dev/null 2>&1
  local t=()
  for _ in 1 2 3 4 5; do
    local a b
    a=$(date +%s%N)
    "$@" > /dev/null 2>&1
    b=$(date +%s%N)
    t+=($(( (b - a) / 1000 )))
  done
  printf '%s\n' "${t[@]}" | sort -n | sed -n 3p | awk '{printf "%.1f", $1 / 1000}'
}

peak_kb() {
  /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1
}

grid_mib=$(awk -v k="$K" -v l="$L" 'BEGIN {printf "%.1f", k * l * 8 / 1048576}')
printf 'grid %s x %s: %s MiB of cells, binary %s bytes, text %s bytes\n' "$K" "$L" "$grid_mib" \
  "$(stat -c %s grid.u)" "$(stat -c %s grid.f)"
printf '%-28s %10s %12s %10s\n' run "median ms" baseline "peak MiB"

row() {  # name, baseline name, baseline ms, command...
  local name=$1 bname=$2 bms=$3
  shift 3
  local ms kb
  ms=$(median_ms "$@")
  kb=$(peak_kb "$@")
  printf '%-28s %10s %12s %10.1f   %s = %.2f x\n' "$name" "$ms" "$bname" "$(awk -v k="$kb" 'BEGIN {print k / 1024}')" \
    "ratio to $bname" "$(awk -v a="$ms" -v b="$bms" 'BEGIN {print a / b}')"
}

cp_ms=$(median_ms cp grid.u copy.u)
pf_ms=$(median_ms "$build/bench/baseline_convert" u2f grid.u base.f)
st_ms=$(median_ms "$build/bench/baseline_convert" f2u grid.f base.u)
printf '%-28s %10s\n' "cp of the binary grid" "$cp_ms" "printf per value (u2f)" "$pf_ms" "strtof per value (f2u)" "$st_ms"
row "kvax.out -u2f" "printf" "$pf_ms" "$build/kvax.out" -u2f -o out.f grid.u
row "kvax.out -f2u" "strtof" "$st_ms" "$build/kvax.out" -f2u -o out.u grid.f
row "kvax.out -u2u -r -ch" "cp" "$cp_ms" "$build/kvax.out" -u2u -r -ch -o out2.u grid.u
