// Cut-out and zero-pad copies: the row copy for equal widths and the general copy, one
// body for the three element types.
#include <kvax/transforms/cut_out_copy.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax {
namespace {

struct CopyRoutine {
  std::string_view tag;
  bool fast_below_first_column;  // the row copy also for I0 < 1
  bool fast_line_shows_rows;     // the "Fast" line also names the rows and their step
};

// The rows of a grid of width k that its span holds, at most l.
template <class T>
int rows_held(std::span<T> grid, int k, int l) {
  if (l <= 0) return 0;
  if (k <= 0) return l;
  return static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(l), grid.size() / static_cast<std::size_t>(k)));
}

template <class T>
bool overlap(std::span<const T> a, std::span<T> b) {
  if (a.empty() || b.empty()) return false;
  return std::less<const T*>{}(a.data(), b.data() + b.size()) && std::less<const T*>{}(b.data(), a.data() + a.size());
}

// A source that shares storage with the destination is read from a copy of its rows
// when the order of the copy cannot keep every cell from being overwritten before it is
// read. The copy is kept for the next call.
template <class T>
std::span<const T> detached(std::span<const T> source, std::size_t cells) {
  static std::vector<T> copy;
  copy.assign(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(std::min(cells, source.size())));
  return copy;
}

long long floor_mod(long long a, long long m) {
  const long long r = a % m;
  return r < 0 ? r + m : r;
}

template <class T>
void cut_out(const CopyRoutine& rt, std::span<const T> source, int k1, int l1, std::span<T> dest, int k2, int l2,
             int i0, int j0, bool zero_pad, bool global) {
  const std::string start = " <" + std::string(rt.tag) + ">";
  const int src_rows = rows_held(source, k1, l1), dst_rows = rows_held(dest, k2, l2);
  const std::size_t w1 = k1 > 0 ? static_cast<std::size_t>(k1) : 0, w2 = k2 > 0 ? static_cast<std::size_t>(k2) : 0;
  auto src = [&](long long c, long long r) {
    return source[w1 * static_cast<std::size_t>(r - 1) + static_cast<std::size_t>(c - 1)];
  };
  auto dst = [&](long long i, long long j) -> T& {
    return dest[w2 * static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(i - 1)];
  };

  if (k1 == k2 && (i0 == 1 || (rt.fast_below_first_column && i0 <= 1))) {
    // Rows run upwards for J0 > 0 and downwards otherwise, so a copy within one array
    // reads each row before it is written over.
    const int first = j0 > 0 ? 1 : l2, last = j0 > 0 ? l2 : 1, step = j0 > 0 ? 1 : -1;
    if (source.data() != dest.data() && overlap(source, dest))
      source = detached(source, w1 * static_cast<std::size_t>(src_rows));
    for (int n = 0; w2 > 0 && n < dst_rows; ++n) {  // the rows the destination holds, in that order
      const int r = j0 > 0 ? 1 + n : dst_rows - n;
      const long long s = static_cast<long long>(r) + j0 - 1;
      T* row = dest.data() + w2 * static_cast<std::size_t>(r - 1);
      if (s >= 1 && s <= src_rows) {
        std::memmove(static_cast<void*>(row), source.data() + w1 * static_cast<std::size_t>(s - 1), w2 * sizeof(T));
      } else if (zero_pad) {
        std::fill(row, row + w2, T{});  // rows the source does not have
      }
    }
    if (rt.fast_line_shows_rows) {
      write_fmt(6, "(A,2I5,2X,2I5,2X,3I5)", start + ">> Fast ", k1, l1, k2, l2, first, last, step);
    } else {
      write_fmt(6, "(A,2I5,2X,2I5)", start + ">> Fast ", k1, l1, k2, l2);
    }
    return;
  }

  if (j0 <= 0) {
    write_fmt(6, "(A)", start + "T> push not implemented yet for different array width");
    stop_run();
  }
  bool padded = false;
  const int nj = static_cast<int>(std::max(0LL, std::min<long long>(l2, static_cast<long long>(l1) - j0 + 1)));
  int ni, first_column;
  if (global) {
    ni = std::max(k2, 0);
    first_column = k1 > 0 ? static_cast<int>(floor_mod(static_cast<long long>(i0) - 1, k1) + 1) : i0;
  } else {
    ni = std::max(0, static_cast<int>(std::min<long long>(k2, static_cast<long long>(k1) - i0 + 1)));
    first_column = i0;
  }
  if (overlap(source, dest)) source = detached(source, w1 * static_cast<std::size_t>(src_rows));

  for (int j = 1; j <= std::min(nj, dst_rows); ++j) {
    const long long r = static_cast<long long>(j) + j0 - 1;
    for (int i = 1; i <= ni; ++i) {
      long long c = static_cast<long long>(i) + i0 - 1;
      if (global && k1 > 0) c = floor_mod(c - 1, k1) + 1;
      if (c >= 1 && c <= k1 && r <= src_rows) {
        dst(i, j) = src(c, r);
      } else if (zero_pad) {
        dst(i, j) = T{};  // left of the source (I0 < 1), or a row the span does not hold
        padded = true;
      }
    }
  }
  if (zero_pad) {
    for (int j = nj + 1; j <= dst_rows; ++j)
      for (int i = 1; i <= k2; ++i) dst(i, j) = T{};
    if (nj < l2) padded = true;
    if (ni < k2 && !global) {
      for (int j = 1; j <= std::min(nj, dst_rows); ++j)
        for (int i = ni + 1; i <= k2; ++i) dst(i, j) = T{};
      padded = true;
    }
  }
  write_fmt(6, "(A,2(I3,',',I3,A),2L2,A,L1)", start + ">> Cut out: (", first_column, j0, ") ... (",
            static_cast<std::int64_t>(first_column) + ni - 1, static_cast<std::int64_t>(j0) + nj - 1,
            "). Zero pad : ", zero_pad, padded, ". Global : ", global);
}

}  // namespace

void copzz(std::span<const std::complex<float>> source, int k1, int l1, std::span<std::complex<float>> destination,
           int k2, int l2, int i0, int j0, bool zero_pad, bool global) {
  cut_out({"COPZZ-", false, true}, source, k1, l1, destination, k2, l2, i0, j0, zero_pad, global);
}

void copff(std::span<const std::int32_t> source, int k1, int l1, std::span<std::int32_t> destination, int k2, int l2,
           int i0, int j0, bool zero_pad, bool global) {
  cut_out({"COPFF-", true, false}, source, k1, l1, destination, k2, l2, i0, j0, zero_pad, global);
}

void coprr(std::span<const float> source, int k1, int l1, std::span<float> destination, int k2, int l2, int i0, int j0,
           bool zero_pad, bool global) {
  cut_out({"COPRR-", true, false}, source, k1, l1, destination, k2, l2, i0, j0, zero_pad, global);
}

}  // namespace kvax
