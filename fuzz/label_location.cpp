// Label location (qloc_in_file with the end-of-input marker and the label column) on
// arbitrary files, labels and option strings.
//
// Input: byte 1: lines read before the search (low 3 bits), the end-of-input column (high
// 5 bits, 0 switches the marker off); byte 2: the label column; then a line with the
// option string, a line with the label, a line with the end-of-input marker, and the rest
// is the file. Each input searches twice on one unit, the second time from where the
// first left it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/scan/label_location.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"
#include "testing.h"

using namespace kvax;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  fuzz::fixed_environment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8();
  const std::string_view options = in.line();
  const std::string_view label = in.line();
  const std::string_view marker = in.line();
  const std::string_view file = in.rest();
  fuzz::write_file("labels.txt", file);
  // A line per line feed, and one more for a last line without one.
  const long lines = static_cast<long>(std::count(file.begin(), file.end(), '\n')) + 1;

  const int status = fuzz::guarded([&] {
    OpenSpec spec;
    spec.file = "labels.txt";
    spec.status = "OLD";
    if (open_unit(10, spec) != 0) std::abort();
    Text line(64, ' ');
    for (unsigned k = 0; k < (a & 7); ++k) read_fmt(10, want_end, "(A)", line);
    qeoi_in_file(marker, static_cast<int>(a >> 3));
    qcolloc_in_file(static_cast<int>(b));
    for (int pass = 0; pass < 2; ++pass) {
      const bool found = qloc_in_file(10, label, options);
      if (located_in_file() < 0 || located_in_file() > lines) std::abort();
      // Found, the unit can be read on (with B the label line is read again).
      if (found && read_fmt(10, want_end, "(A)", line) != Io::ok && options.find_first_of("Bb") != std::string_view::npos)
        std::abort();
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  label_location_reset_for_tests();
  fuzz::reset_library();
  fuzz::clean_work_dir();
  return 0;
}
