#!/usr/bin/env bash
# Runs the fuzz targets one after another, one process at a time.
#
#   fuzz/run.sh BUILD_DIR SECONDS [OUT_DIR] [TARGET...]
#
# Each target runs SECONDS seconds on its seed corpus (fuzz/corpus/<target>, only read)
# and its working corpus OUT_DIR/corpus/<target>, which keeps what it finds for the next
# run. A crash, a sanitizer report, an input slower than 1 s, memory beyond the limits or
# a leak ends the target with a reproducer in OUT_DIR/artifacts/<target>/ and makes this
# script fail; a STOP or a fatal report of the library is a normal end of an input.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(realpath "${1:?build directory}")"
seconds="${2:?seconds per target}"
# The targets work in a scratch directory of their own: every path given them is absolute.
out="$(realpath -m "${3:-$here/out}")"
shift $(( $# < 3 ? $# : 3 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(unformatted_sections formatted_sections typed_sections tide_components edit_format edit_runs scan_fields format_floats list_input envars openf_spec scan_text label_location conversion_run grid_sections)

export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
failed=0
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "fuzz: $bin not built"; failed=1; continue; }
  mkdir -p "$out/corpus/$t" "$out/artifacts/$t"
  echo "fuzz: $t for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -malloc_limit_mb=512 \
      -max_len=65536 -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$out/artifacts/$t/" "$out/corpus/$t" "$here/corpus/$t" > "$out/$t.log" 2>&1; then
    echo "fuzz: $t FAILED; last lines of $out/$t.log:"
    tail -n 40 "$out/$t.log"
    failed=1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$out/$t.log" | sed "s/^/fuzz: $t /"
done
exit $failed
