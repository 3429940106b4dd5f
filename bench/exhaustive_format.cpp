// Every float bit pattern written by the vector path against the scalar path under 1P,Ew.d
// of the short shape: the fields byte for byte. Not a test (it takes minutes); run it after
// a change to src/io/format_floats.cpp:
//
//   build/bench/exhaustive_format        # 1P,E12.4 (n = 5 digits)
//   build/bench/exhaustive_format all    # also n = 3, 4, 6 and 7, each in n + 7 columns
//
// The patterns go as runs of 2^16 values, in order, so that every value meets the vectors
// (or declines to the exact path) and the zeros, subnormals, infinities and not-a-numbers
// come in runs of their own. Exit status 0 when nothing differs.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/edit_output.h"
#include "io/format_floats.h"

namespace {

constexpr std::size_t run = std::size_t{1} << 16;

long long check(int n) {
  kvax::DataEdit e;
  e.kind = 'E';
  e.digits = n - 1;
  e.width = n + 7;  // "  1.2345E+01" for n = 5
  e.scale = 1;
  const std::size_t w = static_cast<std::size_t>(e.width);
  std::vector<float> v(run);
  std::vector<char> want(run * w), got(run * w);
  long long differences = 0;
  for (std::uint64_t base = 0; base < (std::uint64_t{1} << 32); base += run) {
    for (std::size_t i = 0; i < run; ++i) {
      const auto bits = static_cast<std::uint32_t>(base + i);
      std::memcpy(&v[i], &bits, sizeof bits);
    }
    kvax::set_format_path(kvax::FormatPath::scalar);
    kvax::out_reals(want.data(), e, v.data(), run);
    kvax::set_format_path(kvax::FormatPath::avx512);
    kvax::out_reals(got.data(), e, v.data(), run);
    if (std::memcmp(want.data(), got.data(), want.size()) == 0) continue;
    for (std::size_t i = 0; i < run; ++i) {
      if (std::memcmp(&want[i * w], &got[i * w], w) == 0) continue;
      if (++differences <= 20)
        std::printf("DIFFERENT 1P,E%d.%d of 0x%08llx: scalar \"%.*s\", vector \"%.*s\"\n", e.width, e.digits,
                    static_cast<unsigned long long>(base + i), e.width, &want[i * w], e.width, &got[i * w]);
    }
  }
  std::printf("1P,E%d.%d: 2^32 values, %lld differences\n", e.width, e.digits, differences);
  std::fflush(stdout);
  return differences;
}

}  // namespace

int main(int argc, char** argv) {
  if (kvax::best_format_path() == kvax::FormatPath::scalar) {
    std::printf("no vector path on this machine: nothing to compare\n");
    return 0;
  }
  const bool all = argc > 1 && std::string(argv[1]) == "all";
  const auto start = std::chrono::steady_clock::now();
  long long differences = 0;
  for (int n = 3; n <= 7; ++n)
    if (all || n == 5) differences += check(n);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s in %.0f s\n", differences ? "DIFFERENCES FOUND" : "no differences", seconds);
  kvax::set_format_path(kvax::best_format_path());
  return differences ? 1 : 0;
}
