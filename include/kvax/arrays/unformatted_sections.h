// Tagged complex array sections in the unformatted representation: the size peek, the
// readers by position and by tag, the version of the section read, and the writers.
//
// Layout: a header record K, L (32-bit integers), TYP (1 character), VARTYP "CMPX",
// the tag (n characters, n from /CVER/) and the version (32-bit integer); then L row
// records of K complex cells each, row L first and row 1 last (the format in one place:
// <kvax/arrays/section_layout.h>).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

// K and L of the next header, which is stepped back over; 0 (also at end of file).
int getsiz(int unit, int& k, int& l);
// As getsiz, but 1 at end of file.
int getsiz_e(int unit, int& k, int& l);

// Reads the next section into grid (leading dimension k, at most k*l cells filled).
// TYP in: the requested grid type (blank, "." or "?" accept any); out: the one read.
// TAG in: the requested tag; out: the tag read, or a status code "EF", "ER", "ET", "EC".
void getzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag);
// Reads sections until one carries the requested tag (and version, when above 0);
// "EV" when the file ends first.
void lgetzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag, int& version);
// The version of the section last read; -1 (with a warning) after a failed read.
void getver(int& version);
// With a flag other than 0, the readers trace the first cell of the top and bottom rows.
void getzm_msg(int flag);

// getzm in steps, for a caller that takes the rows one at a time: getzm_begin reads and
// checks the next header as getzm does (false: the read ended, TAG holds the status
// code; true: TYP, TAG and VERSION hold the header's); getzm_row reads the next row
// (rows come from row L down to row 1; a file that ends first stops the run with "Data
// truncated"); getzm_end checks the tag against the one requested and writes the report
// line. Messages, /CVER/ and getver are as after getzm.
bool getzm_begin(int unit, int k, int l, Text& typ, Text& tag, int& version);
void getzm_row(std::span<Cell> row);
void getzm_end(Text& typ, Text& tag);
// The next n rows of the section being read, taken whole as their records lie in the
// file (8 K + 8 bytes each, the markers included), for a caller that moves them to
// another unformatted file (outzm_row_records) without editing a value. n when every
// record is one row of K cells in this machine's byte order; 0, with the unit where it
// was and nothing read, when one is not, the file ends first, or the unit cannot go back
// (a stream): the rows are then read with getzm_row, and its messages.
int getzm_row_records(std::span<std::byte> records, int n);

// Writes the section with the version of /CVER/; outzmn divides every value by s.
void outzm(int unit, std::span<const Cell> grid, int k, int l, std::string_view typ, std::string_view tag);

// outzm in steps: the header, one row at a time (row L first), and the end (the unit
// flushed, then the report line). Every row record of a section has outzm_row_bytes(k)
// bytes after the header's outzm_header_bytes(), so rows may also be written in any
// order at their places (see seek_unit).
void outzm_begin(int unit, int k, int l, std::string_view typ, std::string_view tag);
void outzm_row(int unit, std::span<const Cell> row);
void outzm_end(int unit, int k, int l, std::string_view typ, std::string_view tag);
// n row records of K cells as getzm_row_records left them, written as outzm_row would
// write their rows: in the order held, or the last first (reversed), each turned so that
// cell `first` of the row comes first (zrcyl_row with that count). The bytes go out as
// they are, in few system calls; false, and nothing written, when the unit's byte order
// is not this machine's.
bool outzm_row_records(int unit, std::span<const std::byte> records, int k, int n, bool reversed,
                       std::size_t first);
std::int64_t outzm_header_bytes();
std::int64_t outzm_row_bytes(int k);
void outzmn(int unit, std::span<const Cell> grid, float s, int k, int l, std::string_view typ,
            std::string_view tag);

}  // namespace kvax
