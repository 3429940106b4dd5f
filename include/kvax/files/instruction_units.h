// Instruction input and terminal units. The terminal is the device named by the
// environment variable tty, connected to a unit of its own (2 unless a caller names
// another), or standard input and output (units 5 and 6) when none is declared. An
// instruction file (".ins") is asked for on the terminal, or taken from the command line
// ("!name" as the first argument, "!?" for the program's comment block), opened, placed at
// a label ("name>LABEL") and registered under its unit.
//
// Answers at the name prompt: a name with a "." (or ending in a quote, which is removed);
// a name without a dot (".ins" is added); a directory ending in "/" (the default name is
// added); "TER:", "TRM:", "CON:", "TTY:" or ":" for instructions from the terminal; "$"
// for the name on the command line; "?" for the program's comment block. Names are at most
// 64 characters and labels at most 16: a longer answer is refused and asked again, a longer
// command-line argument ends the run.
#pragma once

#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

inline constexpr int ins_name_length = 64;
inline constexpr int ins_label_length = 16;

// /CNCOI/: the label the instruction file was placed at and where it was found.
struct Cncoi {
  int located = 0;       // 0 after an open, then the lines read to the label (located_in_file)
  int label_length = 0;  // 0: no label
  Text label = Text(ins_label_length, ' ');
};
// The record as it stands; only this module changes it.
Cncoi cncoi();

// Connects (unit above 0 names the terminal unit; -1 only asks) or queries the terminal
// unit. A query sets unit to the connected terminal unit, or leaves -1 (open_term then
// writes " <OpenTe>>> Not open, unit was " and the unit). open_term writes informative
// lines; open_term_q does not.
void open_term(int& unit);
void open_term_q(int& unit);
// Closes the terminal unit; a later query reports it as not open.
void close_term();
// The unit for terminal output: the terminal unit, or 6 without one. The answer is kept
// until a call with a non-zero renew flag.
int terminal_out(int renew);

// Opens an instruction file on unit iu (set to 5 when the instructions are to come from
// the terminal). default_name (at most 32 characters, not ending in "/") is offered at the
// prompt and completes a blank name or a directory. A file that cannot be opened is asked
// for once more with the help lines; a second failure, or a first one without a terminal,
// ends the run.
void open_ins(int& iu, std::string_view default_name);
// Rewinds unit iu and places it at the label again; 1 when the unit cannot be rewound
// (" <RewIns>E> Cannot rewind #" and the unit), else 0. A label no longer found ends the run.
int rewind_ins(int iu);

}  // namespace kvax
