// Row-order reversal and cylindrical rotation.
#include <kvax/transforms/grid_transforms.h>

#include <algorithm>
#include <cstring>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax {
namespace {

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
  write_fmt(6, "(3A,2I5)",
            std::string(" <") + std::string(routine) + ">>> Revert row order in " + std::string(word) +
                " array, grid type ",
            typ, ", size", k, l);
}

template <class T>
void rotate_rows(std::span<T> grid, int k, int l, int n, std::span<T> work, std::string_view routine) {
  if (n == 0) return;
  if (k > 0 && l > 0 && work.size() >= static_cast<std::size_t>(k) &&
      static_cast<std::size_t>(k) * static_cast<std::size_t>(l) <= grid.size()) {
    int s = n % k;
    if (s < 0) s += k;
    const std::size_t kk = static_cast<std::size_t>(k), ss = static_cast<std::size_t>(s);
    if (ss != 0) {
      for (std::size_t j = 0; j < static_cast<std::size_t>(l); ++j) {
        T* row = grid.data() + kk * j;
        std::copy(row + ss, row + kk, work.data());
        std::copy(row, row + ss, work.data() + (kk - ss));
        std::copy(work.data(), work.data() + kk, row);
      }
    }
  }
  write_fmt(6, "(A,I5,A)", std::string(" <") + std::string(routine) + ">>> Rotated westward ", n, " cells.");
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

}  // namespace kvax
