// Unformatted array sections of the other element types: FLAG (32-bit integers), REAL
// (32-bit floats), DBLE (64-bit floats) and LOG1 (1-byte logicals); their writers and
// readers and the size-and-type peek.
//
// Layout: a header record K, L (32-bit integers), TYP (1 character), VARTYP (4
// characters): 13 bytes, no tag and no version; then L row records of K elements each,
// row L first and row 1 last.
//
// Writers report through aiomsg (outlm through iomsg) with the tag "//" and the version
// -1. Readers take the rows with the caller's K and L, never more than the grid holds (a
// longer row record drops its extra elements, a shorter one is the record layer's error);
// a header they cannot read gives " <routine>E> ERR unit u" or " <routine>E> EOF unit u";
// a header refused by rparse leaves TYP and the grid as they were, the rows unread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

void outim(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ);
void outrm(int unit, std::span<const float> grid, int k, int l, std::string_view typ);
void outdm(int unit, std::span<const double> grid, int k, int l, std::string_view typ);
void outlm(int unit, std::span<const Logical1> grid, int k, int l, std::string_view typ);
// Writes an integer grid as LOG1, true where the integer is not 0, through the work row
// (K logicals; a shorter one serves piece by piece).
void outiml(int unit, std::span<const Flag> grid, int k, int l, std::string_view typ, std::span<Logical1> work);

// TYP in: the requested grid type (blank, "." or "?" accept any); out: the grid type
// read, or "r" (header unreadable) or "e" (end of file); getlm leaves TYP as it was then.
void getim(int unit, std::span<Flag> grid, int k, int l, Text& typ);
void getrm(int unit, std::span<float> grid, int k, int l, Text& typ);
void getdm(int unit, std::span<double> grid, int k, int l, Text& typ);
void getlm(int unit, std::span<Logical1> grid, int k, int l, Text& typ);
// Reads LOG1 rows through the work row (K logicals; a shorter one serves piece by piece)
// into an integer grid: 1 where true, else 0.
void getlmi(int unit, std::span<Flag> grid, int k, int l, Text& typ, std::span<Logical1> work);

// K, L, TYP and VARTYP of the next header record, which is stepped back over. At end of
// file TYP becomes "e"; K, L and VARTYP stay as they were.
void getast(int unit, int& k, int& l, Text& typ, Text& vartyp);

}  // namespace kvax
