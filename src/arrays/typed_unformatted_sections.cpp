// Writers, readers and the size-and-type peek of unformatted FLAG, REAL, DBLE and LOG1
// sections: one writer and one reader for every member, told apart by element type and
// routine tags.
#include <kvax/arrays/typed_unformatted_sections.h>

#include <cstdint>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "arrays/element_types.h"
#include "arrays/section_reading.h"

namespace kvax {
namespace {

// The header record, then one record per row from row L down: row(j, st) passes the
// elements of row j; then the report.
template <class T, class Row>
void write_section(const WriterTags& w, int unit, int k, int l, std::string_view typ, Row&& row) {
  constexpr std::string_view vartyp = ElementType<T>::vartyp;
  {
    UnformattedWrite h(unit);
    h.item(static_cast<std::int32_t>(k));
    h.item(static_cast<std::int32_t>(l));
    h.item(text(typ, 1));
    h.item(vartyp);
    h.finish();
  }
  for (int j = l; j >= 1; --j) {
    UnformattedWrite st(unit);
    row(j, st);
    st.finish();
  }
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  if (w.sized_report) {
    aiomsg(w.routine, typ, k, l, vartyp, unit, "//", -1);
  } else {
    iomsg(w.routine, typ, vartyp, unit, "//", -1);
  }
}

template <class T>
void write_grid(const WriterTags& w, int unit, std::span<const T> grid, int k, int l, std::string_view typ) {
  write_section<T>(w, unit, k, l, typ, [&](int j, UnformattedWrite& st) { st.items(grid_row(grid, k, j)); });
}

// The header record, its check, then the rows from row L down: row(j, st) takes the
// elements of row j. True when the section was read.
template <class Row>
bool read_section(const ReaderTags& r, int unit, std::size_t grid_cells, int k, int l, Text& typ, Row&& row) {
  std::int32_t hk = 0, hl = 0;
  Text htyp(1, ' '), hvartyp(4, ' ');
  Io s;
  {
    UnformattedRead h(unit, want_both);
    h.item(hk);
    h.item(hl);
    h.item(htyp);
    h.item(hvartyp);
    s = h.finish();
  }
  if (s != Io::ok) {
    write_fmt(6, "(A,I2)", line_start(r.routine, 'E').append(s == Io::end ? "EOF unit " : "ERR unit "), unit);
    if (r.status_letters) assign(typ, s == Io::end ? "e" : "r");
    return false;
  }
  if (rparse(r.check, typ, htyp, r.types, hvartyp) != 0) return false;
  assign(typ, htyp);
  // The data reads ask for no signal: a short or missing row is the record layer's error.
  for (int j = rows_to_read(grid_cells, k, l); j >= 1; --j) {
    UnformattedRead st(unit, want_none);
    row(j, st);
    st.finish();
  }
  iomsg(r.routine, htyp, hvartyp, unit, "//", -1);
  return true;
}

template <class T>
void read_grid(const ReaderTags& r, int unit, std::span<T> grid, int k, int l, Text& typ) {
  read_section(r, unit, grid.size(), k, l, typ, [&](int j, UnformattedRead& st) { st.items(row_of(grid, k, j)); });
}

}  // namespace

void outim(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ) {
  write_grid({"OUTIM-", true}, unit, grid, k, l, typ);
}

void outrm(int unit, std::span<const float> grid, int k, int l, std::string_view typ) {
  write_grid({"OUTRM-", true}, unit, grid, k, l, typ);
}

void outdm(int unit, std::span<const double> grid, int k, int l, std::string_view typ) {
  write_grid({"OUTDM-", true}, unit, grid, k, l, typ);
}

void outlm(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ) {
  write_grid({"OUTLM-", false}, unit, grid, k, l, typ);
}

void outiml(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work) {
  write_section<Logical1>({"OUTIML", true}, unit, k, l, typ, [&](int j, UnformattedWrite& st) {
    const std::span<const Flag> row = grid_row(grid, k, j);
    through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
      for (std::size_t q = 0; q < piece.size(); ++q) piece[q] = row[first + q] != 0 ? 1 : 0;
      st.items(std::span<const Logical1>(piece));
    });
  });
}

void getim(int unit, std::span<Flag> grid, int k, int l, Text& typ) {
  read_grid({"GETIM-", "GETIM-", "FLAG", true}, unit, grid, k, l, typ);
}

void getrm(int unit, std::span<float> grid, int k, int l, Text& typ) {
  read_grid({"GETRM-", "GETRM-", "REAL", true}, unit, grid, k, l, typ);
}

void getdm(int unit, std::span<double> grid, int k, int l, Text& typ) {
  read_grid({"GETDM-", "GETDM-", "DBLE", true}, unit, grid, k, l, typ);
}

void getlm(int unit, std::span<Logical1> grid, int k, int l, Text& typ) {
  read_grid({"GETLM-", "GETLM-", "LOG1", false}, unit, grid, k, l, typ);
}

void getlmi(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work) {
  const bool read =
      read_section({"GETLMI", "GETLMI", "LOG1", true}, unit, grid.size(), k, l, typ, [&](int j, UnformattedRead& st) {
        const std::span<Flag> row = row_of(grid, k, j);
        through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
          st.items(piece);
          for (std::size_t q = 0; q < piece.size(); ++q) row[first + q] = piece[q] != 0 ? 1 : 0;
        });
      });
  if (read) write_fmt(6, "(A,2I5)", " <GETLMI>>> {F,T}(i,j) -> {0,1}(i,j), size: ", k, l);
}

void getast(int unit, int& k, int& l, Text& typ, Text& vartyp) {
  std::int32_t hk = 0, hl = 0;
  Text htyp(1, ' '), hvartyp(4, ' ');
  Io s;
  {
    // No error branch: a header record too short for these items is the record layer's error.
    UnformattedRead h(unit, want_end);
    h.item(hk);
    h.item(hl);
    h.item(htyp);
    h.item(hvartyp);
    s = h.finish();
  }
  if (s == Io::end) {
    write_fmt(6, "(A,I2)", " <GETAST>E> End of file, log.unit ", unit);
    assign(typ, "e");
    return;
  }
  write_list(6, "<getast>>> ", hk, hl, htyp, " ", hvartyp);
  backspace_unit(unit);
  k = hk;
  l = hl;
  assign(typ, htyp);
  assign(vartyp, hvartyp);
  write_fmt(6, "(A,2I4,5A,I2)", " <GETAST>>> ", hk, hl, " ", hvartyp, " data on grid \"", htyp, "\" on file unit ",
            unit);
}

}  // namespace kvax
