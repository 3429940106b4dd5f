// Readers and writers of formatted complex sections.
#include <kvax/arrays/formatted_sections.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "arrays/section_reading.h"

namespace kvax {
namespace {

// The rows are read back under ten 12-column fields per line, whatever EFMT is.
constexpr std::string_view row_input_format = "(10e12.6)";

// The reader's record; only the current version outlives a call.
struct Reader {
  bool search = false;
  Text routine = text("GetzmF", 6);
  int version = -1;
  int sections = 0;
  std::int32_t k = 0, l = 0, version_read = -1;
  Text typ = text("", 1);
  Text vartyp = text("", 4);
  bool header_seen = false;
};

Reader& reader() {
  static Reader r;
  return r;
}

// The header layout for tag length n: the tag takes columns 29 to 28+n and the version
// the ten columns after the blank that follows it, where the writer puts them.
std::string header_format(int n) { return "(2I10,1X,A1,1X,A4,1X,A" + std::to_string(n > 0 ? n : 1) + ",1X,I10)"; }

// The steps of one section read, as for the unformatted reader: the header and its
// checks, the rows from L down to 1, and the end.
struct SectionRead {
  int unit = 0;
  int n = 2;  // tag length
  int* version_arg = nullptr;
  int requested_version = -1;
  Text requested = text("", max_tag_length);
  Text tag_read = text("", 2);
  std::int32_t hver = 0;
  Text htyp = text("", 1), hvartyp = text("", 4);
  int rows_done = 0;
};

SectionRead& current() {
  static SectionRead c;
  return c;
}

void begin_call(int unit, const Text& tag, int* version_arg) {
  Reader& r = reader();
  SectionRead& c = current();
  c.unit = unit;
  c.n = cver_tag_length();
  c.version_arg = version_arg;
  c.requested = tag;
  r.search = version_arg != nullptr;
  assign(r.routine, r.search ? "Lgetzm" : "GetzmF");
  r.version = r.search ? *version_arg : -1;
  c.requested_version = r.version;
  r.sections = 0;
}

// Reads and checks the next header; false when the call ends here with a status code.
bool read_header(Text& typ, Text& tag) {
  Reader& r = reader();
  SectionRead& c = current();
  const int n = c.n;
  c.tag_read = text("", static_cast<std::size_t>(n > 0 ? n : 1));
  std::int32_t hk = 0, hl = 0;
  c.hver = 0;
  assign(c.htyp, "");
  assign(c.hvartyp, "");
  const Io s = read_fmt(c.unit, want_both, header_format(n), hk, hl, c.htyp, c.hvartyp, c.tag_read, c.hver);
  if (s == Io::err) {
    write_fmt(6, "(A)", line_start(r.routine, 'E') + "Cannot recognize data");
    assign(tag, "ER");
    return false;
  }
  if (s == Io::end) {
    end_of_sections(SectionEnd{r.routine, c.unit, r.sections, c.version_arg, r.vartyp, r.version_read,
                               r.header_seen ? &r.typ : nullptr},
                    typ, tag);
    return false;
  }
  r.header_seen = true;
  r.k = hk;
  r.l = hl;
  r.version_read = c.hver;
  assign(r.typ, c.htyp);
  assign(r.vartyp, c.hvartyp);
  c.tag_read.resize(static_cast<std::size_t>(n > 0 ? n : 0));

  if (!accept_header(r.routine, typ, c.htyp, "CMPX|REAL|DBLE", c.hvartyp, tag)) return false;
  c.rows_done = 0;
  return true;
}

// The next row; a file that ends first, or is cut inside the row's last line, stops the run.
void read_row(std::span<Cell> row) {
  SectionRead& c = current();
  bool cut = false;
  const std::span<float> values(reinterpret_cast<float*>(row.data()), 2 * row.size());
  if (read_real_row(c.unit, want_end, row_input_format, values, &cut) == Io::end || cut) {
    data_truncated(reader().routine, c.rows_done);
  }
  ++c.rows_done;
}

// The end of a section whose rows were read; false when a search goes on to the next.
bool finish_section(Text& typ, Text& tag) {
  Reader& r = reader();
  SectionRead& c = current();
  r.version = c.hver;
  ++r.sections;

  const bool any = any_tag_request(c.requested);
  const bool match = same_tag(c.requested, c.tag_read, c.n);
  if (!any && !match) {
    if (r.search) return false;
    write_fmt(6, "(2(A,A2))", line_start(r.routine, 'E') + "Requested tag ", c.requested, ", encountered ",
              c.tag_read);
  } else if (r.search && c.requested_version > 0 && c.hver != c.requested_version) {
    return false;
  }
  assign(tag, c.tag_read);
  if (r.search) *c.version_arg = c.hver;
  iomsg(r.routine, c.htyp, c.hvartyp, c.unit, c.tag_read, c.hver);
  assign(typ, c.htyp);
  return true;
}

void read_sections(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg) {
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const int rows = rows_to_read(grid.size(), k, l);
  begin_call(unit, tag, version_arg);
  for (;;) {
    if (!read_header(typ, tag)) return;
    for (int j = rows; j >= 1; --j) read_row(grid.subspan(cells * static_cast<std::size_t>(j - 1), cells));
    if (finish_section(typ, tag)) return;
  }
}

// A row written under EFMT: its cells, divided by scale unless scale is 1.
void write_row(int unit, std::span<const Cell> row, float scale) {
  if (scale == 1.0f) {
    write_real_row(unit, efmt(), std::span<const float>(reinterpret_cast<const float*>(row.data()), 2 * row.size()));
    return;
  }
  OutputStatement w(unit, efmt());
  for (const Cell& c : row) {
    w.item(c.real() / scale);
    w.item(c.imag() / scale);
  }
  w.finish();
}

}  // namespace

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
  read_sections(unit, grid, k, l, typ, tag, nullptr);
}

void lgetzm_f(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version) {
  read_sections(unit, grid, k, l, typ, tag, &version);
}

bool getzm_begin_f(int unit, Text& typ, Text& tag, int& version) {
  begin_call(unit, tag, nullptr);
  if (!read_header(typ, tag)) return false;
  assign(tag, current().tag_read);
  version = current().hver;
  return true;
}

void getzm_row_f(std::span<Cell> row) { read_row(row); }

void getzm_end_f(Text& typ, Text& tag) { finish_section(typ, tag); }

void getver_f(int& version) {
  if (reader().version == -1) write_fmt(6, "(A)", " <GetveF>W> Bad version number due to recent read problem.");
  version = reader().version;
}

void outzm_begin_f(int unit, int k, int l, std::string_view typ, std::string_view tag) {
  write_fmt(unit, "(2I10,1X,A1,1X,A4,1X,A,1X,I10)", static_cast<std::int32_t>(k), static_cast<std::int32_t>(l),
            text(typ, 1), "CMPX", text(tag, static_cast<std::size_t>(cver_tag_length())),
            static_cast<std::int32_t>(cver_version()));
}

void outzm_row_f(int unit, std::span<const Cell> row) { write_row(unit, row, 1.0f); }

void outzm_end_f(int unit, std::string_view typ, std::string_view tag) {
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  iomsg("OutzmF", typ, "CMPX", unit, text(tag, static_cast<std::size_t>(cver_tag_length())), cver_version());
}

std::int64_t outzm_header_bytes_f() { return 40 + cver_tag_length(); }

std::int64_t outzm_row_bytes_f(int k) {
  if (trimmed(efmt()) != "(1p,10e12.4,:)") return -1;
  const std::int64_t values = 2 * static_cast<std::int64_t>(k > 0 ? k : 0);
  const std::int64_t lines = values == 0 ? 1 : (values + 9) / 10;
  return 12 * values + lines;
}

void outzmn_f(int unit, std::span<const Cell> grid, float scale, int k, int l, std::string_view typ,
              std::string_view tag) {
  if (std::fabs(scale) < 1.0e-30f) {
    write_fmt(6, "(A)", " <OutzNF>E> Scaling by zero. No output.");
    return;
  }
  outzm_begin_f(unit, k, l, typ, tag);
  for (int j = l; j >= 1; --j) write_row(unit, grid_row(grid, k, j), scale);
  outzm_end_f(unit, typ, tag);
}

void outzm_f(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn_f(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
