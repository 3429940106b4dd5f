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

void read_sections(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg) {
  Reader& r = reader();
  const int n = cver_tag_length();
  r.search = version_arg != nullptr;
  assign(r.routine, r.search ? "Lgetzm" : "GetzmF");
  r.version = r.search ? *version_arg : -1;
  const int requested_version = r.version;
  r.sections = 0;
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const int rows = rows_to_read(grid.size(), k, l);
  const std::string format = header_format(n);
  const Text requested = tag;

  for (;;) {
    Text tag_read = text("", static_cast<std::size_t>(n > 0 ? n : 1));
    std::int32_t hk = 0, hl = 0, hver = 0;
    Text htyp = text("", 1), hvartyp = text("", 4);
    const Io s = read_fmt(unit, want_both, format, hk, hl, htyp, hvartyp, tag_read, hver);
    if (s == Io::err) {
      write_fmt(6, "(A)", line_start(r.routine, 'E') + "Cannot recognize data");
      assign(tag, "ER");
      return;
    }
    if (s == Io::end) {
      end_of_sections(SectionEnd{r.routine, unit, r.sections, version_arg, r.vartyp, r.version_read,
                                 r.header_seen ? &r.typ : nullptr},
                      typ, tag);
      return;
    }
    r.header_seen = true;
    r.k = hk;
    r.l = hl;
    r.version_read = hver;
    assign(r.typ, htyp);
    assign(r.vartyp, hvartyp);
    tag_read.resize(static_cast<std::size_t>(n > 0 ? n : 0));

    const int check = rparse(r.routine, typ, htyp, "CMPX|REAL|DBLE", hvartyp);
    if (check == 1) {
      assign(tag, "ET");
      return;
    }
    if (check == 2) {
      assign(tag, "EC");
      return;
    }
    assign(typ, htyp);

    for (int j = rows; j >= 1; --j) {
      InputStatement row(unit, want_end, row_input_format);
      row.items(grid.subspan(cells * static_cast<std::size_t>(j - 1), cells));
      if (row.finish() == Io::end || row.ran_past_file_end()) {
        write_fmt(6, "(A,I4,A)", line_start(r.routine, 'T') + "Data truncated after ", rows - j, " operations.");
        stop_run();
      }
    }
    r.version = hver;
    ++r.sections;

    const bool any = any_tag_request(requested);
    const bool match = same_tag(requested, tag_read, n);
    if (!any && !match) {
      if (r.search) continue;
      write_fmt(6, "(2(A,A2))", line_start(r.routine, 'E') + "Requested tag ", requested, ", encountered ", tag_read);
    } else if (r.search && requested_version > 0 && hver != requested_version) {
      continue;
    }
    assign(tag, tag_read);
    if (r.search) *version_arg = hver;
    iomsg(r.routine, htyp, hvartyp, unit, tag_read, hver);
    assign(typ, htyp);
    return;
  }
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

void getver_f(int& version) {
  if (reader().version == -1) write_fmt(6, "(A)", " <GetveF>W> Bad version number due to recent read problem.");
  version = reader().version;
}

void outzmn_f(int unit, std::span<const Cell> grid, float scale, int k, int l, std::string_view typ,
              std::string_view tag) {
  if (std::fabs(scale) < 1.0e-30f) {
    write_fmt(6, "(A)", " <OutzNF>E> Scaling by zero. No output.");
    return;
  }
  const int n = cver_tag_length();
  const Text tag_n = text(tag, static_cast<std::size_t>(n));
  const int version = cver_version();
  write_fmt(unit, "(2I10,1X,A1,1X,A4,1X,A,1X,I10)", static_cast<std::int32_t>(k), static_cast<std::int32_t>(l),
            text(typ, 1), "CMPX", tag_n, static_cast<std::int32_t>(version));
  const Text& format = efmt();
  for (int j = l; j >= 1; --j) {
    OutputStatement w(unit, format);
    const std::span<const Cell> row = grid_row(grid, k, j);
    if (scale == 1.0f) {
      w.items(row);
    } else {
      for (const Cell& c : row) {
        w.item(c.real() / scale);
        w.item(c.imag() / scale);
      }
    }
    w.finish();
  }
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  iomsg("OutzmF", typ, "CMPX", unit, tag_n, version);
}

void outzm_f(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn_f(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
