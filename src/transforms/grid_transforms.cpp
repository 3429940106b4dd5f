// Row-order reversal and cylindrical rotation.
#include <kvax/transforms/grid_transforms.h>

#include <algorithm>
#include <cstring>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax {
namespace {

void reversal_message(std::string_view routine, std::string_view word, int k, int l, std::string_view typ) {
  write_fmt(6, "(3A,2I5)",
            std::string(" <") + std::string(routine) + ">>> Revert row order in " + std::string(word) +
                " array, grid type ",
            typ, ", size", k, l);
}

void rotation_message(std::string_view routine, int n) {
  write_fmt(6, "(A,I5,A)", std::string(" <") + std::string(routine) + ">>> Rotated westward ", n, " cells.");
}

// The shift of a rotation by n cells of a row of k > 0 cells, in 0..k-1.
std::size_t shift_of(int n, int k) {
  int s = n % k;
  if (s < 0) s += k;
  return static_cast<std::size_t>(s);
}

template <class T>
void reverse_rows(std::span<T> grid, int k, int l, std::string_view typ, std::string_view routine,
                  std::string_view word) {
  int nx, ny;
  if (typ == "Z") {
    nx = k - 1;
    ny = l - 1;
  } else if (typ == "M") {
    nx = k;
    ny = l;
  } else {
    write_fmt(6, "(2A)", std::string(" <") + std::string(routine) + ">T> Illegal grid type ", typ);
    stop_run();
  }
  if (nx > 0 && k > 0 && static_cast<std::size_t>(k) * static_cast<std::size_t>(std::max(ny, 0)) <= grid.size()) {
    const std::size_t kk = static_cast<std::size_t>(k);
    for (int j = 1; j <= ny / 2; ++j) {
      T* a = grid.data() + kk * static_cast<std::size_t>(j - 1);
      T* b = grid.data() + kk * static_cast<std::size_t>(ny - j);
      std::swap_ranges(a, a + nx, b);
    }
  }
  reversal_message(routine, word, k, l, typ);
}

template <class T>
void rotate_rows(std::span<T> grid, int k, int l, int n, std::span<T> work, std::string_view routine) {
  if (n == 0) return;
  if (k > 0 && l > 0 && work.size() >= static_cast<std::size_t>(k) &&
      static_cast<std::size_t>(k) * static_cast<std::size_t>(l) <= grid.size()) {
    const std::size_t kk = static_cast<std::size_t>(k), ss = shift_of(n, k);
    if (ss != 0) {
      for (std::size_t j = 0; j < static_cast<std::size_t>(l); ++j) {
        T* row = grid.data() + kk * j;
        std::copy(row + ss, row + kk, work.data());
        std::copy(row, row + ss, work.data() + (kk - ss));
        std::copy(work.data(), work.data() + kk, row);
      }
    }
  }
  rotation_message(routine, n);
}

}  // namespace

void zrevo(std::span<std::complex<float>> grid, int k, int l, std::string_view typ) {
  reverse_rows(grid, k, l, typ, "ZREVO-", "CMPX");
}

void crevo(std::span<std::complex<double>> grid, int k, int l, std::string_view typ) {
  reverse_rows(grid, k, l, typ, "CREVO-", "DCPX");
}

void zrcyl(std::span<std::complex<float>> grid, int k, int l, int n, std::span<std::complex<float>> work) {
  rotate_rows(grid, k, l, n, work, "ZRCYL-");
}

void frcyl(std::span<float> grid, int k, int l, int n, std::span<float> work) {
  rotate_rows(grid, k, l, n, work, "FRCYL-");
}

void zrcyl_row(std::span<const std::complex<float>> row, int n, std::span<std::complex<float>> out) {
  if (row.empty()) return;
  const std::size_t ss = shift_of(n, static_cast<int>(row.size()));
  std::copy(row.begin() + static_cast<std::ptrdiff_t>(ss), row.end(), out.begin());
  std::copy(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(ss),
            out.begin() + static_cast<std::ptrdiff_t>(row.size() - ss));
}

std::size_t zrcyl_first(int n, int k) { return k > 0 ? shift_of(n, k) : 0; }

void zrevo_message(int k, int l, std::string_view typ) { reversal_message("ZREVO-", "CMPX", k, l, typ); }

void zrcyl_message(int n) { rotation_message("ZRCYL-", n); }

void revo_cells(std::span<std::byte> grid, std::size_t element_size, int k, int l, std::string_view typ,
                std::string_view word) {
  int nx, ny;
  if (typ == "Z") {
    nx = k - 1;
    ny = l - 1;
  } else if (typ == "M") {
    nx = k;
    ny = l;
  } else {
    write_fmt(6, "(2A)", " <ZREVO->T> Illegal grid type ", typ);
    stop_run();
  }
  const std::size_t row = static_cast<std::size_t>(std::max(k, 0)) * element_size;
  if (nx > 0 && row * static_cast<std::size_t>(std::max(ny, 0)) <= grid.size()) {
    const std::size_t moved = static_cast<std::size_t>(nx) * element_size;
    for (int j = 1; j <= ny / 2; ++j) {
      std::byte* a = grid.data() + row * static_cast<std::size_t>(j - 1);
      std::byte* b = grid.data() + row * static_cast<std::size_t>(ny - j);
      std::swap_ranges(a, a + moved, b);
    }
  }
  reversal_message("ZREVO-", word, k, l, typ);
}

void rcyl_cells(std::span<std::byte> grid, std::size_t element_size, int k, int l, int n) {
  if (n == 0) return;
  if (k > 0 && l > 0 && static_cast<std::size_t>(k) * static_cast<std::size_t>(l) * element_size <= grid.size()) {
    const std::size_t row = static_cast<std::size_t>(k) * element_size;
    const std::size_t shift = shift_of(n, k) * element_size;
    if (shift != 0) {
      for (int j = 0; j < l; ++j) {
        std::byte* r = grid.data() + row * static_cast<std::size_t>(j);
        std::rotate(r, r + shift, r + row);
      }
    }
  }
  rotation_message("ZRCYL-", n);
}

}  // namespace kvax
