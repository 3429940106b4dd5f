// Headers of sections on units, in the layout of <kvax/arrays/section_layout.h>: the one
// place where the readers, writers and peeks of every element type, and the converter's
// look at whole files, read and write them.
#pragma once

#include <kvax/arrays/section_layout.h>
#include <kvax/io/iostat.h>

namespace kvax {

// Reads the next header of the unit, the items asked for: a record (in the unit's byte
// order) or a line (by_word: under the complex layout when "CMPX" is in its first 32
// columns). The conditions are those of a READ with `want`: a record shorter than its
// items, or a number that the line's header format cannot read, is an error. n is the
// tag length, or own_tag_length: that of the header itself where it tells one (see
// tag_length_of_record and header_line_tag_length), else /CVER/'s.
inline constexpr int own_tag_length = -1;
Io read_section_header(int unit, unsigned want, bool formatted, HeaderItems items, int n, SectionHeader& h);
// Writes the header record or line of h.
void write_section_header(int unit, bool formatted, const SectionHeader& h, int n);

}  // namespace kvax
