// In-place transforms of grids (column-major, leading dimension K): row-order reversal
// north-south and cylindrical rotation westward.
#pragma once

#include <complex>
#include <cstddef>
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

// The same transforms for a caller that moves a grid one row at a time (the converter
// streams its rows): out becomes row rotated as zrcyl rotates every row (out holds
// row.size() cells and is another array); zrevo_message and zrcyl_message write the
// lines that zrevo on an "M" or "Z" grid and zrcyl with n other than 0 write.
void zrcyl_row(std::span<const std::complex<float>> row, int n, std::span<std::complex<float>> out);
// The cell of a row of k cells that a rotation by n puts first (0 for k <= 0).
std::size_t zrcyl_first(int n, int k);
void zrevo_message(int k, int l, std::string_view typ);
void zrcyl_message(int n);

// Reversal and rotation of a grid of any element type (FLAG, REAL, DBLE, LOG1: elements
// of element_size bytes), for a converter of whole files: the cells move as zrevo and
// zrcyl move them, and the lines are theirs with the element word of the grid.
void revo_cells(std::span<std::byte> grid, std::size_t element_size, int k, int l, std::string_view typ,
                std::string_view word);
void rcyl_cells(std::span<std::byte> grid, std::size_t element_size, int k, int l, int n);

}  // namespace kvax
