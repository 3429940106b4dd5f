#!/usr/bin/env bash
# Many interrupted rewrites of one output: each run is stopped by a signal at a random
# moment, and the output must then be the old file or the new one byte for byte, never a
# mix; after SIGTERM, SIGINT or SIGHUP no new hidden file may be left (SIGKILL may leave
# one). Also runs pairs of conversions onto one output at once.
#   bench/interrupt_runs.sh [build-dir] [tries] [K] [L]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
tries=${2:-200}
K=${3:-2160}
L=${4:-1080}
work=$(mktemp -d /tmp/kvax-interrupt-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$build/bench/make_grid" "$K" "$L" grid.u > /dev/null
"$build/bench/make_grid" "$K" "$L" other.u u S2 > /dev/null
"$build/kvax.out" -o new.f grid.u > /dev/null
"$build/kvax.out" -l2 -o other.f other.u > /dev/null
echo "old output" > old.f

bad=0 old=0 new=0 left=0
signals=(TERM INT HUP KILL)
for ((n = 0; n < tries; n++)); do
  cp old.f out.f
  sig=${signals[n % 4]}
  "$build/kvax.out" -o out.f grid.u > /dev/null &
  pid=$!
  sleep "0.0$(printf '%03d' $((RANDOM % 80)))"
  kill -s "$sig" "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  if cmp -s out.f old.f; then old=$((old + 1))
  elif cmp -s out.f new.f; then new=$((new + 1))
  else bad=$((bad + 1)); echo "MIXED after SIG$sig: $(stat -c %s out.f) bytes"; fi
  hidden=$(find . -maxdepth 1 -name '.out.f.kvax-*' | wc -l)
  if ((hidden > 0)); then
    if [[ $sig != KILL ]]; then bad=$((bad + 1)); echo "hidden file left after SIG$sig"; fi
    left=$((left + 1))
    rm -f .out.f.kvax-*
  fi
done
echo "interrupted rewrites: $tries tries, $old old, $new new, $bad mixed or left behind; SIGKILL left $left hidden files"

mixed=0
for ((n = 0; n < tries / 10; n++)); do
  "$build/kvax.out" -o out.f grid.u > /dev/null &
  a=$!
  "$build/kvax.out" -o out.f other.u > /dev/null &
  b=$!
  wait "$a" "$b"
  if ! cmp -s out.f new.f && ! cmp -s out.f other.f; then mixed=$((mixed + 1)); fi
done
echo "concurrent runs: $((tries / 10)) pairs, $mixed mixed"
((bad == 0 && mixed == 0))
