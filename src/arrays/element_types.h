// What the readers and writers of FLAG, REAL, DBLE and LOG1 sections share in both
// representations: the element types with their header words and row formats, the
// routine tags of a member, and rows that go through a work row of logicals.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/typed_unformatted_sections.h>

namespace kvax {

// An element type: the word in the header and the formats of its formatted rows (the
// write formats end in a colon, so a row's last line is not padded).
template <class T>
struct ElementType;

template <>
struct ElementType<Flag> {
  static constexpr std::string_view vartyp = "FLAG";
  static std::string_view write_format() { return "(20I6,:)"; }
  static std::string_view read_format() { return "(20I6)"; }
};

template <>
struct ElementType<float> {
  static constexpr std::string_view vartyp = "REAL";
  static std::string_view write_format() { return efmt(); }
  static std::string_view read_format() { return efmt(); }
};

// DBLE values are written under DFMT and read back under EFMT: with the initial formats
// the columns are the same, and the reader takes either exponent letter.
template <>
struct ElementType<double> {
  static constexpr std::string_view vartyp = "DBLE";
  static std::string_view write_format() { return dfmt(); }
  static std::string_view read_format() { return efmt(); }
};

template <>
struct ElementType<Logical1> {
  static constexpr std::string_view vartyp = "LOG1";
  static std::string_view write_format() { return "(120L1,:)"; }
  static std::string_view read_format() { return "(120L1)"; }
};

// A writer: its routine tag, and whether its report names the grid size (aiomsg).
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

// The elements of row j of a grid that holds it (rows_to_read keeps the readers to those).
template <class T>
std::span<T> row_of(std::span<T> grid, int k, int j) {
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  return grid.subspan(cells * static_cast<std::size_t>(j - 1), cells);
}

// Hands the n elements of a row to piece(first, buffer) in pieces as long as the work
// row; a work row that holds nothing is replaced by a small one of our own.
template <class Piece>
void through_work_row(std::span<Logical1> work, std::size_t n, Piece&& piece) {
  Logical1 own[256];
  const std::span<Logical1> buf = work.empty() ? std::span<Logical1>(own) : work;
  for (std::size_t i = 0; i < n; i += buf.size()) piece(i, buf.first(std::min(buf.size(), n - i)));
}

}  // namespace kvax
