// Per-value cost of the editing functions on grid-like values, beside the C library.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "io/edit_input.h"
#include "io/edit_output.h"
#include "io/format_floats.h"
#include "io/scan_fields.h"

namespace {

constexpr int batch = 4096;

// Magnitudes 1e-3 to 1e3, both signs, one value in ten zero (land in an ocean grid), the
// zeros and signs at random places so that a branch on either would mispredict as it does
// on real grids.
std::vector<float> grid_values() {
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> exponent(-3, 3);
  std::vector<float> v(batch);
  for (int i = 0; i < batch; ++i) {
    const float x = std::pow(10.0f, exponent(rng));
    v[static_cast<std::size_t>(i)] = rng() % 10 == 0 ? 0.0f : (rng() & 1 ? x : -x);
  }
  return v;
}

// The same values as 12-column fields, as the writer leaves them.
std::vector<char> grid_fields() {
  const auto v = grid_values();
  std::vector<char> text(batch * 13);
  for (int i = 0; i < batch; ++i)
    std::snprintf(&text[static_cast<std::size_t>(i) * 13], 13, "%12.4E",
                  static_cast<double>(v[static_cast<std::size_t>(i)]));
  return text;
}

kvax::DataEdit edit(char kind, int w, int d, int k) {
  kvax::DataEdit e;
  e.kind = kind;
  e.width = w;
  e.digits = d;
  e.scale = k;
  return e;
}

void BM_out_real_float_1pE12_4(benchmark::State& state) {
  const auto v = grid_values();
  const kvax::DataEdit e = edit('E', 12, 4, 1);
  std::vector<char> out(batch * 12);
  for (auto _ : state) {
    char* p = out.data();
    for (float x : v) p += kvax::out_real(p, e, x);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_out_real_float_1pE12_4);

// The same values as one run under the repeated edit, as a row statement edits them.
void BM_out_reals_float_1pE12_4(benchmark::State& state) {
  const auto v = grid_values();
  const kvax::DataEdit e = edit('E', 12, 4, 1);
  std::vector<char> out(batch * 12);
  for (auto _ : state) {
    kvax::out_reals(out.data(), e, v.data(), v.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_out_reals_float_1pE12_4);

// The same run on each path the machine has (0 scalar, 1 AVX-512), side by side.
void BM_out_reals_float_1pE12_4_path(benchmark::State& state) {
  const auto path = static_cast<kvax::FormatPath>(state.range(0));
  if (!kvax::set_format_path(path)) {
    state.SkipWithError("this machine lacks the path");
    return;
  }
  BM_out_reals_float_1pE12_4(state);
  kvax::set_format_path(kvax::best_format_path());
}
BENCHMARK(BM_out_reals_float_1pE12_4_path)->Arg(0)->Arg(1);

// The same run laid out as the writer's lines of ten fields, each with its line feed.
void BM_float_lines_1pE12_4(benchmark::State& state) {
  const auto v = grid_values();
  const kvax::DataEdit e = edit('E', 12, 4, 1);
  std::vector<char> out(batch * 12 + batch / 10 + 1);
  for (auto _ : state) {
    if (!kvax::format_float_lines(out.data(), e, v.data(), v.size(), 10, kvax::out_real)) {
      state.SkipWithError("no vector path on this machine");
      return;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_float_lines_1pE12_4);

void BM_snprintf_E12_4(benchmark::State& state) {
  const auto v = grid_values();
  std::vector<char> out(batch * 12 + 1);
  for (auto _ : state) {
    char* p = out.data();
    for (float x : v) p += std::snprintf(p, 13, "%12.4E", static_cast<double>(x));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_snprintf_E12_4);

void BM_in_real_float_E12_6(benchmark::State& state) {
  const auto text = grid_fields();
  const kvax::DataEdit e = edit('E', 12, 6, 0);
  std::vector<float> v(batch);
  for (auto _ : state) {
    int rc = 0;
    for (int i = 0; i < batch; ++i)
      rc |= kvax::in_real(std::string_view(&text[static_cast<std::size_t>(i) * 13], 12), e,
                          v[static_cast<std::size_t>(i)]);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_in_real_float_E12_6);

void BM_in_reals_float_E12_6(benchmark::State& state) {
  const auto v0 = grid_values();
  std::vector<char> text(batch * 12);
  kvax::out_reals(text.data(), edit('E', 12, 4, 1), v0.data(), v0.size());
  const kvax::DataEdit e = edit('E', 12, 6, 0);
  std::vector<float> v(batch);
  for (auto _ : state) {
    std::size_t done = 0;
    const int rc = kvax::in_reals(text.data(), e, v.data(), v.size(), done);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_in_reals_float_E12_6);

// The same run on each path the machine has (0 scalar, 1 AVX2, 2 AVX-512), side by side;
// and fields of the 0P shape ("-.123456E+01", E12.6 as written) on the path in force.
void BM_in_reals_float_E12_6_path(benchmark::State& state) {
  const auto path = static_cast<kvax::ScanPath>(state.range(0));
  if (!kvax::set_scan_path(path)) {
    state.SkipWithError("this machine lacks the path");
    return;
  }
  BM_in_reals_float_E12_6(state);
  kvax::set_scan_path(kvax::best_scan_path());
}
BENCHMARK(BM_in_reals_float_E12_6_path)->Arg(0)->Arg(1)->Arg(2);

void BM_in_reals_float_E12_6_0p(benchmark::State& state) {
  const auto v0 = grid_values();
  std::vector<char> text(batch * 12);
  kvax::out_reals(text.data(), edit('E', 12, 6, 0), v0.data(), v0.size());
  const kvax::DataEdit e = edit('E', 12, 6, 0);
  std::vector<float> v(batch);
  for (auto _ : state) {
    std::size_t done = 0;
    const int rc = kvax::in_reals(text.data(), e, v.data(), v.size(), done);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_in_reals_float_E12_6_0p);

void BM_strtof(benchmark::State& state) {
  const auto text = grid_fields();
  std::vector<float> v(batch);
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      v[static_cast<std::size_t>(i)] =
          std::strtof(&text[static_cast<std::size_t>(i) * 13], nullptr);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_strtof);

void BM_out_real_double_1pD12_4(benchmark::State& state) {
  const auto f = grid_values();
  std::vector<double> v(f.begin(), f.end());
  for (auto& x : v) x *= 1.000000123;
  const kvax::DataEdit e = edit('D', 12, 4, 1);
  std::vector<char> out(batch * 12);
  for (auto _ : state) {
    char* p = out.data();
    for (double x : v) p += kvax::out_real(p, e, x);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_out_real_double_1pD12_4);

void BM_out_real_F10_1(benchmark::State& state) {
  const auto f = grid_values();
  const kvax::DataEdit e = edit('F', 10, 1, 0);
  std::vector<char> out(batch * 10);
  for (auto _ : state) {
    char* p = out.data();
    for (float x : f) p += kvax::out_real(p, e, x);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_out_real_F10_1);

}  // namespace

BENCHMARK_MAIN();
