// Number-to-text editing of one value into a field (Iw, Iw.m, Fw.d, Ew.d, Dw.d, Lw).
// Digits come first (correctly rounded, nearest with ties to even on the exact binary
// value), then the layout. These functions do no I/O and no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/data_edit.h"

namespace kvax {

// Each writes exactly e.width characters at dst (the caller has room for them) and
// returns e.width. A value that does not fit fills the field with asterisks.
int out_real(char* dst, const DataEdit& e, double v);  // F, E, D
int out_real(char* dst, const DataEdit& e, float v);   // F, E, D; fast path for floats
// A run of values under one edit into consecutive fields of e.width columns: the same
// bytes as one out_real per value, at less cost per value.
void out_reals(char* dst, const DataEdit& e, const float* v, std::size_t count);
void out_reals(char* dst, const DataEdit& e, const double* v, std::size_t count);
int out_integer(char* dst, const DataEdit& e, std::int64_t v);
int out_logical(char* dst, const DataEdit& e, bool v);
// Runs of integers and of 1-byte logicals (any value but 0 true) under one edit: the
// same bytes as one out_integer or out_logical per value.
void out_integers(char* dst, const DataEdit& e, const std::int32_t* v, std::size_t count);
void out_logicals(char* dst, const DataEdit& e, const std::int8_t* v, std::size_t count);

// Correctly rounded decimal digits of |v| (finite, nonzero): v ~ 0.d1d2...dn * 10^exponent,
// d1 != 0, n significant digits, 1 <= n <= 40.
struct DecimalDigits {
  char digits[41];
  int count;
  int exponent;
};
void round_digits(double v, int n, DecimalDigits& out);

}  // namespace kvax
