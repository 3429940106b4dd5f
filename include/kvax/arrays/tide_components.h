// Readers of one tide constituent by its tide-symbol tag: tgetzm from a file of complex
// sections, tgetoz from a file of compact constituent sets into /COZ/ (see coz.h).
//
// A compact constituent set is: a Z header record (N, B, an unused integer, "Z", the
// file option "F" or "A", the tag), ceil(N/8) records of eight complex Z values (the
// first B on the actual boundary), an M header record (M count, "M"), then ceil(M/8) U
// records and as many V records, or two records when M is 0 or less.
#pragma once

#include <complex>
#include <span>
#include <string_view>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

// Reads the complex section with the requested tag (a request beginning "..", "??" ...
// takes any) into grid, K by L. Unless TAG begins with a blank or "E" the unit is
// rewound first; the search runs to the end of the file. TYP in: the requested grid type
// (blank, "." or "?" accept any); out: the grid type read. On success TAG stays and the
// version of /CVER/ becomes the version read; on failure TAG receives "ER", "ET", "EC" or
// "EF". At the end of the file with a TAG beginning with a blank or "E" (a search that
// already failed, repeated) the run stops with "preventing inf.loop".
void tgetzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag);

// Loads the set with the requested tag into /COZ/ and /COZC/; option "A" keeps the
// boundary values only, "F" the full set. A request that occurs whole in "  ..??" takes
// any set and receives its tag. The file is searched to its end, rewound once, searched
// again. On failure TAG receives "EF" (no such set), "ED" (a header unreadable), "EC" (a
// component letter other than "Z" or "M") or "ET" (the file ends inside U or V values).
// A set that does not fit the pool stops the run (see chkcoz).
void tgetoz(int unit, std::string_view option, Text& tag);

}  // namespace kvax
