// Readers and writers of unformatted complex sections.
#include <kvax/arrays/unformatted_sections.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

void read_sections(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg) {
  Reader& r = reader();
  const int n = cver_tag_length();
  r.search = version_arg != nullptr;
  assign(r.routine, r.search ? "LGETZM" : "GETZM-");
  set_cver_version(r.search ? *version_arg : -1);
  r.sections = 0;
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const int rows = rows_to_read(grid.size(), k, l);
  const Text requested = tag;

  for (;;) {
    if (tag.size() < static_cast<std::size_t>(n)) {
      write_list(6, "<*GETZM>E> Tag variable length too short on call.");
      write_list(6, "<*GETZM>I> Need ", n, ", got ", static_cast<std::int32_t>(tag.size()));
    }
    Text tag_read = text("", static_cast<std::size_t>(n));
    Io s;
    {
      UnformattedRead h(unit, want_both);
      h.item(r.k);
      h.item(r.l);
      h.item(r.typ);
      h.item(r.vartyp);
      h.item(tag_read);
      h.item(r.version);
      s = h.finish();
    }
    if (s == Io::err) {
      write_fmt(6, "(A)", line_start(r.routine, 'E') + "Cannot recognize data");
      assign(tag, "ER");
      return;
    }
    if (s == Io::end) {
      end_of_sections(
          SectionEnd{r.routine, unit, r.sections, version_arg, r.vartyp, r.version, r.header_seen ? &r.typ : nullptr},
          typ, tag);
      return;
    }
    r.header_seen = true;
    assign(r.tag, tag_read);
    if (r.search) write_fmt(6, "(3(A,1X))", " <lgetzm>>>", text(requested, static_cast<std::size_t>(n)), tag_read);

    const int check = rparse(r.routine, typ, r.typ, "CMPX", r.vartyp);
    if (check == 1) {
      assign(tag, "ET");
      return;
    }
    if (check == 2) {
      assign(tag, "EC");
      return;
    }
    assign(typ, r.typ);

    for (int j = rows; j >= 1; --j) {
      UnformattedRead row(unit, want_end);
      row.items(grid.subspan(cells * static_cast<std::size_t>(j - 1), cells));
      if (row.finish() == Io::end) {
        write_fmt(6, "(A,I4,A)", line_start(r.routine, 'T') + "Data truncated after ", rows - j, " operations.");
        stop_run();
      }
    }
    if (r.trace && rows > 0 && cells > 0) {
      write_list(6, "<GETZM->>> top    in file: ", grid[cells * static_cast<std::size_t>(rows - 1)]);
      write_list(6, "<GETZM->>> bottom in file: ", grid[0]);
    }
    if (!r.search) set_cver_version(r.version);
    ++r.sections;

    const bool any = any_tag_request(requested);
    const bool differs = !same_tag(requested, tag_read, n);
    if (!r.search && !any && differs) {
      write_fmt(6, "(4A)", line_start(r.routine, 'E') + "Requested tag ", requested, ", encountered ", tag_read);
      assign(tag, tag_read);
    } else {
      if (r.search) {
        if (cver_version() > 0 && r.version != cver_version()) continue;
        if (!any && differs) continue;
      }
      assign(tag, tag_read);
      set_cver_version(r.version);
      if (r.search) *version_arg = r.version;
    }
    iomsg(r.routine, r.typ, r.vartyp, unit, tag_read, r.version);
    assign(typ, r.typ);
    return;
  }
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

void outzmn(int unit, std::span<const Cell> grid, float s, int k, int l, std::string_view typ, std::string_view tag) {
  if (std::fabs(s) < 1.0e-30f) {
    write_fmt(6, "(A)", " <OUTZMN>E> Scaling by zero. No output.");
    return;
  }
  const int n = cver_tag_length();
  const Text tag_n = text(tag, static_cast<std::size_t>(n));
  {
    UnformattedWrite h(unit);
    h.item(static_cast<std::int32_t>(k));
    h.item(static_cast<std::int32_t>(l));
    h.item(text(typ, 1));
    h.item("CMPX");
    h.item(tag_n);
    h.item(static_cast<std::int32_t>(cver_version()));
    h.finish();
  }
  for (int j = l; j >= 1; --j) {
    UnformattedWrite w(unit);
    const std::span<const Cell> row = grid_row(grid, k, j);
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
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  aiomsg("OUTZM-", typ, k, l, "CMPX", unit, tag_n, cver_version());
}

void outzm(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag) {
  outzmn(unit, grid, 1.0f, k, l, typ, tag);
}

}  // namespace kvax
