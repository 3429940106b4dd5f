#!/usr/bin/env bash
# Times the grid layer's calls (bench/grid_tool) on a 2160 x 1080 grid beside kvax.out and
# the plain reading of a file's bytes, each pair measured in turns (bench/timing.sh): median
# of N runs after one warm-up each, and their ratio. Then the peak memory of a read beside
# the size of its values.
#   bench/grid_runs.sh [build-dir] [K] [L]       (KVAX_RUNS=N: N runs a median, default 7)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
K=${2:-2160}
L=${3:-1080}
N=${KVAX_RUNS:-7}
work=$(mktemp -d /tmp/kvax-grid-timing-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
kvax=$build/kvax.out
tool=$build/bench/grid_tool
source "$here/timing.sh"

"$build/bench/make_grid" "$K" "$L" grid.u > /dev/null
"$kvax" -o grid.f grid.u > /dev/null
cp grid.f grid2.f
printf 'grid %s x %s: binary %s bytes, text %s bytes; medians of %s runs taken in turns\n' "$K" "$L" \
  "$(stat -c %s grid.u)" "$(stat -c %s grid.f)" "$N"

row "read_sections, text" "$tool read grid.f" \
  "kvax -f2u, fresh name" "rm -f o.u ;; $kvax -f2u -o o.u grid.f"
row "read_sections, binary" "$tool read grid.u" \
  "the file's bytes into memory" "$tool bytes grid.u"
read_binary_ms=$A_MS
row "read + write_sections text, fresh" "rm -f w.f ;; $tool convert grid.u w.f f" \
  "kvax -u2f, fresh name" "rm -f o.f ;; $kvax -u2f -o o.f grid.u"
# write_sections alone: the run above less the read of the binary file measured before.
printf '%-34s %9s ms   %-30s %9s ms   ratio %6.3f\n' "write_sections text (difference)" \
  "$(awk -v a="$A_MS" -v r="$read_binary_ms" 'BEGIN {printf "%.1f", a - r}')" "kvax -u2f, fresh name" "$B_MS" \
  "$(awk -v a="$A_MS" -v r="$read_binary_ms" -v b="$B_MS" 'BEGIN {print (a - r) / b}')"
WARM="grid.f grid2.f" row "two text files on two threads" "$tool threads grid.f grid2.f" \
  "the same one after the other" "$tool serial grid.f grid2.f"
# The same within one process, the reads alone: whole programs above also time the start
# and the exit of the process, which no thread shares.
read -r pair_threads pair_serial pair_ratio < <("$tool" pair grid.f grid2.f "$N" 2>&1 >/dev/null)
printf '%-34s %9s ms   %-30s %9s ms   ratio %6.3f\n' "two threads, the reads alone" "$pair_threads" \
  "the same one after the other" "$pair_serial" "$pair_ratio"

# Peak resident memory of a read, beyond the program itself, against the values it holds.
values_mib=$(awk -v k="$K" -v l="$L" 'BEGIN {printf "%.1f", k * l * 8 / 1048576}')
base=$(peak_mib "$tool" none)
for f in grid.f grid.u; do
  peak=$(peak_mib "$tool" read $f)
  printf '%-34s %9s MiB   values %s MiB, program alone %s MiB: %s MiB beyond the values\n' \
    "peak of read_sections, $f" "$peak" "$values_mib" "$base" \
    "$(awk -v p="$peak" -v b="$base" -v v="$values_mib" 'BEGIN {printf "%.1f", p - b - v}')"
done
