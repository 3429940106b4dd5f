# Timing helpers of the bench scripts (sourced): each pair of commands is measured in turns,
# N runs each after a warm-up, in the current directory; WARM names the inputs read into
# the page cache before each run.

# Median wall time in milliseconds of the runs in $1 (microseconds, one per line).
median() { sort -n "$1" | awk '{t[NR] = $1} END {printf "%.1f", t[int((NR + 1) / 2)] / 1000}'; }

# Runs two commands (strings for eval) in turns, N times each after a warm-up; sets
# A_MS and B_MS to their medians. A command may start with "PREP ;; ": PREP runs before
# each run, untimed (removing the old output for a fresh name). WARM names the inputs read
# into the page cache before each run (grid.u grid.f).
timed() {  # command, file of times
  local prep='' cmd=$1 t0 t1
  if [[ $cmd == *' ;; '* ]]; then
    prep=${cmd%% ;; *}
    cmd=${cmd#* ;; }
  fi
  [[ -z $prep ]] || eval "$prep" > /dev/null 2>&1
  # The disk settled: what the run before wrote and freed is on it, so that no run pays
  # for the writing-out of the one before. The inputs in the page cache (this machine's
  # kernel reclaims cold pages as it goes).
  sync
  cat ${WARM:-grid.u grid.f} > /dev/null
  t0=${EPOCHREALTIME/./}
  eval "$cmd" > /dev/null 2>&1
  t1=${EPOCHREALTIME/./}
  echo $((t1 - t0)) >> "$2"
}
pair() {
  local run_
  timed "$1" /dev/null
  timed "$2" /dev/null
  : > a.times
  : > b.times
  for ((run_ = 0; run_ < N; run_++)); do
    timed "$1" a.times
    timed "$2" b.times
  done
  A_MS=$(median a.times)
  B_MS=$(median b.times)
}

peak_mib() {
  /usr/bin/time -f '%M' "$@" 2>&1 > /dev/null | tail -n 1 | awk '{printf "%.1f", $1 / 1024}'
}

# name, kvax command, baseline name, baseline command: one line of the table.
row() {
  pair "$2" "$4"
  printf '%-34s %9s ms   %-30s %9s ms   ratio %6.3f\n' "$1" "$A_MS" "$3" "$B_MS" \
    "$(awk -v a="$A_MS" -v b="$B_MS" 'BEGIN {print a / b}')"
}
