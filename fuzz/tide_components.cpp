// tgetoz on arbitrary records (and tgetzm on arbitrary complex sections): no store
// outside /COZ/ or the caller's grid, whatever the counts in the headers say.
//
// Input: byte 1 chooses the reader (bit 0: tgetzm), the tag length 0 to 15 (bits 1-4),
// option "A" or "F" (bit 5) and a second call with the tag returned (bit 6); byte 2 the
// request (bits 0-2: "..", "M2", "  ", "EF", ".", "M2  ", "?", "S2"), the pool sizes
// (bits 3-4: as declared, or extcoz with 8 to 2000 Z and 0 to 300 M values from byte 3)
// and for tgetzm the grid type requested (bits 5-6); bytes 3 and 4 K and L of tgetzm.
// The rest is the file.
#include <kvax/arrays/coz.h>
#include <kvax/arrays/tide_components.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

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
  const unsigned a = in.u8(), b = in.u8(), c = in.u8(), d = in.u8();
  const bool complex_sections = a & 1;
  const int tag_length = static_cast<int>((a >> 1) & 15);
  const int calls = (a & 0x40) ? 2 : 1;
  const char* requests[] = {"..", "M2", "  ", "EF", ".", "M2  ", "?", "S2"};
  const char* typ_request[] = {".", "M", "Z", " "};
  fuzz::write_file("sets", in.rest());

  const int status = fuzz::guarded([&] {
    set_length_tag_tide(tag_length);
    if ((b >> 3) & 3) extcoz(8 + static_cast<int>(c) * 8, static_cast<int>(d) + ((b & 0x10) ? 44 : 0));
    OpenSpec spec;
    spec.file = "sets";
    spec.status = "OLD";
    spec.form = "UNFORMATTED";
    if (open_unit(21, spec) != 0) std::abort();
    const std::string request = requests[b & 7];
    Text tag = text(request, request.size());
    for (int call = 0; call < calls; ++call) {
      if (complex_sections) {
        const int k = static_cast<int>(c) - 2, l = static_cast<int>(d) - 2;
        const std::size_t cells = k > 0 && l > 0 ? static_cast<std::size_t>(k) * static_cast<std::size_t>(l) : 0;
        std::vector<Cell> grid(cells + 16, Cell(-7, -7));
        Text typ = text(typ_request[(b >> 5) & 3], 1);
        tgetzm(21, std::span<Cell>(grid).first(cells), k, l, typ, tag);
        for (std::size_t i = cells; i < grid.size(); ++i)
          if (grid[i] != Cell(-7, -7)) std::abort();
        if (typ.size() != 1) std::abort();
      } else {
        tgetoz(21, (a & 0x20) ? "A" : "F", tag);
        for (int component = -1; component <= 3; ++component)
          for (int reference : {0, 1, -8, 999, 1000, 1001, 1200, 1201, 5000}) (void)zoz_value(component, reference);
      }
      if (tag.size() != request.size()) std::abort();
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
