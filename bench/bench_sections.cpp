// A 2160 x 1080 section written and read in each representation: complex cells, REAL
// values and FLAG integers, in MB/s of file bytes and in grid elements per second (a
// complex cell is one element of two values), with a plain memory copy of the grid as
// the yardstick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "testing.h"

namespace {

constexpr int K = 2160, L = 1080;
constexpr std::size_t elements = static_cast<std::size_t>(K) * L;

// Element values like those of a tide grid: amplitudes and phases, land flags.
template <class T>
std::vector<T> grid() {
  std::vector<T> g(elements);
  for (std::size_t i = 0; i < g.size(); ++i) {
    if constexpr (std::is_same_v<T, kvax::Cell>) {
      g[i] = kvax::Cell(std::sin(0.001f * i) * 0.8f, std::cos(0.0007f * i) * 0.05f);
    } else if constexpr (std::is_same_v<T, float>) {
      g[i] = std::sin(0.001f * i) * 0.8f;
    } else {
      g[i] = static_cast<kvax::Flag>((i * 7919) % 1000) - 10;
    }
  }
  return g;
}

// Report lines go to a string that is emptied now and then.
std::string& sink() {
  static std::string s;
  if (s.size() > (1 << 20)) s.clear();
  return s;
}

std::string file_name(bool formatted) { return formatted ? "/tmp/kvax-bench-section.f" : "/tmp/kvax-bench-section.u"; }

template <class T>
void write_section(bool formatted, const std::vector<T>& g) {
  const std::string file = file_name(formatted);
  kvax::open_unit(31, kvax::OpenSpec{.file = file, .form = formatted ? "FORMATTED" : "UNFORMATTED"});
  if constexpr (std::is_same_v<T, kvax::Cell>) {
    formatted ? kvax::outzm_f(31, g, K, L, "M", "M2") : kvax::outzm(31, g, K, L, "M", "M2");
  } else if constexpr (std::is_same_v<T, float>) {
    formatted ? kvax::outrm_f(31, g, K, L, "M") : kvax::outrm(31, g, K, L, "M");
  } else {
    formatted ? kvax::outim_f(31, g, K, L, "M") : kvax::outim(31, g, K, L, "M");
  }
  kvax::close_unit(31);
}

template <class T>
void read_section(bool formatted, std::vector<T>& g) {
  const std::string file = file_name(formatted);
  kvax::open_unit(21, kvax::OpenSpec{.file = file, .status = "OLD", .form = formatted ? "FORMATTED" : "UNFORMATTED"});
  kvax::Text typ = kvax::text(".", 1), tag = kvax::text("..", 4);
  if constexpr (std::is_same_v<T, kvax::Cell>) {
    formatted ? kvax::getzm_f(21, g, K, L, typ, tag) : kvax::getzm(21, g, K, L, typ, tag);
  } else if constexpr (std::is_same_v<T, float>) {
    formatted ? kvax::getrm_f(21, g, K, L, typ) : kvax::getrm(21, g, K, L, typ);
  } else {
    formatted ? kvax::getim_f(21, g, K, L, typ) : kvax::getim(21, g, K, L, typ);
  }
  kvax::close_unit(21);
}

std::int64_t file_size(bool formatted) {
  std::FILE* f = std::fopen(file_name(formatted).c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fclose(f);
  return n;
}

template <class T>
void BM_Write(benchmark::State& state) {
  kvax::capture_standard_output(&sink());
  const bool formatted = state.range(0) != 0;
  const auto g = grid<T>();
  for (auto _ : state) write_section(formatted, g);
  state.SetBytesProcessed(state.iterations() * file_size(formatted));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(elements));
  kvax::capture_standard_output(nullptr);
}

template <class T>
void BM_Read(benchmark::State& state) {
  kvax::capture_standard_output(&sink());
  const bool formatted = state.range(0) != 0;
  const auto g = grid<T>();
  write_section(formatted, g);
  std::vector<T> back(g.size());
  for (auto _ : state) read_section(formatted, back);
  state.SetBytesProcessed(state.iterations() * file_size(formatted));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(elements));
  kvax::capture_standard_output(nullptr);
}

BENCHMARK(BM_Write<kvax::Cell>)->Name("BM_Write/Complex")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<kvax::Cell>)->Name("BM_Read/Complex")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write<float>)->Name("BM_Write/Real")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<float>)->Name("BM_Read/Real")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write<kvax::Flag>)->Name("BM_Write/Flag")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read<kvax::Flag>)->Name("BM_Read/Flag")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_MemoryCopyOfTheGrid(benchmark::State& state) {
  const auto g = grid<kvax::Cell>();
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
