// Formatted array sections of the other element types (FLAG, REAL, DBLE, LOG1): their
// writers and readers, the size-and-type peek and the point list.
//
// Layout: a header line of 17 characters, K in columns 1-5, L in 6-10, TYP in 12, VARTYP
// in 14-17; then the rows from row L down to row 1, each starting on a new line: FLAG
// under 20I6, REAL under EFMT, DBLE under DFMT, LOG1 under 120L1 (by default 20, 10, 10
// and 120 values a line).
//
// Writers report through iomsg with the tag "//" and the version -1. Readers take the
// rows with the caller's K and L, never more than the grid holds; a header line they
// cannot read gives " <routine>E> ERR unit u" or " <routine>E> EOF unit u" and leaves TYP
// as it was; a header refused by rparse leaves TYP and the grid, the rows unread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

// A K or L that does not fit the 5 columns of the header is refused with the line
// " <routine>E> Grid too large for this header: " K, L; nothing is written to the unit.
void outim_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ);
void outrm_f(int unit, std::span<const float> grid, int k, int l, std::string_view typ);
void outdm_f(int unit, std::span<const double> grid, int k, int l, std::string_view typ);
void outlm_f(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ);
// An integer grid as LOG1, true where the integer is not 0, through the work row (K
// logicals; a shorter one serves piece by piece).
void outiml_f(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work);

// TYP in: the requested grid type (blank, "." or "?" accept any); out: the grid type read.
void getim_f(int unit, std::span<Flag> grid, int k, int l, Text& typ);
// getrm_f and getdm_f accept REAL, DBLE and CMPX headers and read the values under EFMT.
void getrm_f(int unit, std::span<float> grid, int k, int l, Text& typ);
void getdm_f(int unit, std::span<double> grid, int k, int l, Text& typ);
void getlm_f(int unit, std::span<Logical1> grid, int k, int l, Text& typ);
// Reads each row as K characters (120 a line) through the work row (a shorter one serves
// piece by piece): 1 where the character is "T", else 0.
void getlmi_f(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work);

// K, L, TYP and VARTYP of the next header line, which is stepped back over; a line that
// holds "CMPX" in its first 32 characters is read as a complex header. At end of file TYP
// becomes "e"; K, L and VARTYP stay as they were.
void getast_f(int unit, int& k, int& l, Text& typ, Text& vartyp);

// The point list of a REAL grid with a FLAG grid of the same shape: one line per point
// (2F10.1,1P,E14.6,I10), row j - 1 and column i - 1 (plus 0.5 on a "Z" grid, whose last
// row and column are left out), R(i, j), F(i, j); row 1 first. No header, no report.
void outrmf_xyz(int unit, std::span<const float> r, std::span<const Flag> f, int k, int l, std::string_view typ);

}  // namespace kvax
