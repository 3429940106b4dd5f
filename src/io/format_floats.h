// Runs of floats under the row formats' 1P,Ew.d and 1P,Dw.d edited in vector registers, and
// the instruction set that does it, chosen once for the machine.
#pragma once

#include <cstddef>

#include "io/data_edit.h"

namespace kvax {

// One float into one field of e.width columns, exactly: what the vectors leave goes to it.
using FloatField = int (*)(char* dst, const DataEdit& e, float v);

enum class FormatPath { scalar, avx512 };

// The widest path this machine runs (the processor and the system both support it).
FormatPath best_format_path();
// The path in force: the best one unless set_format_path chose another.
FormatPath format_path();
// Makes p the path in force; false, and nothing changed, when the machine cannot run it.
// For tests and benchmarks, which compare the paths: a run itself never changes it.
bool set_format_path(FormatPath p);

// count fields of e.width columns at dst, the same bytes as one call of one per value,
// when a vector path is in force and e is of the short shape: 1P, E or D, no exponent
// width, d of 2 to 6 and 1 to 8 columns of blanks and sign before the number. Values the
// vectors cannot round for sure (near a rounding tie or a power of ten, subnormals,
// infinities, not-a-number) are written by one, after the vectors' field. False, with
// nothing written, for other edits and on the scalar path.
bool format_floats(char* dst, const DataEdit& e, const float* v, std::size_t count, FloatField one);

// The same fields as lines of per (8 or more) fields, a line feed after each line and after
// the last field: count * e.width + ceil(count / per) bytes at dst (one line feed for no
// values), as write_real_row lays out a row. False, with nothing written, where
// format_floats would be and for fewer than 8 fields a line.
bool format_float_lines(char* dst, const DataEdit& e, const float* v, std::size_t count, std::size_t per,
                        FloatField one);

}  // namespace kvax
