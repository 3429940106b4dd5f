// The grid layer (describe, read_sections, the streaming reader's row ranges) on arbitrary
// bytes: every outcome is sections or a kvax::Error, never a crash, a report of the
// library or memory beyond what the file can hold.
//
// Input: byte 1 chooses the overrides: bits 0-1 the representation (0, 1: detected; 2
// unformatted; 3 formatted), bits 2-3 the byte order (0, 1: detected; 2 little; 3 big),
// bits 4-7 the tag length (0: detected, else 1 to 15). Byte 2 is the first row of a range
// read from every section. The rest is the file.
#include <kvax/grid.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"

namespace fuzz = kvax::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8();
  kvax::ReadOptions o;
  if ((a & 3) >= 2) o.representation = (a & 3) == 2 ? kvax::Representation::unformatted : kvax::Representation::formatted;
  if (((a >> 2) & 3) >= 2) o.byte_order = ((a >> 2) & 3) == 2 ? kvax::ByteOrder::little : kvax::ByteOrder::big;
  if (a >> 4) o.tag_length = static_cast<int>(a >> 4);
  fuzz::write_file("grid.in", in.rest());
  try {
    kvax::describe("grid.in", o);
  } catch (const kvax::Error&) {
  }
  try {
    const std::vector<kvax::Section> all = kvax::read_sections("grid.in", o);
    for (const kvax::Section& s : all)
      if (s.values.size() != s.count() * kvax::element_size(s.element)) std::abort();
  } catch (const kvax::Error&) {
  }
  try {
    kvax::SectionReader r("grid.in", o);
    while (r.next()) {
      const kvax::SectionInfo& h = r.header();
      if (h.l < 1 || h.k < 1) continue;
      const int first = 1 + static_cast<int>(b) % h.l;
      std::vector<std::byte> rows(static_cast<std::size_t>(h.k) * kvax::element_size(h.element));
      r.read_rows(first, 1, rows);
    }
  } catch (const kvax::Error&) {
  }
  return 0;
}
