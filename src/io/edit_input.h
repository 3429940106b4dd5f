// Text-to-number editing of one input field. A scan fills a plain record (sign, digits,
// exponent) with no floating-point arithmetic; one exact conversion follows.
// No I/O, no allocation. Each returns 0 or an iostat code (iostat::bad_numeric,
// iostat::numeric_overflow).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/data_edit.h"

namespace kvax {

// Fw.d, Ew.d, Dw.d input: blanks are ignored and an all-blank field is zero; a field
// without a decimal point has its last d digits taken as the fraction; the exponent is
// written with E, D or Q (either case) or as a sign directly after the digits; with no
// exponent in the field the scale factor k divides the value by 10**k. "NaN", "INF" and
// "INFINITY" (any case, optional sign) give not-a-number and infinities.
int in_real(std::string_view field, const DataEdit& e, double& v);
int in_real(std::string_view field, const DataEdit& e, float& v);

// A run of count fields of e.width columns each, one after the other from text: the values
// and results of one in_real per field. Stops at the first bad field with its code, the
// fields before it stored; done is the number stored.
int in_reals(const char* text, const DataEdit& e, float* v, std::size_t count, std::size_t& done);
int in_reals(const char* text, const DataEdit& e, double* v, std::size_t count, std::size_t& done);

// Iw input: blanks ignored, all blank is 0, optional sign, digits only.
int in_integer(std::string_view field, std::int64_t& v);

// Lw input: optional blanks and ".", then T or F (either case); the rest is ignored.
int in_logical(std::string_view field, bool& v);

}  // namespace kvax
