// Runs of 12-column input fields of the written shape converted in vector registers, and
// the instruction set that does it, chosen once for the machine.
#pragma once

#include <cstddef>

#include "io/data_edit.h"

namespace kvax {

// The exact reader of a run of float fields, with in_reals' contract: what the vectors
// leave, field by field or as the rest of a run, goes to it.
using ExactRun = int (*)(const char* text, const DataEdit& e, float* v, std::size_t count,
                         std::size_t& done);

enum class ScanPath { scalar, avx2, avx512 };

// The widest path this machine runs (the processor and the system both support it).
ScanPath best_scan_path();
// The path in force: the best one unless set_scan_path chose another.
ScanPath scan_path();
// Makes p the path in force; false, and nothing changed, when the machine cannot run it.
// For tests and benchmarks, which compare the paths: the run itself never changes it.
bool set_scan_path(ScanPath p);

// A run of count fields of 12 columns under e, with in_reals' contract and results
// (exact's, bit for bit). Fields of the written shape ("  1.2345E+01", " -1.2345D-03",
// "0.123456E+01", "-.123456E+01"; E or D in either case) are converted in vectors; any
// other field, and any value the vectors cannot round for sure, goes to exact.
int scan_reals(const char* text, const DataEdit& e, float* v, std::size_t count,
               std::size_t& done, ExactRun exact);

// Lines of `per` fields of 12 columns, each line followed by a line feed, as a row's lines
// lie in a unit's buffer: the fields' floats in v, line by line, while every field of a
// line is of the written shape and converted in vectors for sure. Returns the lines done
// (their values are exact's); the rest, from the first line with another field, is left
// to the line-by-line reading. 0 where the machine has no path for it (fewer than 8
// fields a line, or no AVX-512).
std::size_t scan_lines(const char* text, std::size_t per, std::size_t lines, float* v);
// The path in force converts whole lines (scan_lines gives more than 0 for such lines).
bool scan_lines_available();

}  // namespace kvax
