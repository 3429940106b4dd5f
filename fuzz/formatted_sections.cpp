// The formatted section reader (getsiz_f, getzm_f, lgetzm_f, getver_f) on arbitrary text.
//
// Input: byte 1 chooses the tag length 1 to 16 (bits 0-3), the search by tag (bit 4) and
// a second and third section read (bit 5); byte 2 the length of the caller's tag variable
// (bits 0-3: 1 to 16), the requested grid type (bits 4-5) and tag (bit 6: "M2", else
// any). The rest is the file.
#include <kvax/arrays/formatted_sections.h>

#include <cstdint>
#include <cstdlib>

#include <kvax/arrays/cver.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8();
  const int tag_length = 1 + static_cast<int>(a & 15);
  const bool search = a & 0x10;
  const int passes = (a & 0x20) ? 3 : 1;
  const std::size_t tag_var = 1 + (b & 15);
  fuzz::write_file("sections.f", in.rest());

  const int status = fuzz::guarded([&] {
    set_length_tag_tide(tag_length);
    OpenSpec spec;
    spec.file = "sections.f";
    spec.status = "OLD";
    if (open_unit(21, spec) != 0) std::abort();
    fuzz::read_sections(fuzz::SectionReader{getsiz_f, getzm_f, lgetzm_f, getver_f}, passes, search, b, tag_var);
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
