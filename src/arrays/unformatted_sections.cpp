// Readers and writers of unformatted complex sections.
#include <kvax/arrays/unformatted_sections.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "arrays/section_reading.h"

namespace kvax {
namespace {

// The reader's record, kept between calls: the last header read and the trace flag.
struct Reader {
  bool search = false;
  Text routine = text("GETZM-", 6);
  int sections = 0;
  std::int32_t k = 0, l = 0, version = -1;
  Text typ = text("", 1);
  Text vartyp = text("", 4);
  Text tag = text("", max_tag_length);
  bool header_seen = false;
  int trace = 0;
};

Reader& reader() {
  static Reader r;
  return r;
}

int size_peek(int unit, int& k, int& l, bool report_end) {
  std::int32_t hk = 0, hl = 0;
  Text typ = text("", 1), vartyp = text("", 4);
  Io s;
  {
    UnformattedRead r(unit, want_end);
    r.item(hk);
    r.item(hl);
    r.item(typ);
    r.item(vartyp);
    s = r.finish();
  }
  if (s == Io::end) {
    write_fmt(6, "(A,I2)", " <GETSIZ>E> End of file, log.unit ", unit);
    return report_end ? 1 : 0;
  }
  write_list(6, "<getsiz>>> K,L,TYP,VARTYP=", hk, hl, " ", typ, " ", vartyp);
  k = hk;
  l = hl;
  backspace_unit(unit);
  write_fmt(6, "(A,I7,I5,3(1X,A),I2)", " <GETSIZ>>> ", hk, hl, typ, vartyp, " array on file unit ", unit);
  return 0;
}

// The steps of one section read: the header and its checks, the rows from L down to 1,
// and the end (the tag check and the report line). getzm and lgetzm run them in a loop;
// a caller that takes the rows one at a time (the converter streams them) runs them itself.
struct SectionRead {
  int unit = 0;
  int n = 2;           // tag length
  int* version_arg = nullptr;
  Text requested = text("", max_tag_length);
  Text tag_read = text("", 2);
  int rows = 0;        // rows to read
  int rows_done = 0;
  std::size_t cells = 0;
  Cell top{}, bottom{};  // first cells of the first and the last row read, for the trace
};

SectionRead& current() {
  static SectionRead c;
  return c;
}

void begin_call(int unit, int k, int rows, const Text& tag, int* version_arg) {
  Reader& r = reader();
  SectionRead& c = current();
  c.unit = unit;
  c.n = cver_tag_length();
  c.version_arg = version_arg;
  c.requested = tag;
  c.cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  c.rows = rows;
  r.search = version_arg != nullptr;
  assign(r.routine, r.search ? "LGETZM" : "GETZM-");
  set_cver_version(r.search ? *version_arg : -1);
  r.sections = 0;
}

// Reads and checks the next header; false when the call ends here with a status code.
bool read_header(Text& typ, Text& tag) {
  Reader& r = reader();
  SectionRead& c = current();
  if (tag.size() < static_cast<std::size_t>(c.n)) {
    write_list(6, "<*GETZM>E> Tag variable length too short on call.");
    write_list(6, "<*GETZM>I> Need ", c.n, ", got ", static_cast<std::int32_t>(tag.size()));
  }
  c.tag_read = text("", static_cast<std::size_t>(c.n));
  Io s;
  {
    UnformattedRead h(c.unit, want_both);
    h.item(r.k);
    h.item(r.l);
    h.item(r.typ);
    h.item(r.vartyp);
    h.item(c.tag_read);
    h.item(r.version);
    s = h.finish();
  }
  if (s == Io::err) {
    write_fmt(6, "(A)", line_start(r.routine, 'E') + "Cannot recognize data");
    assign(tag, "ER");
    return false;
  }
  if (s == Io::end) {
    end_of_sections(SectionEnd{r.routine, c.unit, r.sections, c.version_arg, r.vartyp, r.version,
                               r.header_seen ? &r.typ : nullptr},
                    typ, tag);
    return false;
  }
  r.header_seen = true;
  assign(r.tag, c.tag_read);
  if (r.search)
    write_fmt(6, "(3(A,1X))", " <lgetzm>>>", text(c.requested, static_cast<std::size_t>(c.n)), c.tag_read);

  if (!accept_header(r.routine, typ, r.typ, "CMPX", r.vartyp, tag)) return false;
  c.rows_done = 0;
  return true;
}

// The next row (of K cells, or fewer when the grid holds fewer); a file that ends first
// stops the run.
void read_row(std::span<Cell> row) {
  SectionRead& c = current();
  UnformattedRead in(c.unit, want_end);
  in.items(row);
  if (in.finish() == Io::end) {
    data_truncated(reader().routine, c.rows_done);
  }
  if (!row.empty()) (c.rows_done == 0 ? c.top : c.bottom) = row[0];
  ++c.rows_done;
}

// The end of a section whose rows were read; false when a search goes on to the next.
bool finish_section(Text& typ, Text& tag) {
  Reader& r = reader();
  SectionRead& c = current();
  if (r.trace && c.rows > 0 && c.cells > 0) {
    write_list(6, "<GETZM->>> top    in file: ", c.top);
    write_list(6, "<GETZM->>> bottom in file: ", c.rows > 1 ? c.bottom : c.top);
  }
  if (!r.search) set_cver_version(r.version);
  ++r.sections;

  const bool any = any_tag_request(c.requested);
  const bool differs = !same_tag(c.requested, c.tag_read, c.n);
  if (!r.search && !any && differs) {
    write_fmt(6, "(4A)", line_start(r.routine, 'E') + "Requested tag ", c.requested, ", encountered ", c.tag_read);
    assign(tag, c.tag_read);
  } else {
    if (r.search) {
      if (cver_version() > 0 && r.version != cver_version()) return false;
      if (!any && differs) return false;
    }
    assign(tag, c.tag_read);
    set_cver_version(r.version);
    if (r.search) *c.version_arg = r.version;
  }
  iomsg(r.routine, r.typ, r.vartyp, c.unit, c.tag_read, r.version);
  assign(typ, r.typ);
  return true;
}

void read_sections(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg) {
  const int rows = rows_to_read(grid.size(), k, l);
  begin_call(unit, k, rows, tag, version_arg);
  const std::size_t cells = current().cells;
  for (;;) {
    if (!read_header(typ, tag)) return;
    for (int j = rows; j >= 1; --j) read_row(grid.subspan(cells * static_cast<std::size_t>(j - 1), cells));
    if (finish_section(typ, tag)) return;
  }
}

// A row of the section written: its cells, divided by s unless s is 1.
void write_row(int unit, std::span<const Cell> row, float s) {
  UnformattedWrite w(unit);
  if (s == 1.0f) {
    w.items(row);
  } else {
    // Scaled values go out in chunks of a small work row.
    Cell chunk[512];
    for (std::size_t i = 0; i < row.size(); i += 512) {
      const std::size_t m = std::min<std::size_t>(512, row.size() - i);
      for (std::size_t q = 0; q < m; ++q) chunk[q] = Cell(row[i + q].real() / s, row[i + q].imag() / s);
      w.items(std::span<const Cell>(chunk, m));
    }
  }
  w.finish();
}

}  // namespace

int getsiz(int unit, int& k, int& l) { return size_peek(unit, k, l, false); }
int getsiz_e(int unit, int& k, int& l) { return size_peek(unit, k, l, true); }

void getzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag) {
  read_sections(unit, grid, k, l, typ, tag, nullptr);
}

void lgetzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version) {
  read_sections(unit, grid, k, l, typ, tag, &version);
}

void getver(int& version) {
  if (cver_version() == -1) write_fmt(6, "(A)", " <GETVER>W> Bad version number due to recent read problem.");
  version = cver_version();
}

void getzm_msg(int flag) { reader().trace = flag; }

bool getzm_begin(int unit, int k, int l, Text& typ, Text& tag, int& version) {
  begin_call(unit, k, l > 0 ? l : 0, tag, nullptr);
  if (!read_header(typ, tag)) return false;
  assign(tag, current().tag_read);
  version = reader().version;
  return true;
}

void getzm_row(std::span<Cell> row) { read_row(row); }

void getzm_end(Text& typ, Text& tag) { finish_section(typ, tag); }

namespace {
constexpr std::size_t row_record_limit = std::size_t{1} << 27;  // the record layer's longest record

std::uint32_t native_marker(const std::byte* p) {
  std::uint32_t m;
  std::memcpy(&m, p, 4);
  return m;
}
}  // namespace

int getzm_row_records(std::span<std::byte> records, int n) {
  SectionRead& c = current();
  const std::size_t data = c.cells * sizeof(Cell), size = data + 8;
  if (n <= 0 || c.cells == 0 || data > row_record_limit || records.size() / size < static_cast<std::size_t>(n) ||
      unit_is_big_endian(c.unit) || std::endian::native != std::endian::little)
    return 0;
  // The unit must be able to go back, should a record not be one row.
  const std::int64_t at = unit_position(c.unit);
  if (seek_unit(c.unit, at) != 0) return 0;
  const std::size_t bytes = size * static_cast<std::size_t>(n);
  bool whole = read_unit_bytes(c.unit, records.data(), bytes) == static_cast<long>(bytes);
  for (std::size_t i = 0; whole && i < static_cast<std::size_t>(n); ++i) {
    const std::byte* r = records.data() + size * i;
    whole = native_marker(r) == data && native_marker(r + 4 + data) == data;
  }
  if (!whole) {
    seek_unit(c.unit, at);
    return 0;
  }
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i, ++c.rows_done)  // the trace's cells, as read_row keeps them
    std::memcpy(c.rows_done == 0 ? &c.top : &c.bottom, records.data() + size * i + 4, sizeof(Cell));
  return n;
}

void outzm_begin(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  UnformattedWrite h(unit);
  h.item(static_cast<std::int32_t>(k));
  h.item(static_cast<std::int32_t>(l));
  h.item(text(typ, 1));
  h.item("CMPX");
  h.item(text(tag, static_cast<std::size_t>(cver_tag_length())));
  h.item(static_cast<std::int32_t>(cver_version()));
  h.finish();
}

void outzm_row(int unit, std::span<const Cell> row) { write_row(unit, row, 1.0f); }

void outzm_end(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  aiomsg("OUTZM-", typ, k, l, "CMPX", unit, text(tag, static_cast<std::size_t>(cver_tag_length())), cver_version());
}

bool outzm_row_records(int unit, std::span<const std::byte> records, int k, int n, bool reversed,
                       std::size_t first) {
  if (unit_is_big_endian(unit) || std::endian::native != std::endian::little) return false;
  const std::size_t data = static_cast<std::size_t>(k > 0 ? k : 0) * sizeof(Cell), size = data + 8;
  const std::size_t cut = first < static_cast<std::size_t>(k > 0 ? k : 0) ? first * sizeof(Cell) : 0;
  // A record is its leading marker, the cells from `first` on, those before it and the
  // trailing marker; records in the order held run together into one piece.
  constexpr std::size_t batch = 256;
  BytePiece pieces[batch];
  std::size_t m = 0;
  const auto put = [&](const std::byte* p, std::size_t bytes) {
    if (bytes == 0) return;
    if (m > 0 && static_cast<const std::byte*>(pieces[m - 1].data) + pieces[m - 1].size == p) {
      pieces[m - 1].size += bytes;
      return;
    }
    if (m == batch) {
      write_unit_pieces(unit, pieces);
      m = 0;
    }
    pieces[m++] = BytePiece{p, bytes};
  };
  for (std::size_t t = 0; t < static_cast<std::size_t>(n > 0 ? n : 0); ++t) {
    const std::byte* r = records.data() + size * (reversed ? static_cast<std::size_t>(n) - 1 - t : t);
    put(r, 4);
    put(r + 4 + cut, data - cut);
    put(r + 4, cut);
    put(r + 4 + data, 4);
  }
  write_unit_pieces(unit, std::span<const BytePiece>(pieces, m));
  return true;
}

std::int64_t outzm_header_bytes() { return 4 + 17 + cver_tag_length() + 4; }

std::int64_t outzm_row_bytes(int k) { return 8 + 8 * static_cast<std::int64_t>(k > 0 ? k : 0); }

void outzmn(int unit, std::span<const Cell> grid, float s, int k, int l, std::string_view typ, std::string_view tag) {
  if (std::fabs(s) < 1.0e-30f) {
    write_fmt(6, "(A)", " <OUTZMN>E> Scaling by zero. No output.");
    return;
  }
  outzm_begin(unit, k, l, typ, tag);
  for (int j = l; j >= 1; --j) write_row(unit, grid_row(grid, k, j), s);
  outzm_end(unit, k, l, typ, tag);
}

void outzm(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
