#!/usr/bin/env bash
# Checks kvax as a package that other programs use:
#  1. installs the top-level build in BUILD_DIR into a scratch prefix, builds the
#     consumer examples/library with find_package(kvax), and runs it;
#  2. builds the same consumer with the kvax sources taken in by add_subdirectory, with
#     tests and benchmarks left out and GoogleTest hidden, and runs it;
# and compares both consumers' outputs with kvax.out's conversions of the same grid.
#   tools/check_package.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$build/package-check
rm -rf "$work" && mkdir -p "$work"
pass=0 fail=0
check() {  # name, file a, file b
  if cmp -s "$2" "$3"; then pass=$((pass + 1)); else echo "FAIL: $1: $2 differs from $3"; fail=$((fail + 1)); fi
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in lib/libkvax.a include/kvax/kvax.h include/kvax/version.h include/kvax/io/statements.h \
         lib/cmake/kvax/kvaxConfig.cmake lib/cmake/kvax/kvaxConfigVersion.cmake bin/kvax.out; do
  if [[ -e $work/prefix/$f ]]; then pass=$((pass + 1)); else echo "FAIL: not installed: $f"; fail=$((fail + 1)); fi
done
if [[ -e $work/prefix/include/kvax/io/unit.h || -e $work/prefix/include/io ]]; then
  echo "FAIL: an implementation header was installed"; fail=$((fail + 1))
fi
[[ $("$work/prefix/bin/kvax.out" --version) == "kvax $(sed -n 's/.*VERSION_STRING "\(.*\)"/\1/p' "$build/include/kvax/version.h")" ]] \
  && pass=$((pass + 1)) || { echo "FAIL: kvax.out --version"; fail=$((fail + 1)); }

cd "$work"
"$build/bench/make_grid" 72 36 grid.u >/dev/null
"$build/kvax.out" -o kvax.f grid.u >/dev/null
"$build/kvax.out" -u2u -o kvax.u grid.u >/dev/null

# 1. The installed package.
cmake -S "$root/examples/library" -B installed -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build installed -j2 >/dev/null
./installed/kvax_copy grid.u installed.f installed.u >/dev/null
check "find_package consumer, text" installed.f kvax.f
check "find_package consumer, binary" installed.u kvax.u

# 2. The sources as a subproject, on a configuration that cannot find GoogleTest.
cmake -S "$root/examples/library/subproject" -B sub -DKVAX_CHECKOUT="$root" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
cmake --build sub -j2 >/dev/null
if grep '^KVAX_' sub/CMakeCache.txt | grep -qv '^KVAX_CHECKOUT:'; then
  echo "FAIL: kvax as a subproject wrote cache entries:"; grep '^KVAX_' sub/CMakeCache.txt; fail=$((fail + 1))
fi
./sub/kvax_copy grid.u sub.f sub.u >/dev/null
check "add_subdirectory consumer, text" sub.f kvax.f
check "add_subdirectory consumer, binary" sub.u kvax.u

echo "package: $pass passed, $fail failed"
(( fail == 0 ))
