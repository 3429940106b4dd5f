// The entry points of unformatted complex sections: the size peek, the readers by position
// and by tag, the version of the section read, and the writers.
#include <kvax/arrays/unformatted_sections.h>

#include <bit>
#include <cstdint>

#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "arrays/section_units.h"

namespace kvax {
namespace {

int size_peek(int unit, int& k, int& l, bool report_end) {
  SectionHeader h;
  if (read_section_header(unit, want_end, false, HeaderItems::head, cver_tag_length(), h) == Io::end) {
    write_fmt(6, "(A,I2)", " <GETSIZ>E> End of file, log.unit ", unit);
    return report_end ? 1 : 0;
  }
  const Text typ(1, h.typ);
  write_list(6, "<getsiz>>> K,L,TYP,VARTYP=", h.k, h.l, " ", typ, " ", h.vartyp);
  k = h.k;
  l = h.l;
  backspace_unit(unit);
  write_fmt(6, "(A,I7,I5,3(1X,A),I2)", " <GETSIZ>>> ", h.k, h.l, typ, h.vartyp, " array on file unit ", unit);
  return 0;
}

}  // namespace

int getsiz(int unit, int& k, int& l) { return size_peek(unit, k, l, false); }
int getsiz_e(int unit, int& k, int& l) { return size_peek(unit, k, l, true); }

void getzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag) {
  unformatted_reader().read(unit, grid, k, l, typ, tag, nullptr);
}

void lgetzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version) {
  unformatted_reader().read(unit, grid, k, l, typ, tag, &version);
}

void getver(int& version) { version = unformatted_reader().getver(); }

void getzm_msg(int flag) { unformatted_reader().set_trace(flag); }

bool getzm_begin(int unit, int k, int l, Text& typ, Text& tag, int& version) {
  return unformatted_reader().begin(unit, k, l, typ, tag, version);
}

void getzm_row(std::span<Cell> row) { unformatted_reader().row(row); }

void getzm_end(Text& typ, Text& tag) { unformatted_reader().end(typ, tag); }

int getzm_row_records(std::span<std::byte> records, int n) { return unformatted_reader().row_records(records, n); }

void outzm_begin(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  write_complex_header(false, unit, k, l, typ, tag);
}

void outzm_row(int unit, std::span<const Cell> row) { write_complex_row(false, unit, row, 1.0f); }

void outzm_end(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  end_complex_section(false, unit, k, l, typ, tag);
}

bool outzm_row_records(int unit, std::span<const std::byte> records, int k, int n, bool reversed,
                       std::size_t first) {
  if (unit_is_big_endian(unit) || std::endian::native != std::endian::little) return false;
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  write_unit_records(unit, records, row_data_bytes(Element::cmpx, k), n,
                     RecordOrder{.reversed = reversed, .turn = first < cells ? first * sizeof(Cell) : 0});
  return true;
}

std::int64_t outzm_header_bytes() { return header_record_bytes(Element::cmpx, cver_tag_length()); }

std::int64_t outzm_row_bytes(int k) { return row_record_bytes(Element::cmpx, k); }

void outzmn(int unit, std::span<const Cell> grid, float s, int k, int l, std::string_view typ, std::string_view tag) {
  write_complex_section(false, unit, grid, s, k, l, typ, tag);
}

void outzm(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
