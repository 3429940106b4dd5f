// In-place transforms of grids (column-major, leading dimension K): row-order reversal
// north-south and cylindrical rotation westward.
#pragma once

#include <complex>
#include <span>
#include <string_view>

namespace kvax {

// Reverses the rows: grid type "M" all K columns and L rows, "Z" columns 1..K-1 and
// rows 1..L-1; any other letter ends the run with "Illegal grid type".
void zrevo(std::span<std::complex<float>> grid, int k, int l, std::string_view typ);
void crevo(std::span<std::complex<double>> grid, int k, int l, std::string_view typ);

// New cell (i, j) is old cell (i + n, j), cyclically: the contents move n cells
// westward (eastward for negative n). The work row holds at least K cells. A count
// outside -K..K is reduced modulo K; n = 0 does nothing and writes nothing.
void zrcyl(std::span<std::complex<float>> grid, int k, int l, int n, std::span<std::complex<float>> work);
void frcyl(std::span<float> grid, int k, int l, int n, std::span<float> work);

}  // namespace kvax
