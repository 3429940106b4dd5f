// Cut-out and zero-pad copies between grids of different extent (column-major, leading
// dimension the row width): copzz for complex grids, copff for 32-bit integer flags,
// coprr for 32-bit reals.
//
// Destination cell (i, j) receives source cell (i + I0 - 1, j + J0 - 1), the column
// taken cyclically around the source width when global is set. Cells the source cannot
// fill are set to zero when zero_pad is set, otherwise left as they are; nothing is read
// outside the source or written outside the destination (each bounded also by its span).
// Source and destination may be the same array: the copy reads every source cell before
// it writes over it.
//
// With equal row widths and I0 = 1 (copff, coprr: I0 <= 1) whole rows are copied (the
// "Fast" line); otherwise the general copy runs (the "Cut out" line), which stops the
// run for J0 <= 0 with "push not implemented yet for different array width".
#pragma once

#include <complex>
#include <cstdint>
#include <span>

namespace kvax {

void copzz(std::span<const std::complex<float>> source, int k1, int l1, std::span<std::complex<float>> destination,
           int k2, int l2, int i0, int j0, bool zero_pad, bool global);
void copff(std::span<const std::int32_t> source, int k1, int l1, std::span<std::int32_t> destination, int k2, int l2,
           int i0, int j0, bool zero_pad, bool global);
void coprr(std::span<const float> source, int k1, int l1, std::span<float> destination, int k2, int l2, int i0, int j0,
           bool zero_pad, bool global);

}  // namespace kvax
