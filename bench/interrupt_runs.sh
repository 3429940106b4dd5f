#!/usr/bin/env bash
# Many interrupted rewrites of one output: each run is stopped by a signal at a random
# moment, and the output must then be the old file or the new one byte for byte, never a
# mix; after any signal but SIGKILL no new hidden file may be left (SIGKILL may leave
# one). Then the same for an output that may be written in a directory that may not
# (run as another user when this runs as root), where the new content is copied into
# the output at the end: SIGKILL is left out there, as it may come during the copy.
# Also runs pairs of conversions onto one output at once.
#   bench/interrupt_runs.sh [build-dir] [tries] [K] [L]
set -euo pipefail
set -m  # background runs keep SIGINT and SIGQUIT as they are, not ignored
ulimit -c 0  # SIGQUIT, SIGXCPU and SIGXFSZ would leave core files
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
chmod 755 "$work"
chmod 644 grid.u

bad=0 old=0 new=0 left=0
signals=(TERM INT HUP KILL USR1 USR2 ALRM PIPE XCPU XFSZ VTALRM PROF QUIT)
for ((n = 0; n < tries; n++)); do
  cp old.f out.f
  sig=${signals[n % ${#signals[@]}]}
  "$build/kvax.out" -o out.f grid.u > /dev/null &
  pid=$!
  sleep "0.$(printf '%03d' $((RANDOM % 80)))"
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

# The locked directory: as root, a user of its own (made when missing) runs the program.
as=()
if ((EUID == 0)); then
  id kvaxtest > /dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin kvaxtest 2> /dev/null || true
  if id kvaxtest > /dev/null 2>&1 && command -v setpriv > /dev/null; then
    as=(setpriv --reuid=kvaxtest --regid=kvaxtest --clear-groups)
  else
    as=(none)
  fi
fi
if [[ ${as[0]:-} == none ]]; then
  echo "locked directory: skipped (root, but no other user to run as)"
else
  mkdir locked
  cp old.f locked/out.f
  chmod 666 locked/out.f
  chmod 555 locked
  lold=0 lnew=0
  locked_signals=(TERM INT HUP USR1 USR2 ALRM PIPE XCPU XFSZ VTALRM PROF QUIT)
  for ((n = 0; n < tries; n++)); do
    cat old.f > locked/out.f
    sig=${locked_signals[n % ${#locked_signals[@]}]}
    "${as[@]}" "$build/kvax.out" -o locked/out.f grid.u > /dev/null &
    pid=$!
    sleep "0.$(printf '%03d' $((RANDOM % 120)))"
    kill -s "$sig" "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
      if cmp -s locked/out.f old.f; then lold=$((lold + 1))
    elif cmp -s locked/out.f new.f; then lnew=$((lnew + 1))
    else bad=$((bad + 1)); echo "MIXED in the locked directory after SIG$sig: $(stat -c %s locked/out.f) bytes"; fi
  done
  if [[ $(ls -A locked) != out.f ]]; then bad=$((bad + 1)); echo "files left in the locked directory"; fi
  chmod 755 locked
  echo "locked directory: $tries tries, $lold old, $lnew new"
fi

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
