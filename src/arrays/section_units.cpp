// Headers on units, and the one reader and writer of complex sections in both representations.
#include "arrays/section_units.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/cver.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

namespace kvax {
namespace {

// A file that ends inside a section's rows: " <routine>T> Data truncated after n
// operations." and the stop.
[[noreturn]] void data_truncated(std::string_view routine, int rows_done) {
  write_fmt(6, "(A,I4,A)", line_start(routine, 'T') + "Data truncated after ", rows_done, " operations.");
  stop_run();
}

Text letter(char typ) { return Text(1, typ); }

const ComplexReaderKind unformatted_kind{false, "GETZM-", "LGETZM", "CMPX",
                                         " <GETVER>W> Bad version number due to recent read problem."};
const ComplexReaderKind formatted_kind{true, "GetzmF", "Lgetzm", "CMPX|REAL|DBLE",
                                       " <GetveF>W> Bad version number due to recent read problem."};

}  // namespace

Io read_section_header(int unit, unsigned want, bool formatted, HeaderItems items, int n, SectionHeader& h) {
  const bool own = n == own_tag_length;
  if (own) n = cver_tag_length();
  if (formatted) {
    Text line = text("", 64);  // the longest header line has 55 columns
    const Io s = read_fmt(unit, want, "(A)", line);
    if (s != Io::ok) return s;
    if (own) n = header_line_tag_length(line, n);
    const HeaderParse p = items == HeaderItems::by_word ? parse_header_line(line, n, h)
                          : parse_header_line(line, items == HeaderItems::head ? Element::real : Element::cmpx, n, h);
    if (p == HeaderParse::ok) return Io::ok;
    if (!(want & want_err)) fatal_io(iostat::bad_numeric, "READ", unit);
    return Io::err;
  }
  // The items are taken as one would read them, so that a record too short for them is
  // the record layer's condition.
  std::byte data[head_data_bytes + max_tag_length + 4] = {};
  std::size_t rest = header_data_bytes(Element::cmpx, n) - head_data_bytes;
  UnformattedRead r(unit, want);
  r.items(std::span(reinterpret_cast<std::int8_t*>(data), head_data_bytes));
  const bool complex = items == HeaderItems::complex ||
                       (items == HeaderItems::by_word && std::memcmp(data + 9, "CMPX", 4) == 0);
  if (complex && own && tag_length_of_record(r.record_length()) > 0) {
    n = tag_length_of_record(r.record_length());
    rest = header_data_bytes(Element::cmpx, n) - head_data_bytes;
  }
  if (complex) r.items(std::span(reinterpret_cast<std::int8_t*>(data + head_data_bytes), rest));
  const Io s = r.finish();
  if (s == Io::ok) parse_header_record(std::span(data, complex ? head_data_bytes + rest : head_data_bytes),
                                       unit_is_big_endian(unit), n, h, complex ? HeaderItems::complex : HeaderItems::head);
  return s;
}

void write_section_header(int unit, bool formatted, const SectionHeader& h, int n) {
  if (formatted) {
    write_fmt(unit, "(A)", format_header_line(h, n));
    return;
  }
  std::byte data[head_data_bytes + max_tag_length + 4];
  const std::size_t size = format_header_record(h, n, unit_is_big_endian(unit), data);
  UnformattedWrite w(unit);
  w.items(std::span(reinterpret_cast<const std::int8_t*>(data), size));
  w.finish();
}

ComplexReader& unformatted_reader() {
  static ComplexReader r(unformatted_kind);
  return r;
}

ComplexReader& formatted_reader() {
  static ComplexReader r(formatted_kind);
  return r;
}

int ComplexReader::version() const { return kind_.formatted ? own_version_ : cver_version(); }

void ComplexReader::set_version(int v) {
  if (kind_.formatted) {
    own_version_ = v;
  } else {
    set_cver_version(v);
  }
}

int ComplexReader::getver() const {
  if (version() == -1) write_fmt(6, "(A)", kind_.getver_message);
  return version();
}

void ComplexReader::begin_call(int unit, int k, int rows, const Text& tag, int* version_arg) {
  unit_ = unit;
  n_ = cver_tag_length();
  version_arg_ = version_arg;
  requested_ = tag;
  cells_ = k > 0 ? static_cast<std::size_t>(k) : 0;
  rows_ = rows;
  search_ = version_arg != nullptr;
  requested_version_ = search_ ? *version_arg : -1;
  set_version(requested_version_);
  sections_ = 0;
}

// Reads and checks the next header; false when the call ends here with a status code.
bool ComplexReader::read_header_of_section(Text& typ, Text& tag) {
  const std::string_view routine = search_ ? kind_.search_routine : kind_.routine;
  if (!kind_.formatted && tag.size() < static_cast<std::size_t>(n_)) {
    write_list(6, "<*GETZM>E> Tag variable length too short on call.");
    write_list(6, "<*GETZM>I> Need ", n_, ", got ", static_cast<std::int32_t>(tag.size()));
  }
  SectionHeader h;
  const Io s = read_section_header(unit_, want_both, kind_.formatted, HeaderItems::complex, n_, h);
  if (s == Io::err) {
    write_fmt(6, "(A)", line_start(routine, 'E') + "Cannot recognize data");
    assign(tag, "ER");
    return false;
  }
  if (s == Io::end) {
    // The end of file where a header was expected: the "End of file" line (severity E
    // when no section was read in this call, W after one), for a search the ditto report
    // of the last section, and the status code "EF" (a search: "EV" and the last version
    // read); TYP becomes the grid letter of the last header read during the run.
    write_fmt(6, "(A,I2,A,I5)", line_start(routine, sections_ == 0 ? 'E' : 'W') + "End of file, log.unit ", unit_,
              ". Sections read: ", sections_);
    if (search_ && sections_ > 0) iomsg("  \"   ", typ, last_.vartyp, unit_, tag, last_.version);
    assign(tag, "EF");
    if (search_) {
      *version_arg_ = last_.version;
      assign(tag, "EV");
    }
    if (header_seen_) assign(typ, letter(last_.typ));
    return false;
  }
  header_seen_ = true;
  last_ = h;
  if (search_ && !kind_.formatted)
    write_fmt(6, "(3(A,1X))", " <lgetzm>>>", text(requested_, static_cast<std::size_t>(n_)), last_.tag);
  const int check = rparse(routine, typ, letter(last_.typ), kind_.types, last_.vartyp);
  if (check != 0) {
    assign(tag, check == 1 ? "ET" : "EC");
    return false;
  }
  assign(typ, letter(last_.typ));
  rows_done_ = 0;
  return true;
}

void ComplexReader::row(std::span<Cell> row) {
  const std::string_view routine = search_ ? kind_.search_routine : kind_.routine;
  if (kind_.formatted) {
    bool cut = false;
    const std::span<float> values(reinterpret_cast<float*>(row.data()), 2 * row.size());
    // A file cut inside the row's last line is cut inside the row.
    if (read_real_row(unit_, want_end, complex_read_format, values, &cut) == Io::end || cut)
      data_truncated(routine, rows_done_);
  } else {
    UnformattedRead in(unit_, want_end);
    in.items(row);
    if (in.finish() == Io::end) data_truncated(routine, rows_done_);
  }
  if (!row.empty()) (rows_done_ == 0 ? top_ : bottom_) = row[0];
  ++rows_done_;
}

int ComplexReader::row_records(std::span<std::byte> records, int n) {
  // The records are handed on as rows of cells: only in this machine's byte order.
  if (kind_.formatted || n <= 0 || cells_ == 0 || unit_is_big_endian(unit_) || std::endian::native != std::endian::little)
    return 0;
  const std::size_t data = row_data_bytes(Element::cmpx, static_cast<std::int64_t>(cells_));
  if (read_unit_records(unit_, records, data, n) != n) return 0;
  const std::size_t size = framed_record_bytes(data);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i, ++rows_done_)  // the trace's cells, as row() keeps them
    std::memcpy(rows_done_ == 0 ? &top_ : &bottom_, records.data() + size * i + record_marker_bytes, sizeof(Cell));
  return n;
}

// The end of a section whose rows were read; false when a search goes on to the next.
// The order of the rules: the version read becomes the reader's (formatted: always;
// unformatted: not while a search passes sections over); a plain read of another tag is
// told and returned; a search passes over a section of another version (when one above 0
// is asked for) or of another tag; a section taken gives its tag and version.
bool ComplexReader::finish_section(Text& typ, Text& tag) {
  const std::string_view routine = search_ ? kind_.search_routine : kind_.routine;
  if (trace_ && rows_ > 0 && cells_ > 0) {
    write_list(6, "<GETZM->>> top    in file: ", top_);
    write_list(6, "<GETZM->>> bottom in file: ", rows_ > 1 ? bottom_ : top_);
  }
  const int read_version = last_.version;
  if (kind_.formatted || !search_) set_version(read_version);
  ++sections_;

  const bool any = any_tag_request(requested_);
  const bool differs = !same_tag(requested_, last_.tag, n_);
  if (!search_ && !any && differs) {
    write_fmt(6, kind_.formatted ? "(2(A,A2))" : "(4A)", line_start(routine, 'E') + "Requested tag ", requested_,
              ", encountered ", last_.tag);
  } else if (search_ && ((requested_version_ > 0 && read_version != requested_version_) || (!any && differs))) {
    return false;
  }
  assign(tag, last_.tag);
  set_version(read_version);
  if (search_) *version_arg_ = read_version;
  iomsg(routine, letter(last_.typ), last_.vartyp, unit_, last_.tag, read_version);
  assign(typ, letter(last_.typ));
  return true;
}

void ComplexReader::read(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg) {
  const int rows = rows_to_read(grid.size(), k, l);
  begin_call(unit, k, rows, tag, version_arg);
  for (;;) {
    if (!read_header_of_section(typ, tag)) return;
    for (int j = rows; j >= 1; --j) row(grid.subspan(cells_ * static_cast<std::size_t>(j - 1), cells_));
    if (finish_section(typ, tag)) return;
  }
}

bool ComplexReader::begin(int unit, int k, int l, Text& typ, Text& tag, int& version) {
  begin_call(unit, k, l > 0 ? l : 0, tag, nullptr);
  if (!read_header_of_section(typ, tag)) return false;
  assign(tag, last_.tag);
  version = last_.version;
  return true;
}

void write_complex_header(bool formatted, int unit, int k, int l, std::string_view typ, std::string_view tag) {
  const SectionHeader h{.k = k, .l = l, .typ = grid_letter(typ), .vartyp = "CMPX", .tag = std::string(tag),
                        .version = cver_version()};
  write_section_header(unit, formatted, h, cver_tag_length());
}

void write_complex_row(bool formatted, int unit, std::span<const Cell> row, float scale) {
  const std::span<const float> values(reinterpret_cast<const float*>(row.data()), 2 * row.size());
  if (formatted && scale == 1.0f) {
    write_real_row(unit, efmt(), values);
    return;
  }
  if (formatted) {
    OutputStatement w(unit, efmt());
    for (const float v : values) w.item(v / scale);
    w.finish();
    return;
  }
  UnformattedWrite w(unit);
  if (scale == 1.0f) {
    w.items(row);
  } else {
    // Scaled values go out in chunks of a small work row.
    float chunk[1024];
    for (std::size_t i = 0; i < values.size(); i += 1024) {
      const std::size_t m = std::min<std::size_t>(1024, values.size() - i);
      for (std::size_t q = 0; q < m; ++q) chunk[q] = values[i + q] / scale;
      w.items(std::span<const float>(chunk, m));
    }
  }
  w.finish();
}

void end_complex_section(bool formatted, int unit, int k, int l, std::string_view typ, std::string_view tag) {
  flush_unit(unit);  // a failed write ends the run here, before the report of the section
  const Text t = text(tag, static_cast<std::size_t>(cver_tag_length()));
  if (formatted) {
    iomsg("OutzmF", typ, "CMPX", unit, t, cver_version());
  } else {
    aiomsg("OUTZM-", typ, k, l, "CMPX", unit, t, cver_version());
  }
}

void write_complex_section(bool formatted, int unit, std::span<const Cell> grid, float scale, int k, int l,
                           std::string_view typ, std::string_view tag) {
  if (std::fabs(scale) < 1.0e-30f) {
    write_fmt(6, "(A)", formatted ? " <OutzNF>E> Scaling by zero. No output." : " <OUTZMN>E> Scaling by zero. No output.");
    return;
  }
  write_complex_header(formatted, unit, k, l, typ, tag);
  for (int j = l; j >= 1; --j) write_complex_row(formatted, unit, grid_row(grid, k, j), scale);
  end_complex_section(formatted, unit, k, l, typ, tag);
}

}  // namespace kvax
