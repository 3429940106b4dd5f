// Sections on units, in both representations: the rows to read, the one reader of
// complex sections behind getzm, lgetzm, getzm_f and lgetzm_f, and the one writer behind
// outzm, outzmn, outzm_f and outzmn_f; each is parameterised by representation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <kvax/arrays/section_headers.h>
#include <kvax/arrays/section_layout.h>
#include <kvax/io/iostat.h>
#include <kvax/text/text.h>

namespace kvax {

// The rows a reader takes for a header of K x L cells into a grid of grid_cells: every row
// is one record (one read statement), also a row of no cells; the caller's K x L bounds
// the cells read, and never more than the grid holds.
inline int rows_to_read(std::size_t grid_cells, int k, int l) {
  if (l <= 0) return 0;
  if (k <= 0) return l;
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(l), grid_cells / static_cast<std::size_t>(k)));
}

// Row j (from 1) of K cells, or no cells when the grid does not hold it.
template <class T>
std::span<T> grid_row(std::span<T> grid, int k, int j) {
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const std::size_t at = cells * static_cast<std::size_t>(j - 1);
  return at + cells <= grid.size() ? grid.subspan(at, cells) : std::span<T>();
}

// " <routine>m> ": the start of a reader's message of severity mark.
inline std::string line_start(std::string_view routine, char mark) {
  return " <" + std::string(routine) + ">" + mark + "> ";
}

// What tells the complex reader of one representation from the other's: its names, the
// element words it accepts, its messages and where its version is kept.
struct ComplexReaderKind {
  bool formatted;
  std::string_view routine;         // getzm
  std::string_view search_routine;  // lgetzm
  std::string_view types;           // the words rparse accepts
  std::string_view getver_message;  // the warning of getver for a version of -1
  // Unformatted: the version lives in /CVER/ and changes only with a section taken; the
  // tag variable is checked for length, a search traces every header, and getzm_msg
  // traces cells. Formatted: the reader keeps its version, which every section read
  // sets, also one a search passes over; the mismatch line shows the tags' first two
  // characters.
};

// One reader of complex sections: a call of getzm (or lgetzm) as its steps, the header
// and its checks, the rows from L down to 1 and the end (the tag decision and the
// report), with the state of the call and what the reader keeps between calls.
class ComplexReader {
 public:
  explicit ComplexReader(const ComplexReaderKind& kind) : kind_(kind) { last_.version = -1; }

  // getzm (version_arg nullptr) and lgetzm: the whole read.
  void read(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int* version_arg);
  // The same in steps, for a caller that takes the rows one at a time.
  bool begin(int unit, int k, int l, Text& typ, Text& tag, int& version);
  void row(std::span<Cell> row);
  int row_records(std::span<std::byte> records, int n);
  void end(Text& typ, Text& tag) { finish_section(typ, tag); }

  // getver: the version of the section last read, with the warning for -1.
  int getver() const;
  void set_trace(int flag) { trace_ = flag; }

 private:
  void begin_call(int unit, int k, int rows, const Text& tag, int* version_arg);
  bool read_header_of_section(Text& typ, Text& tag);
  bool finish_section(Text& typ, Text& tag);
  int version() const;
  void set_version(int v);

  const ComplexReaderKind& kind_;
  // Kept between calls: the last header read, the version (formatted), the trace flag.
  SectionHeader last_;
  bool header_seen_ = false;
  int own_version_ = -1;
  int trace_ = 0;
  // The call.
  bool search_ = false;
  int sections_ = 0;
  int unit_ = 0;
  int n_ = 2;  // tag length
  int* version_arg_ = nullptr;
  int requested_version_ = -1;
  Text requested_ = text("", max_tag_length);
  int rows_ = 0;
  std::size_t cells_ = 0;
  int rows_done_ = 0;
  Cell top_{}, bottom_{};  // first cells of the first and the last row read, for the trace
};

ComplexReader& unformatted_reader();  // getzm, lgetzm, getver, getzm_msg
ComplexReader& formatted_reader();    // getzm_f, lgetzm_f, getver_f

// The writer of complex sections, with the version of /CVER/ and its tag length: the
// header, one row (its cells divided by scale unless scale is 1; formatted: under EFMT),
// the end (the unit flushed, then the report: "OUTZM-" through aiomsg, "OutzmF" through
// iomsg), and the whole section, refused with " <OUTZMN>E> Scaling by zero. No output."
// (" <OutzNF>E> ...") when |scale| is below 1.0E-30.
void write_complex_header(bool formatted, int unit, int k, int l, std::string_view typ, std::string_view tag);
void write_complex_row(bool formatted, int unit, std::span<const Cell> row, float scale);
void end_complex_section(bool formatted, int unit, int k, int l, std::string_view typ, std::string_view tag);
void write_complex_section(bool formatted, int unit, std::span<const Cell> grid, float scale, int k, int l,
                           std::string_view typ, std::string_view tag);

}  // namespace kvax
