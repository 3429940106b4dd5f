// Writers, readers and the size-and-type peeks of FLAG, REAL, DBLE and LOG1 sections in
// both representations, and the point list of a REAL grid with its flags: one writer and
// one reader for every member, told apart by representation, element type and routine
// tags.
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "arrays/element_types.h"
#include "arrays/section_units.h"

namespace kvax {
namespace {

// One row statement: a formatted one under the row format, or an unformatted record.
template <bool Formatted>
using RowWrite = std::conditional_t<Formatted, OutputStatement, UnformattedWrite>;
template <bool Formatted>
using RowRead = std::conditional_t<Formatted, InputStatement, UnformattedRead>;

template <class T>
void put(OutputStatement& st, std::span<const T> v) {
  if constexpr (std::is_same_v<T, Logical1>) {
    st.logicals(v);
  } else {
    st.items(v);
  }
}
template <class T>
void put(UnformattedWrite& st, std::span<const T> v) { st.items(v); }
template <class T>
void get(InputStatement& st, std::span<T> v) {
  if constexpr (std::is_same_v<T, Logical1>) {
    st.logicals(v);
  } else {
    st.items(v);
  }
}
template <class T>
void get(UnformattedRead& st, std::span<T> v) { st.items(v); }

template <bool Formatted>
RowWrite<Formatted> row_write(int unit, Element e) {
  if constexpr (Formatted) {
    return OutputStatement(unit, row_write_format(e));
  } else {
    return UnformattedWrite(unit);
  }
}

// The header, then one write statement per row from row L down: row(j, st) passes the
// elements of row j; then the report. False when the header was refused (a formatted
// header holds K and L in five columns).
template <bool Formatted, class Row>
bool write_section(const WriterTags& w, Element e, int unit, int k, int l, std::string_view typ, Row&& row) {
  const std::string_view vartyp = traits(e).word;
  if (Formatted && !fits_typed_header(k, l)) {
    write_fmt(6, "(A,2I11)", line_start(w.routine, 'E').append("Grid too large for this header: "), k, l);
    return false;
  }
  SectionHeader h;
  h.k = k;
  h.l = l;
  h.typ = grid_letter(typ);
  h.vartyp = vartyp;
  write_section_header(unit, Formatted, h, cver_tag_length());
  for (int j = l; j >= 1; --j) {
    RowWrite<Formatted> st = row_write<Formatted>(unit, e);
    row(j, st);
    st.finish();
  }
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  if (w.sized_report) {
    aiomsg(w.routine, typ, k, l, vartyp, unit, "//", -1);
  } else {
    iomsg(w.routine, typ, vartyp, unit, "//", -1);
  }
  return true;
}

template <bool Formatted, class T>
void write_grid(const WriterTags& w, int unit, std::span<const T> grid, int k, int l, std::string_view typ) {
  write_section<Formatted>(w, element_of<T>, unit, k, l, typ,
                           [&](int j, RowWrite<Formatted>& st) { put<T>(st, grid_row(grid, k, j)); });
}

// The header, its check, then the rows from row L down: row(j, st) takes the elements of
// row j (formatted: under `format`). True when the section was read.
template <bool Formatted, class Row>
bool read_section(const ReaderTags& r, std::string_view format, int unit, std::size_t grid_cells, int k, int l,
                  Text& typ, Row&& row) {
  SectionHeader h;
  const Io s = read_section_header(unit, want_both, Formatted, HeaderItems::head, cver_tag_length(), h);
  if (s != Io::ok) {
    write_fmt(6, "(A,I2)", line_start(r.routine, 'E').append(s == Io::end ? "EOF unit " : "ERR unit "), unit);
    if (r.status_letters) assign(typ, s == Io::end ? "e" : "r");
    return false;
  }
  const Text htyp(1, h.typ);
  if (rparse(r.check, typ, htyp, r.types, h.vartyp) != 0) return false;
  assign(typ, htyp);
  // The data reads ask for no signal: a short or bad row is the record layer's error.
  for (int j = rows_to_read(grid_cells, k, l); j >= 1; --j) {
    if constexpr (Formatted) {
      InputStatement st(unit, want_none, format);
      row(j, st);
      st.finish();
    } else {
      UnformattedRead st(unit, want_none);
      row(j, st);
      st.finish();
    }
  }
  iomsg(r.routine, htyp, h.vartyp, unit, "//", -1);
  return true;
}

template <bool Formatted, class T>
void read_grid(const ReaderTags& r, int unit, std::span<T> grid, int k, int l, Text& typ) {
  read_section<Formatted>(r, row_read_format(element_of<T>), unit, grid.size(), k, l, typ,
                          [&](int j, RowRead<Formatted>& st) { get<T>(st, grid_row(grid, k, j)); });
}

// An integer grid written as logicals: element (i, j) true where the integer is not 0.
template <bool Formatted>
bool write_flags_as_logicals(const WriterTags& w, int unit, std::span<const Flag> grid, int k, int l,
                             std::string_view typ, std::span<Logical1> work) {
  return write_section<Formatted>(w, Element::log1, unit, k, l, typ, [&](int j, RowWrite<Formatted>& st) {
    const std::span<const Flag> row = grid_row(grid, k, j);
    through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
      for (std::size_t q = 0; q < piece.size(); ++q) piece[q] = row[first + q] != 0 ? 1 : 0;
      put<Logical1>(st, piece);
    });
  });
}

// The size-and-type peek: the next header, stepped back over, and its report line
// (K and L in `widths`-column fields).
template <bool Formatted>
void peek(std::string_view routine, std::string_view sizes, int unit, int& k, int& l, Text& typ, Text& vartyp) {
  SectionHeader h;
  if constexpr (Formatted) {
    Text line = text("", 32);
    if (read_fmt(unit, want_end, "(A)", line) == Io::end) {
      write_fmt(6, "(A,I2)", line_start(routine, 'E') + "End of file, log.unit ", unit);
      assign(typ, "e");
      return;
    }
    // No error branch: a header whose numbers cannot be read is the record layer's error.
    Text htyp(1, ' '), hvartyp(4, ' ');
    const bool complex = line.find("CMPX") != std::string::npos;
    read_fmt_text(line, want_none, header_format(complex ? Element::cmpx : Element::real), h.k, h.l, htyp, hvartyp);
    h.typ = htyp[0];
    h.vartyp = hvartyp;
  } else {
    // No error branch: a header record too short for these items is the record layer's error.
    if (read_section_header(unit, want_end, false, HeaderItems::head, cver_tag_length(), h) == Io::end) {
      write_fmt(6, "(A,I2)", line_start(routine, 'E') + "End of file, log.unit ", unit);
      assign(typ, "e");
      return;
    }
    write_list(6, "<getast>>> ", h.k, h.l, Text(1, h.typ), " ", h.vartyp);
  }
  backspace_unit(unit);
  k = h.k;
  l = h.l;
  assign(typ, Text(1, h.typ));
  assign(vartyp, h.vartyp);
  write_fmt(6, sizes, line_start(routine, '>'), h.k, h.l, " ", h.vartyp, " data on grid \"", Text(1, h.typ),
            "\" on file unit ", unit);
}

}  // namespace

void outim(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ) {
  write_grid<false>({"OUTIM-", true}, unit, grid, k, l, typ);
}

void outrm(int unit, std::span<const float> grid, int k, int l, std::string_view typ) {
  write_grid<false>({"OUTRM-", true}, unit, grid, k, l, typ);
}

void outdm(int unit, std::span<const double> grid, int k, int l, std::string_view typ) {
  write_grid<false>({"OUTDM-", true}, unit, grid, k, l, typ);
}

void outlm(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ) {
  write_grid<false>({"OUTLM-", false}, unit, grid, k, l, typ);
}

void outiml(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work) {
  write_flags_as_logicals<false>({"OUTIML", true}, unit, grid, k, l, typ, work);
}

void outim_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ) {
  write_grid<true>({"OutimF", false}, unit, grid, k, l, typ);
}

void outrm_f(int unit, std::span<const float> grid, int k, int l, std::string_view typ) {
  write_grid<true>({"OutrmF", false}, unit, grid, k, l, typ);
}

void outdm_f(int unit, std::span<const double> grid, int k, int l, std::string_view typ) {
  write_grid<true>({"OutdmF", false}, unit, grid, k, l, typ);
}

void outlm_f(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ) {
  write_grid<true>({"OutlmF", false}, unit, grid, k, l, typ);
}

void outiml_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work) {
  if (write_flags_as_logicals<true>({"OutiLF", false}, unit, grid, k, l, typ, work))
    write_fmt(6, "(A,2I5)", " <OutiLF>>> L(i,j)=I(i,j).ne.0, size: ", k, l);
}

void getim(int unit, std::span<Flag> grid, int k, int l, Text& typ) {
  read_grid<false>({"GETIM-", "GETIM-", "FLAG", true}, unit, grid, k, l, typ);
}

void getrm(int unit, std::span<float> grid, int k, int l, Text& typ) {
  read_grid<false>({"GETRM-", "GETRM-", "REAL", true}, unit, grid, k, l, typ);
}

void getdm(int unit, std::span<double> grid, int k, int l, Text& typ) {
  read_grid<false>({"GETDM-", "GETDM-", "DBLE", true}, unit, grid, k, l, typ);
}

void getlm(int unit, std::span<Logical1> grid, int k, int l, Text& typ) {
  read_grid<false>({"GETLM-", "GETLM-", "LOG1", false}, unit, grid, k, l, typ);
}

void getlmi(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work) {
  const bool read = read_section<false>({"GETLMI", "GETLMI", "LOG1", true}, "", unit, grid.size(), k, l, typ,
                                        [&](int j, UnformattedRead& st) {
                                          const std::span<Flag> row = grid_row(grid, k, j);
                                          through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
                                            st.items(piece);
                                            for (std::size_t q = 0; q < piece.size(); ++q)
                                              row[first + q] = piece[q] != 0 ? 1 : 0;
                                          });
                                        });
  if (read) write_fmt(6, "(A,2I5)", " <GETLMI>>> {F,T}(i,j) -> {0,1}(i,j), size: ", k, l);
}

void getim_f(int unit, std::span<Flag> grid, int k, int l, Text& typ) {
  read_grid<true>({"GetimF", "GetimF", "FLAG", false}, unit, grid, k, l, typ);
}

void getrm_f(int unit, std::span<float> grid, int k, int l, Text& typ) {
  read_grid<true>({"GETRM-", "GetrmF", "REAL|DBLE|CMPX", false}, unit, grid, k, l, typ);
}

void getdm_f(int unit, std::span<double> grid, int k, int l, Text& typ) {
  read_grid<true>({"GETRM-", "GetdmF", "REAL|DBLE|CMPX", false}, unit, grid, k, l, typ);
}

void getlm_f(int unit, std::span<Logical1> grid, int k, int l, Text& typ) {
  read_grid<true>({"GetlmF", "GetlmF", "LOG1", false}, unit, grid, k, l, typ);
}

void getlmi_f(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work) {
  std::int64_t ones = 0;
  Text ch = text("", 1);
  const bool read = read_section<true>(
      {"GETLMI", "Getlmi", "LOG1", false}, "(120A1)", unit, grid.size(), k, l, typ, [&](int j, InputStatement& st) {
        const std::span<Flag> row = grid_row(grid, k, j);
        through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
          for (std::size_t q = 0; q < piece.size(); ++q) {
            st.item(ch);
            piece[q] = static_cast<Logical1>(ch[0]);
            row[first + q] = ch[0] == 'T' ? 1 : 0;
            ones += row[first + q];
          }
        });
      });
  if (read)
    write_fmt(6, "(A,2I5,A,I10)", " <Getlmi>>> {F,T}(i,j) -> {0,1}(i,j), size: ", k, l,
              " formatted, count(flg=1):", ones);
}

void getast(int unit, int& k, int& l, Text& typ, Text& vartyp) {
  peek<false>("GETAST", "(A,2I4,5A,I2)", unit, k, l, typ, vartyp);
}

void getast_f(int unit, int& k, int& l, Text& typ, Text& vartyp) {
  peek<true>("GetasF", "(A,2I8,5A,I2)", unit, k, l, typ, vartyp);
}

void outrmf_xyz(int unit, std::span<const float> r, std::span<const Flag> f, int k, int l, std::string_view typ) {
  const bool z = grid_letter(typ) == 'Z';
  const float offset = z ? 0.5f : 0.0f;
  const int nx = z ? k - 1 : k, ny = z ? l - 1 : l;
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  for (int j = 1; j <= ny; ++j) {
    for (int i = 1; i <= nx; ++i) {
      const std::size_t at = cells * static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(i - 1);
      if (at >= r.size() || at >= f.size()) return;  // the points the grids hold, no more
      write_fmt(unit, "(2F10.1,1P,E14.6,I10)", static_cast<float>(j - 1) + offset, static_cast<float>(i - 1) + offset,
                r[at], f[at]);
    }
  }
}

}  // namespace kvax
