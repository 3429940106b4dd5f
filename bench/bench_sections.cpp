// A 2160 x 1080 complex section written and read in each representation, in MB/s of
// file bytes, with a plain memory copy of the grid as the yardstick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/io/units.h>

namespace {

constexpr int K = 2160, L = 1080;

std::vector<kvax::Cell> grid() {
  std::vector<kvax::Cell> g(static_cast<std::size_t>(K) * L);
  for (std::size_t i = 0; i < g.size(); ++i)
    g[i] = kvax::Cell(std::sin(0.001f * i) * 0.8f, std::cos(0.0007f * i) * 0.05f);
  return g;
}

// Report lines go to a string that is emptied now and then.
std::string& sink() {
  static std::string s;
  if (s.size() > (1 << 20)) s.clear();
  return s;
}

const std::string file_u = "/tmp/kvax-bench-section.u", file_f = "/tmp/kvax-bench-section.f";

void write_section(bool formatted, const std::vector<kvax::Cell>& g) {
  kvax::open_unit(31, kvax::OpenSpec{.file = formatted ? file_f : file_u, .form = formatted ? "FORMATTED" : "UNFORMATTED"});
  if (formatted) {
    kvax::outzm_f(31, g, K, L, "M", "M2");
  } else {
    kvax::outzm(31, g, K, L, "M", "M2");
  }
  kvax::close_unit(31);
}

void BM_Write(benchmark::State& state) {
  kvax::capture_standard_output(&sink());
  const bool formatted = state.range(0) != 0;
  const auto g = grid();
  for (auto _ : state) write_section(formatted, g);
  state.SetBytesProcessed(state.iterations() * (formatted ? 56453802 : 18671067));
  kvax::capture_standard_output(nullptr);
}
BENCHMARK(BM_Write)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Read(benchmark::State& state) {
  kvax::capture_standard_output(&sink());
  const bool formatted = state.range(0) != 0;
  const auto g = grid();
  write_section(formatted, g);
  std::vector<kvax::Cell> back(g.size());
  for (auto _ : state) {
    kvax::open_unit(21, kvax::OpenSpec{.file = formatted ? file_f : file_u, .status = "OLD",
                                       .form = formatted ? "FORMATTED" : "UNFORMATTED"});
    kvax::Text typ = kvax::text(".", 1), tag = kvax::text("..", 4);
    if (formatted) {
      kvax::getzm_f(21, back, K, L, typ, tag);
    } else {
      kvax::getzm(21, back, K, L, typ, tag);
    }
    kvax::close_unit(21);
  }
  state.SetBytesProcessed(state.iterations() * (formatted ? 56453802 : 18671067));
  kvax::capture_standard_output(nullptr);
}
BENCHMARK(BM_Read)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_MemoryCopyOfTheGrid(benchmark::State& state) {
  const auto g = grid();
  std::vector<kvax::Cell> back(g.size());
  for (auto _ : state) {
    std::memcpy(back.data(), g.data(), g.size() * sizeof(kvax::Cell));
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(g.size() * sizeof(kvax::Cell)));
}
BENCHMARK(BM_MemoryCopyOfTheGrid)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
