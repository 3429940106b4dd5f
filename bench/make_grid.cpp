// make_grid: writes a K x L complex section with a smooth tide-like pattern, through the
// library's own writers, for the examples and the timing runs.
//   make_grid K L file [u|f] [tag]
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/units.h>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_grid K L file [u|f] [tag]\n");
    return 2;
  }
  const int k = std::atoi(argv[1]), l = std::atoi(argv[2]);
  const std::string file = argv[3];
  const bool formatted = argc > 4 && argv[4][0] == 'f';
  const std::string tag = argc > 5 ? argv[5] : "M2";
  std::vector<std::complex<float>> grid(static_cast<std::size_t>(k) * static_cast<std::size_t>(l));
  const double pi = std::acos(-1.0);
  for (int j = 0; j < l; ++j) {
    const double lat = pi * ((j + 0.5) / l - 0.5);
    for (int i = 0; i < k; ++i) {
      const double lon = 2 * pi * i / k;
      // Land (a band of cells) is zero; the sea has an amplitude of centimetres to a metre.
      const bool land = std::sin(3 * lon) * std::cos(2 * lat) > 0.7;
      const double amp = land ? 0.0 : 0.02 + 0.9 * std::pow(std::cos(lat), 2) * (0.5 + 0.5 * std::sin(lon));
      const double phase = 2 * lon + 0.5 * std::sin(3 * lat);
      grid[static_cast<std::size_t>(i) + static_cast<std::size_t>(k) * static_cast<std::size_t>(j)] =
          std::complex<float>(static_cast<float>(amp * std::cos(phase)), static_cast<float>(amp * std::sin(phase)));
    }
  }
  try {
    kvax::set_length_tag_tide(static_cast<int>(tag.size()));
    const int rc = kvax::open_unit(31, kvax::OpenSpec{.file = file, .form = formatted ? "FORMATTED" : "UNFORMATTED"});
    if (rc != 0) {
      std::fprintf(stderr, "make_grid: cannot open %s: %s\n", file.c_str(), kvax::iostat_text(rc).c_str());
      return 1;
    }
    kvax::save_file_name(31, file);
    kvax::setver(1);
    if (formatted) {
      kvax::outzm_f(31, grid, k, l, "M", tag);
    } else {
      kvax::outzm(31, grid, k, l, "M", tag);
    }
    kvax::close_all_units();
  } catch (const kvax::FatalIo& f) {
    std::fputs(f.report().c_str(), stderr);
    return 255;
  }
  return 0;
}
