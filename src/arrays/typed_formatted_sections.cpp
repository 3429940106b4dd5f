// Writers, readers and the size-and-type peek of formatted FLAG, REAL, DBLE and LOG1
// sections, and the point list of a REAL grid with its flags: one writer and one reader
// for every member, told apart by element type and routine tags.
#include <kvax/arrays/typed_formatted_sections.h>

#include <cstdint>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>
#include <kvax/text/strings.h>

#include "arrays/element_types.h"
#include "arrays/section_reading.h"

namespace kvax {
namespace {

// Four items under this format end the line after VARTYP: 17 characters.
constexpr std::string_view header_output = "(2I5,1X,A1,1X,A4,1X,A2,1X,I10)";
constexpr std::string_view header_input = "(2I5,1X,A1,1X,A4)";

// What I5 holds; anything else would be written as asterisks, a header no reader reads.
bool fits_header_field(int v) { return v >= -9999 && v <= 99999; }

void put_row(OutputStatement& st, std::span<const float> v) { st.items(v); }
void put_row(OutputStatement& st, std::span<const double> v) { st.items(v); }
void put_row(OutputStatement& st, std::span<const Flag> v) { st.items(v); }
void put_row(OutputStatement& st, std::span<const Logical1> v) { st.logicals(v); }
void get_row(InputStatement& st, std::span<float> v) { st.items(v); }
void get_row(InputStatement& st, std::span<double> v) { st.items(v); }
void get_row(InputStatement& st, std::span<Flag> v) { st.items(v); }
void get_row(InputStatement& st, std::span<Logical1> v) { st.logicals(v); }

// The header line, then one write statement per row from row L down: row(j, st) passes
// the elements of row j; then the report. False when the header was refused.
template <class T, class Row>
bool write_section(std::string_view routine, int unit, int k, int l, std::string_view typ, Row&& row) {
  constexpr std::string_view vartyp = ElementType<T>::vartyp;
  if (!fits_header_field(k) || !fits_header_field(l)) {
    write_fmt(6, "(A,2I11)", line_start(routine, 'E').append("Grid too large for this header: "), k, l);
    return false;
  }
  write_fmt(unit, header_output, static_cast<std::int32_t>(k), static_cast<std::int32_t>(l), text(typ, 1), vartyp);
  const std::string_view format = ElementType<T>::write_format();
  for (int j = l; j >= 1; --j) {
    OutputStatement st(unit, format);
    row(j, st);
    st.finish();
  }
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  iomsg(routine, typ, vartyp, unit, "//", -1);
  return true;
}

template <class T>
void write_grid(std::string_view routine, int unit, std::span<const T> grid, int k, int l, std::string_view typ) {
  write_section<T>(routine, unit, k, l, typ, [&](int j, OutputStatement& st) { put_row(st, grid_row(grid, k, j)); });
}

// The header line, its check, then the rows from row L down under the format: row(j, st)
// takes the elements of row j. True when the section was read.
template <class Row>
bool read_section(const ReaderTags& r, std::string_view format, int unit, std::size_t grid_cells, int k, int l,
                  Text& typ, Row&& row) {
  std::int32_t hk = 0, hl = 0;
  Text htyp(1, ' '), hvartyp(4, ' ');
  const Io s = read_fmt(unit, want_both, header_input, hk, hl, htyp, hvartyp);
  if (s != Io::ok) {
    write_fmt(6, "(A,I2)", line_start(r.routine, 'E').append(s == Io::end ? "EOF unit " : "ERR unit "), unit);
    if (r.status_letters) assign(typ, s == Io::end ? "e" : "r");
    return false;
  }
  if (rparse(r.check, typ, htyp, r.types, hvartyp) != 0) return false;
  assign(typ, htyp);
  // The data reads ask for no signal: a short or bad data block is the record layer's error.
  for (int j = rows_to_read(grid_cells, k, l); j >= 1; --j) {
    InputStatement st(unit, want_none, format);
    row(j, st);
    st.finish();
  }
  iomsg(r.routine, htyp, hvartyp, unit, "//", -1);
  return true;
}

template <class T>
void read_grid(const ReaderTags& r, int unit, std::span<T> grid, int k, int l, Text& typ) {
  read_section(r, ElementType<T>::read_format(), unit, grid.size(), k, l, typ,
               [&](int j, InputStatement& st) { get_row(st, row_of(grid, k, j)); });
}

}  // namespace

void outim_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ) {
  write_grid("OutimF", unit, grid, k, l, typ);
}

void outrm_f(int unit, std::span<const float> grid, int k, int l, std::string_view typ) {
  write_grid("OutrmF", unit, grid, k, l, typ);
}

void outdm_f(int unit, std::span<const double> grid, int k, int l, std::string_view typ) {
  write_grid("OutdmF", unit, grid, k, l, typ);
}

void outlm_f(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ) {
  write_grid("OutlmF", unit, grid, k, l, typ);
}

void outiml_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work) {
  const bool written = write_section<Logical1>("OutiLF", unit, k, l, typ, [&](int j, OutputStatement& st) {
    const std::span<const Flag> row = grid_row(grid, k, j);
    through_work_row(work, row.size(), [&](std::size_t first, std::span<Logical1> piece) {
      for (std::size_t q = 0; q < piece.size(); ++q) piece[q] = row[first + q] != 0 ? 1 : 0;
      st.logicals(piece);
    });
  });
  if (written) write_fmt(6, "(A,2I5)", " <OutiLF>>> L(i,j)=I(i,j).ne.0, size: ", k, l);
}

void getim_f(int unit, std::span<Flag> grid, int k, int l, Text& typ) {
  read_grid({"GetimF", "GetimF", "FLAG", false}, unit, grid, k, l, typ);
}

void getrm_f(int unit, std::span<float> grid, int k, int l, Text& typ) {
  read_grid({"GETRM-", "GetrmF", "REAL|DBLE|CMPX", false}, unit, grid, k, l, typ);
}

void getdm_f(int unit, std::span<double> grid, int k, int l, Text& typ) {
  read_grid({"GETRM-", "GetdmF", "REAL|DBLE|CMPX", false}, unit, grid, k, l, typ);
}

void getlm_f(int unit, std::span<Logical1> grid, int k, int l, Text& typ) {
  read_grid({"GetlmF", "GetlmF", "LOG1", false}, unit, grid, k, l, typ);
}

void getlmi_f(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work) {
  std::int64_t ones = 0;
  Text ch = text("", 1);
  const bool read = read_section(
      {"GETLMI", "Getlmi", "LOG1", false}, "(120A1)", unit, grid.size(), k, l, typ, [&](int j, InputStatement& st) {
        const std::span<Flag> row = row_of(grid, k, j);
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

void getast_f(int unit, int& k, int& l, Text& typ, Text& vartyp) {
  Text line = text("", 32);
  if (read_fmt(unit, want_end, "(A)", line) == Io::end) {
    write_fmt(6, "(A,I2)", " <GetasF>E> End of file, log.unit ", unit);
    assign(typ, "e");
    return;
  }
  // No error branch: a header whose numbers cannot be read is the record layer's error.
  std::int32_t hk = 0, hl = 0;
  Text htyp(1, ' '), hvartyp(4, ' ');
  int at = 0;
  const bool complex = q_index(line, "CMPX", at);
  read_fmt_text(line, want_none, complex ? "(2I10,1X,A1,1X,A4)" : header_input, hk, hl, htyp, hvartyp);
  backspace_unit(unit);
  k = hk;
  l = hl;
  assign(typ, htyp);
  assign(vartyp, hvartyp);
  write_fmt(6, "(A,2I8,5A,I2)", " <GetasF>>> ", hk, hl, " ", hvartyp, " data on grid \"", htyp, "\" on file unit ",
            unit);
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
