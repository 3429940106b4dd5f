#!/usr/bin/env bash
# Times whole kvax.out runs on a 2160 x 1080 grid against cp to a fresh name, a
# printf/strtof baseline and (where gfortran is here) the GNU Fortran runtime's formatted
# I/O, all in the same run: median of 5 runs after one warm-up, ratios, peak memory; a
# 36 x 18 grid against /bin/true; and the peak memory on a grid twice as wide and high
# (KVAX_LARGE=0 leaves that out).
#   bench/time_runs.sh [build-dir] [K] [L]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
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
    a=${EPOCHREALTIME/./}  # microseconds, read without starting a process
    "$@" > /dev/null 2>&1
    b=${EPOCHREALTIME/./}
    t+=($((b - a)))
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

# cp to a name that does not exist yet (cp over an existing file also pays a truncation).
cp_fresh() { rm -f fresh.u; cp grid.u fresh.u; }
cp_ms=$(median_ms cp_fresh)
pf_ms=$(median_ms "$build/bench/baseline_convert" u2f grid.u base.f)
st_ms=$(median_ms "$build/bench/baseline_convert" f2u grid.f base.u)
printf '%-28s %10s\n' "cp to a fresh name" "$cp_ms" "printf per value (u2f)" "$pf_ms" "strtof per value (f2u)" "$st_ms"
# The GNU Fortran runtime doing the same formatted write and read, where gfortran is here.
gf_u2f='' gf_f2u=''
if command -v gfortran > /dev/null 2>&1 &&
   gfortran -O2 -o fortran_convert "$here/fortran_convert.f90" 2> /dev/null; then
  gf_u2f=$(median_ms ./fortran_convert u2f grid.u gf.f)
  gf_f2u=$(median_ms ./fortran_convert f2u grid.f gf.u)
  printf '%-28s %10s\n' "gfortran formatted write" "$gf_u2f" "gfortran formatted read" "$gf_f2u"
else
  echo "(no gfortran here: the GNU Fortran baselines are left out)"
fi
row "kvax.out -u2f" "printf" "$pf_ms" "$build/kvax.out" -u2f -o out.f grid.u
row "kvax.out -f2u" "strtof" "$st_ms" "$build/kvax.out" -f2u -o out.u grid.f
row "kvax.out -u2u -r -ch" "cp fresh" "$cp_ms" "$build/kvax.out" -u2u -r -ch -o out2.u grid.u
if [[ -n $gf_u2f ]]; then
  awk -v a="$gf_u2f" -v b="$(median_ms "$build/kvax.out" -u2f -o out.f grid.u)" \
    'BEGIN {printf "%-28s %10.1f x faster\n", "kvax.out -u2f vs gfortran", a / b}'
  awk -v a="$gf_f2u" -v b="$(median_ms "$build/kvax.out" -f2u -o out.u grid.f)" \
    'BEGIN {printf "%-28s %10.1f x faster\n", "kvax.out -f2u vs gfortran", a / b}'
fi

# A small grid: the cost of starting and ending a run, against a program that does nothing.
"$build/bench/make_grid" 36 18 small.u > /dev/null
true_ms=$(median_ms /bin/true)
printf '%-28s %10s\n' "/bin/true" "$true_ms"
row "kvax.out 36 x 18 -u2f" "/bin/true" "$true_ms" "$build/kvax.out" -u2f -o small.f small.u

# A file of ten sections (--all), against ten times the single conversion.
for _ in 1 2 3 4 5 6 7 8 9 10; do cat grid.u; done > ten.u
one_ms=$(median_ms "$build/kvax.out" -u2f -o out.f grid.u)
row "kvax.out --all -u2f, 10 sections" "10 x one" "$(awk -v a="$one_ms" 'BEGIN {print 10 * a}')" \
  "$build/kvax.out" --all -u2f -o ten.f ten.u

# Peak resident memory does not grow with the grid: the rows stream.
if [[ ${KVAX_LARGE:-1} == 1 ]]; then
  "$build/bench/make_grid" $((2 * K)) $((2 * L)) large.u > /dev/null
  "$build/kvax.out" -o large.f large.u > /dev/null
  for args in "-u2f -o lo.f large.u" "-f2u -o lo.u large.f" "-u2u -r -ch -o lo2.u large.u"; do
    # shellcheck disable=SC2086
    printf '%-28s %10s %12s %10.1f\n' "kvax.out ${args%% -o*} $((2 * K))x$((2 * L))" "" "" \
      "$(awk -v k="$(peak_kb "$build/kvax.out" $args)" 'BEGIN {print k / 1024}')"
  done
fi
