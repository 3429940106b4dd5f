// The file opener: connects logical units to files from file specification strings
// such as '21 R input.dat' or '31 < result.bin', one at a time (string mode) or line
// after line from an instruction unit (instruction mode).
//
// Line layout: columns 1-2 the unit, 3 ignored, 4 the option letter, 5 the modifier,
// 6 onward the file name, then after blanks a free comment. The option letter says how to
// open (status, form, byte order, positioning at the end) or what else to do (comment C,
// shell command S, help H, directory prefix D, prompting P and T, end of the sequence).
//
// The open dialogue asks on the terminal (the connected terminal unit of open_term, else
// standard input and output) for what a line leaves open: the file of a unit (options P
// and T, and a string whose unit field cannot be read), the text for each "?" in a file
// name, what to do with a unit already open (Rewind, Close, End_file, Prompt_again) and,
// in instruction mode, after a failed open (Abort, Retry, Ignore, Prompt_again, answered
// on standard input). Option "?" tells whether a unit is free or a file exists. A name
// given at a prompt that is longer than 64 characters is refused and asked for again.
// An end of input while a prompt waits is the record layer's fatal report, except at the
// Abort/Retry prompt, where it ends the sequence. Without a terminal, and without tty at
// the last openf, a "?" in a name writes "Cannot interact" and ends the run.
#pragma once

#include <string_view>

namespace kvax {

// String mode: acts on one specification string and returns 0. A failed open writes its
// two failure lines and ends the run. A string whose letter only acts (C, S, H, "*", L,
// D) acts once and returns. A string asking for prompting (P or T in column 4) returns
// with nothing opened when the answer is a blank or "*".
int openfs(std::string_view spec);

// As openfs, but a failed open returns 1 after its failure lines.
int openfs_e(std::string_view spec);

// Instruction mode: acts on the specification lines read from the connected unit iun
// (1 to 99) until a line ends the sequence, and returns 0. Failed opens are counted;
// a sequence that ends with failures ends the run with the error count. Unit 4 is first
// positioned at its next specification line.
int openf(int iun);

}  // namespace kvax
