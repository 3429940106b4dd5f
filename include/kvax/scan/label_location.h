// Label location: positions a formatted sequential unit just after (or at) the first line
// that carries a label, reading on from where the unit stands and, when the end of the
// file comes first, rewinding once and searching again from the start.
//
// Option letters, anywhere in the option string (all but Q and PP in either case):
//   N  no rewind: the end of the file fails at once
//   B  step back one line after finding it, so that the next read returns the label line
//   U  compare each line raised to upper case (the label is then given in upper case)
//   A  the label may stand anywhere in the line; with C anywhere from the label column on
//   C  the label must start at the label column (qcolloc_in_file); with A at or after it
//   O  search for "   L " followed by the label
//   P  traces on; PP also one trace line per line read; Q both off before P and PP apply
// Without A and C the label must start in column 1. Lines are compared in a field of 256
// characters; the label at its declared length, trailing blanks included. An end-of-input
// marker (qeoi_in_file) ends the search as the end of the file does. The switches and
// settings hold for the rest of the run.
#pragma once

#include <string_view>

namespace kvax {

// True when the label was found: the unit then stands after the label line (with B, at
// it). False when not: the unit stands at its end or after the end-of-input marker line.
bool qloc_in_file(int unit, std::string_view label, std::string_view options);
// Sets the trace switch to whether the options hold P (either case) and the line trace
// to whether they hold PP; true when either is on.
bool qloc_in_file_dbg(std::string_view options);
// Sets the end-of-input marker (256 characters, used at its trimmed length) and the column
// at which it must start (0 or less: no marker); true when the column is the one before.
bool qeoi_in_file(std::string_view marker, int column);
// Sets the label column of option C; true when the last match column equals it.
bool qcolloc_in_file(int column);
// The lines read by the last search since it started or since its rewind.
int located_in_file();

}  // namespace kvax
