// The unformatted section reader (getsiz, getzm, lgetzm, getver) on arbitrary bytes.
//
// Input: byte 1 chooses the byte order (bit 0), the tag length 1 to 16 (bits 1-4), the
// search by tag (bit 5) and a second and third section read (bit 6); byte 2 the length of
// the caller's tag variable (bits 0-3: 1 to 16), the requested grid type (bits 4-5) and
// tag (bit 6: "M2", else any) and the trace (bit 7). The rest is the file.
#include <kvax/arrays/unformatted_sections.h>

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
  const bool big = a & 1;
  const int tag_length = 1 + static_cast<int>((a >> 1) & 15);
  const bool search = a & 0x20;
  const int passes = (a & 0x40) ? 3 : 1;
  const std::size_t tag_var = 1 + (b & 15);
  fuzz::write_file("sections.u", in.rest());

  const int status = fuzz::guarded([&] {
    set_length_tag_tide(tag_length);
    getzm_msg(b & 0x80 ? 1 : 0);
    OpenSpec spec;
    spec.file = "sections.u";
    spec.status = "OLD";
    spec.form = "UNFORMATTED";
    spec.convert = big ? "BIG_ENDIAN" : "LITTLE_ENDIAN";
    if (open_unit(21, spec) != 0) std::abort();
    fuzz::read_sections(fuzz::SectionReader{getsiz, getzm, lgetzm, getver}, passes, search, b, tag_var);
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
