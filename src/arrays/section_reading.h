// What the complex section readers of both representations share: the any-tag request,
// the comparison of a requested tag with the tag of a header, the rows to read, and the
// end of file where a header was expected; with the writers, the rows of the grid.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <kvax/arrays/section_layout.h>
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
template <class Cell>
std::span<const Cell> grid_row(std::span<const Cell> grid, int k, int j) {
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const std::size_t at = cells * static_cast<std::size_t>(j - 1);
  return at + cells <= grid.size() ? grid.subspan(at, cells) : std::span<const Cell>();
}

// " <routine>m> ": the start of a reader's message of severity mark.
inline std::string line_start(std::string_view routine, char mark) {
  return " <" + std::string(routine) + ">" + mark + "> ";
}

// Checks a header's grid type and element word against the request (rparse): true when
// accepted, with TYP then the grid type read; false with the status code "ET" or "EC"
// in TAG.
bool accept_header(std::string_view routine, Text& typ, std::string_view typ_read, std::string_view types,
                   std::string_view vartyp_read, Text& tag);

// A file that ends inside a section's rows: " <routine>T> Data truncated after n
// operations." and the stop.
[[noreturn]] void data_truncated(std::string_view routine, int rows_done);

// The end of file where a header was expected: the "End of file" line (severity E when
// no section was read in this call, W after one), for a search the ditto report of the
// last section, and the status code "EF" (a search: "EV" and the last version read).
// last_typ is the grid type of the last header read during the run, or nullptr.
struct SectionEnd {
  std::string_view routine;  // 6 characters
  int unit;
  int sections;
  int* version_arg;  // the search's version argument; nullptr for a read by position
  std::string_view last_vartyp;
  int last_version;
  const Text* last_typ;
};
void end_of_sections(const SectionEnd& e, Text& typ, Text& tag);

}  // namespace kvax
