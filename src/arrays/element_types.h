// What the readers and writers of FLAG, REAL, DBLE and LOG1 sections share in both
// representations: the row formats in force, the routine tags of a member, and rows
// that go through a work row of logicals.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/section_layout.h>

namespace kvax {

// The row formats of an element type: the fixed ones of the format, or for floating
// values those of /CODFMT/ (DBLE rows are written under DFMT and read under EFMT).
inline std::string_view row_write_format(Element e) {
  if (e == Element::real || e == Element::cmpx) return efmt();
  if (e == Element::dble) return dfmt();
  return traits(e).write_format;
}
inline std::string_view row_read_format(Element e) {
  if (e == Element::real || e == Element::dble) return efmt();
  return traits(e).read_format;
}

// A writer: its routine tag, and whether its report names the grid size (aiomsg, for
// unformatted writers).
struct WriterTags {
  std::string_view routine;
  bool sized_report;
};

// A reader: the routine tag of the header check, the one of its messages and report,
// the element words it accepts, and whether TYP receives the status letters "r", "e".
struct ReaderTags {
  std::string_view check;
  std::string_view routine;
  std::string_view types;
  bool status_letters;
};

// Hands the n elements of a row to piece(first, buffer) in pieces as long as the work
// row; a work row that holds nothing is replaced by a small one of our own.
template <class Piece>
void through_work_row(std::span<Logical1> work, std::size_t n, Piece&& piece) {
  Logical1 own[256];
  const std::span<Logical1> buf = work.empty() ? std::span<Logical1>(own) : work;
  for (std::size_t i = 0; i < n; i += buf.size()) piece(i, buf.first(std::min(buf.size(), n - i)));
}

}  // namespace kvax
