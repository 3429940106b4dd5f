// List-directed input of integers and reals (and the other item types) from arbitrary
// text, from an internal text and from a file on a unit.
//
// Input: line 1 is one option byte (bits 0-1: the end and error requests; bit 2: read
// from a file on a unit in three statements instead of one internal text) and up to 16
// item kinds (i int32, j int64, f float, d double, c complex, z double complex, a text,
// F five floats, C three complex, I three int32; other bytes choose by value); the rest
// is the text read.
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <span>

#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

namespace {


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const std::string_view head = in.line();
  const std::string_view rest = in.rest();
  const unsigned option = head.empty() ? 0 : static_cast<unsigned char>(head[0]);
  const std::string_view item_kinds = head.size() > 1 ? head.substr(1, 16) : std::string_view();
  const bool from_unit = option & 4;
  if (from_unit) fuzz::write_file("input.txt", rest);

  const int status = fuzz::guarded([&] {
    if (!from_unit) {
      InputStatement st(rest, option & 3);
      fuzz::input_items(st, item_kinds, 5);
      return;
    }
    OpenSpec spec;
    spec.file = "input.txt";
    spec.status = "OLD";
    if (open_unit(22, spec) != 0) std::abort();
    for (int n = 0; n < 3; ++n) {
      InputStatement st(22, option & 3);
      if (fuzz::input_items(st, item_kinds, 5) == Io::end) break;
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
