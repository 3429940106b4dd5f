// The file opener: connects logical units to files from file specification strings
// such as '21 R input.dat' or '31 < result.bin', one at a time (string mode) or line
// after line from an instruction unit (instruction mode).
//
// Line layout: columns 1-2 the unit, 3 ignored, 4 the option letter, 5 the modifier,
// 6 onward the file name, then after blanks a free comment. The option letter says how to
// open (status, form, byte order, positioning at the end) or what else to do (comment C,
// shell command S, help H, directory prefix D, prompting P and T, end of the sequence).
#pragma once

#include <string_view>

namespace kvax {

// String mode: acts on one specification string and returns 0. A failed open writes its
// two failure lines and ends the run. A string whose letter only acts (C, S, H, "*", L,
// D) acts once and returns.
int openfs(std::string_view spec);

// As openfs, but a failed open returns 1 after its failure lines.
int openfs_e(std::string_view spec);

// Instruction mode: acts on the specification lines read from the connected unit iun
// (1 to 99) until a line ends the sequence, and returns 0. Failed opens are counted;
// a sequence that ends with failures ends the run with the error count. Unit 4 is first
// positioned at its next specification line.
int openf(int iun);

// Tests only: the opener's state as at program load.
void openf_reset_for_tests();

}  // namespace kvax
