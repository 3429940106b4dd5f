#!/usr/bin/env bash
# Times whole kvax.out runs on a 2160 x 1080 grid beside their baselines, each pair
# measured in turns (a run of one, a run of the other, ...) so that the machine's drift
# falls on both alike: median of N runs after one warm-up each, and their ratio.
#   - kvax writing a name that does not exist yet, beside the same baseline doing so
#     ("fresh": the old output is removed before each run, untimed, for both), and
#   - kvax replacing an existing output, beside the baseline writing over an existing
#     file ("over"): both pay for the old file's blocks and for ext4 starting to write
#     out the new data when a file is replaced (rename over it, or truncate and rewrite).
# Baselines: cp, a printf/strtof converter, the GNU Fortran runtime's formatted I/O
# (where gfortran is here); a 36 x 18 grid against /bin/true; ten sections with --all;
# and the peak memory, also on a grid twice as wide and high (KVAX_LARGE=0 leaves that
# out).
#   bench/time_runs.sh [build-dir] [K] [L]       (KVAX_RUNS=N: N runs a median, default 7)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
K=${2:-2160}
L=${3:-1080}
N=${KVAX_RUNS:-7}
work=$(mktemp -d /tmp/kvax-timing-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
kvax=$build/kvax.out

"$build/bench/make_grid" "$K" "$L" grid.u > /dev/null
"$kvax" -o grid.f grid.u > /dev/null

# median, timed, pair, peak_mib and row.
source "$here/timing.sh"

printf 'grid %s x %s: binary %s bytes, text %s bytes; medians of %s runs taken in turns\n' "$K" "$L" \
  "$(stat -c %s grid.u)" "$(stat -c %s grid.f)" "$N"

row "kvax -u2u -r -ch, fresh name" "rm -f o2.u ;; $kvax -u2u -r -ch -o o2.u grid.u" \
  "cp, fresh name" "rm -f c.u ;; cp grid.u c.u"
row "kvax -u2u -r -ch, over existing" "$kvax -u2u -r -ch -o o2.u grid.u" \
  "cp, over existing" "cp grid.u c.u"

have_gf=0
if command -v gfortran > /dev/null 2>&1 &&
   gfortran -O2 -o fortran_convert "$here/fortran_convert.f90" 2> /dev/null; then
  have_gf=1
else
  echo "(no gfortran here: the GNU Fortran baselines are left out)"
fi
for d in u2f f2u; do
  if [[ $d == u2f ]]; then in=grid.u out=o.f; else in=grid.f out=o.u; fi
  if ((have_gf)); then
    row "kvax -$d, fresh name" "rm -f $out ;; $kvax -$d -o $out $in" \
      "GNU Fortran, fresh name" "rm -f g.$d ;; ./fortran_convert $d $in g.$d"
    row "kvax -$d, over existing" "$kvax -$d -o $out $in" \
      "GNU Fortran, over existing" "./fortran_convert $d $in g.$d"
  fi
  if [[ $d == u2f ]]; then base="printf per value"; else base="strtof per value"; fi
  row "kvax -$d, over existing" "$kvax -$d -o $out $in" \
    "$base" "$build/bench/baseline_convert $d $in b.$d"
done

# A small grid: the cost of starting and ending a run, against a program that does nothing.
"$build/bench/make_grid" 36 18 small.u > /dev/null
N=$((N * 3)) row "kvax -u2f 36 x 18, over existing" "$kvax -u2f -o small.f small.u" "/bin/true" "/bin/true"

# A file of ten sections (--all), against ten single conversions (to fresh names: freeing
# 560 MB of old outputs waits on the disk, which says nothing of the program).
for _ in 1 2 3 4 5 6 7 8 9 10; do cat grid.u; done > ten.u
WARM="ten.u grid.u" row "kvax --all -u2f, 10 sections, fresh" "rm -f ten.f ;; $kvax --all -u2f -o ten.f ten.u" \
  "10 single -u2f runs, fresh" "rm -f o?.f ;; for s in 0 1 2 3 4 5 6 7 8 9; do $kvax -u2f -o o\$s.f grid.u; done"

# Peak resident memory does not grow with the grid: the rows stream.
printf '%-34s' "peak MiB (u2f f2u u2u -r -ch)"
printf ' %s' "$(peak_mib "$kvax" -u2f -o p.f grid.u)" "$(peak_mib "$kvax" -f2u -o p.u grid.f)" \
  "$(peak_mib "$kvax" -u2u -r -ch -o p2.u grid.u)"
echo "   at ${K}x$L"
if [[ ${KVAX_LARGE:-1} == 1 ]]; then
  "$build/bench/make_grid" $((2 * K)) $((2 * L)) large.u > /dev/null
  "$kvax" -o large.f large.u > /dev/null
  printf '%-34s' ""
  printf ' %s' "$(peak_mib "$kvax" -u2f -o lo.f large.u)" "$(peak_mib "$kvax" -f2u -o lo.u large.f)" \
    "$(peak_mib "$kvax" -u2u -r -ch -o lo2.u large.u)"
  echo "   at $((2 * K))x$((2 * L))"
fi
