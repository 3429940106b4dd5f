// Tagged complex array sections in the formatted representation.
//
// Header line (header_format in <kvax/arrays/section_layout.h>, the format in one
// place): K, L, TYP, "CMPX", the tag (n characters, n from /CVER/) and the version; then
// the rows from row L down to row 1, each row one write under EFMT (by default ten E12.4
// fields per line), read back under ten E12.6 fields per line.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <string_view>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

// K and L from the next header line, which is stepped back over; always 0.
int getsiz_f(int unit, int& k, int& l);
// Reads the next section; TYP and TAG as for the unformatted reader.
void getzm_f(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag);
// Reads sections until one carries the requested tag (and version, when above 0).
void lgetzm_f(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version);
// getzm_f in steps, as getzm_begin, getzm_row and getzm_end for the unformatted reader.
bool getzm_begin_f(int unit, Text& typ, Text& tag, int& version);
void getzm_row_f(std::span<Cell> row);
void getzm_end_f(Text& typ, Text& tag);
// The version of the section last read by these readers; -1 (with a warning) after a
// failed read.
void getver_f(int& version);

// Write the section with the version of /CVER/ under EFMT; outzmn_f divides by scale.
void outzm_f(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag);

// outzm_f in steps: the header line, one row at a time (row L first), and the end. Under
// the initial EFMT every row of a section has outzm_row_bytes_f(k) bytes after the
// header's outzm_header_bytes_f(); under another EFMT outzm_row_bytes_f gives -1.
void outzm_begin_f(int unit, int k, int l, std::string_view typ, std::string_view tag);
void outzm_row_f(int unit, std::span<const Cell> row);
void outzm_end_f(int unit, std::string_view typ, std::string_view tag);
std::int64_t outzm_header_bytes_f();
std::int64_t outzm_row_bytes_f(int k);
void outzmn_f(int unit, std::span<const Cell> grid, float scale, int k, int l, std::string_view typ,
              std::string_view tag);

}  // namespace kvax
