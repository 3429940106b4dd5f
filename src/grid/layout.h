// What the grid layer needs of a section's layout in both representations: header sizes,
// row lines and their edits, and the header read from and written into bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <kvax/grid.h>

#include "io/data_edit.h"

namespace kvax::layout {

// Header record data bytes: K, L, grid letter, element word; for complex sections the
// tag of n characters and the version.
std::size_t header_record_bytes(Element e, int n);
// Header line length (without the line feed): "(2I10,1X,A1,1X,A4,1X,An,1X,I10)" for
// complex sections, "(2I5,1X,A1,1X,A4)" for the others.
std::size_t header_line_length(Element e, int n);

// Text rows: values per line, the field width and the edits read and written with.
struct TextRows {
  std::size_t per_line;
  std::size_t width;
  DataEdit read;
  DataEdit write;
};
const TextRows& text_rows(Element e);
// Values of a row of K cells (two a cell for complex sections).
inline std::size_t row_values(Element e, int k) {
  return k > 0 ? static_cast<std::size_t>(k) * (e == Element::cmpx ? 2 : 1) : 0;
}
// Lines of a row of K cells (one line, empty, for no cells) and their bytes with line feeds.
std::size_t row_lines(Element e, int k);
std::size_t row_line_bytes(Element e, int k);
// Bytes of a row record with its markers.
inline std::size_t row_record_bytes(Element e, int k) {
  return 8 + (k > 0 ? static_cast<std::size_t>(k) : 0) * element_size(e);
}

// A header taken from the bytes of its record (in the file's byte order) or its line.
struct Header {
  Element element = Element::cmpx;
  char grid = ' ';
  std::string tag;  // n characters as stored
  int version = -1;
  std::int32_t k = 0, l = 0;
};
// The header of a record of `length` bytes, its tag length from the length when n is 0;
// nullopt when the bytes are no header (an unknown word, a length that does not fit).
std::optional<Header> parse_header_record(const unsigned char* data, std::size_t length, bool big_endian, int n);
// The header of a line; nullopt when it cannot be read.
std::optional<Header> parse_header_line(std::string_view line, int n);
// The tag length a complex header gives away by its size, or 0.
int tag_length_of_record(std::size_t length);
int tag_length_of_line(std::size_t length);

// The header as bytes: the record's data, or the line without its line feed. False when
// K or L do not fit the line's fields.
void header_record(const Header& h, int n, bool big_endian, std::string& out);
bool header_line(const Header& h, int n, std::string& out);

}  // namespace kvax::layout
