#!/usr/bin/env bash
# Checks kvax as a package that other programs use:
#  1. installs the top-level build in BUILD_DIR into a scratch prefix, builds the
#     consumer examples/library with find_package(kvax), and runs it;
#  2. builds the same consumer with the kvax sources taken in by add_subdirectory, with
#     tests and benchmarks left out and GoogleTest hidden, and runs it;
#  3. builds a shared library on the installed archive and loads it at run time;
#  4. builds and runs the README's grid example (examples/grid), and a consumer through
#     pkg-config;
#  5. builds the library shared and checks its soname and kvax.out on it;
# and compares the consumers' outputs with kvax.out's conversions of the same grid.
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
for f in lib/libkvax.a include/kvax/kvax.h include/kvax/version.h include/kvax/io/statements.h include/kvax/grid.h \
         lib/cmake/kvax/kvaxConfig.cmake lib/cmake/kvax/kvaxConfigVersion.cmake bin/kvax.out \
         lib/pkgconfig/kvax.pc share/doc/kvax/LICENSE; do
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

# 3. A shared library on the installed (position-independent) archive, loaded at run time.
cmake -S "$root/examples/library/plugin" -B plugin -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build plugin -j2 >/dev/null
./plugin/load_plugin "$PWD/plugin/kvax_plugin.so" grid.u plugin.f
check "shared-library consumer, text" plugin.f kvax.f

# 4. The README's grid example: the same code as examples/grid, built and run.
sed -n '/^## Reading and writing grids in C++/,/^## /p' "$root/README.md" |
  sed -n '/^```cpp$/,/^```$/p' | sed '1d;$d' > readme_grid_flip.cpp
check "README grid example is examples/grid/grid_flip.cpp" readme_grid_flip.cpp "$root/examples/grid/grid_flip.cpp"
cmake -S "$root/examples/grid" -B grid -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build grid -j2 >/dev/null
./grid/grid_flip grid.u flipped.f > flip.out
echo "CMPX M    72 x 36    M2" > flip.expected
check "grid example lists the section" flip.out flip.expected
# kvax.out reads what the example wrote.
"$build/kvax.out" -f2u -o kvax_flipped.u flipped.f >/dev/null && pass=$((pass + 1)) || { echo "FAIL: kvax.out -f2u of the example's output"; fail=$((fail + 1)); }

# 4b. pkg-config finds the library from the installed kvax.pc.
if command -v pkg-config >/dev/null; then
  PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" \
    g++ -std=c++20 "$root/examples/grid/grid_flip.cpp" $(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs kvax) -o pc_flip
  ./pc_flip grid.u pc.f >/dev/null
  check "pkg-config consumer" pc.f flipped.f
fi

# 5. The library built shared: libkvax.so with its versioned soname, and kvax.out on it.
cmake -S "$root" -B shared -DBUILD_SHARED_LIBS=ON -DKVAX_TESTS=OFF -DKVAX_BENCH=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build shared -j2 >/dev/null
cmake --install shared --prefix "$work/shared-prefix" >/dev/null
version=$(sed -n 's/.*VERSION_STRING "\(.*\)"/\1/p' "$build/include/kvax/version.h")
soname=$(objdump -p "$work/shared-prefix/lib/libkvax.so" | awk '/SONAME/ {print $2}')
[[ $soname == libkvax.so.${version%.*} ]] && pass=$((pass + 1)) || { echo "FAIL: soname $soname"; fail=$((fail + 1)); }
"$work/shared-prefix/bin/kvax.out" -o shared.f grid.u >/dev/null
check "kvax.out on libkvax.so" shared.f kvax.f

echo "package: $pass passed, $fail failed"
(( fail == 0 ))
