// The entry points of formatted complex sections: the size peek, the readers by position
// and by tag, the version of the section read, and the writers.
#include <kvax/arrays/formatted_sections.h>

#include <cstdint>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "arrays/section_units.h"

namespace kvax {

int getsiz_f(int unit, int& k, int& l) {
  std::int32_t hk = k, hl = l;
  if (read_list(unit, want_end, hk, hl) == Io::end) {
    write_fmt(6, "(A,I2)", " <GetsiF>E> End of file, log.unit ", unit);
    return 0;
  }
  k = hk;
  l = hl;
  backspace_unit(unit);
  write_fmt(6, "(A,2I8,A,I2)", " <GetsiF>>> ", hk, hl, " array on file unit ", unit);
  return 0;
}

void getzm_f(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag) {
  formatted_reader().read(unit, grid, k, l, typ, tag, nullptr);
}

void lgetzm_f(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version) {
  formatted_reader().read(unit, grid, k, l, typ, tag, &version);
}

bool getzm_begin_f(int unit, Text& typ, Text& tag, int& version) {
  return formatted_reader().begin(unit, 0, 0, typ, tag, version);
}

void getzm_row_f(std::span<Cell> row) { formatted_reader().row(row); }

void getzm_end_f(Text& typ, Text& tag) { formatted_reader().end(typ, tag); }

void getver_f(int& version) { version = formatted_reader().getver(); }

void outzm_begin_f(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  write_complex_header(true, unit, k, l, typ, tag);
}

void outzm_row_f(int unit, std::span<const Cell> row) { write_complex_row(true, unit, row, 1.0f); }

void outzm_end_f(int unit, std::string_view typ, std::string_view tag) { end_complex_section(true, unit, 0, 0, typ, tag); }

std::int64_t outzm_header_bytes_f() { return header_line_bytes(Element::cmpx, cver_tag_length()); }

std::int64_t outzm_row_bytes_f(int k) { return row_line_bytes(Element::cmpx, k, efmt()); }

void outzmn_f(int unit, std::span<const Cell> grid, float scale, int k, int l, std::string_view typ,
              std::string_view tag) {
  write_complex_section(true, unit, grid, scale, k, l, typ, tag);
}

void outzm_f(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn_f(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
