// Grid rows through the record layer: one WRITE per row under "(1p,10e12.4,:)" and one
// READ per row under "(10e12.6)", against a printf/strtof-per-value loop measured in
// the same run.
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

namespace {

constexpr int cells = 2160;  // one row of a 1/6-degree global grid

std::vector<std::complex<float>> realistic_row() {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> mag(-3.0f, 3.0f);
  std::uniform_int_distribution<int> pick(0, 9);
  std::vector<std::complex<float>> row(cells);
  for (auto& c : row) {
    auto one = [&] {
      if (pick(gen) == 0) return 0.0f;  // land cells are zero
      const float v = std::pow(10.0f, mag(gen));
      return pick(gen) < 5 ? -v : v;
    };
    c = {one(), one()};
  }
  return row;
}

std::string scratch(const char* name) { return std::string("/tmp/kvax-bench-") + name; }

void BM_WriteRow(benchmark::State& state) {
  const auto row = realistic_row();
  kvax::open_unit(31, kvax::OpenSpec{.file = scratch("rows.f")});
  for (auto _ : state) {
    kvax::OutputStatement st(31, "(1p,10e12.4,:)");
    st.items(std::span<const std::complex<float>>(row));
    st.finish();
    kvax::rewind_unit(31);
  }
  kvax::close_unit(31);
  state.SetItemsProcessed(state.iterations() * 2 * cells);
}
BENCHMARK(BM_WriteRow);

void BM_WriteRowPrintfBaseline(benchmark::State& state) {
  const auto row = realistic_row();
  std::vector<char> line(32 * cells);
  for (auto _ : state) {
    char* p = line.data();
    const float* v = reinterpret_cast<const float*>(row.data());
    for (int i = 0; i < 2 * cells; ++i) p += std::snprintf(p, 16, "%12.4E", static_cast<double>(v[i]));
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations() * 2 * cells);
}
BENCHMARK(BM_WriteRowPrintfBaseline);

void BM_ReadRow(benchmark::State& state) {
  const auto row = realistic_row();
  const std::string file = scratch("rows-in.f");
  kvax::open_unit(31, kvax::OpenSpec{.file = file});
  {
    kvax::OutputStatement st(31, "(1p,10e12.4,:)");
    st.items(std::span<const std::complex<float>>(row));
    st.finish();
  }
  kvax::close_unit(31);
  kvax::open_unit(21, kvax::OpenSpec{.file = file, .status = "OLD"});
  std::vector<std::complex<float>> back(cells);
  for (auto _ : state) {
    kvax::InputStatement st(21, kvax::want_none, "(10e12.6)");
    st.items(std::span<std::complex<float>>(back));
    st.finish();
    kvax::rewind_unit(21);
  }
  kvax::close_unit(21);
  state.SetItemsProcessed(state.iterations() * 2 * cells);
}
BENCHMARK(BM_ReadRow);

void BM_ReadRowStrtofBaseline(benchmark::State& state) {
  const auto row = realistic_row();
  std::string text;
  char field[16];
  const float* v = reinterpret_cast<const float*>(row.data());
  for (int i = 0; i < 2 * cells; ++i) {
    std::snprintf(field, sizeof field, "%12.4E", static_cast<double>(v[i]));
    text += field;
  }
  std::vector<float> back(2 * cells);
  for (auto _ : state) {
    for (int i = 0; i < 2 * cells; ++i) {
      char f[13];
      std::memcpy(f, text.data() + 12 * i, 12);
      f[12] = 0;
      back[static_cast<std::size_t>(i)] = std::strtof(f, nullptr);
    }
    benchmark::DoNotOptimize(back.data());
  }
  state.SetItemsProcessed(state.iterations() * 2 * cells);
}
BENCHMARK(BM_ReadRowStrtofBaseline);

}  // namespace

BENCHMARK_MAIN();
