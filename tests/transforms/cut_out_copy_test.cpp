// Cut-out and zero-pad copies: the row copy and the general copy with their lines, cells
// the source cannot fill, cyclic columns, and copies within one array.
#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/transforms/cut_out_copy.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;

// A k x l flag grid whose cell (i, j) holds 10 j + i; a destination starts at -1 (untouched).
std::vector<std::int32_t> grid(int k, int l) {
  std::vector<std::int32_t> g(static_cast<std::size_t>(k * l));
  for (int j = 1; j <= l; ++j)
    for (int i = 1; i <= k; ++i) g[static_cast<std::size_t>((j - 1) * k + i - 1)] = 10 * j + i;
  return g;
}

// The destination's rows, row 1 first, cells separated by blanks and rows by "|".
std::string rows(const std::vector<std::int32_t>& g, int k) {
  std::string s;
  for (std::size_t n = 0; n < g.size(); ++n) {
    s += std::to_string(g[n]);
    s += (n + 1) % static_cast<std::size_t>(k) == 0 ? (n + 1 < g.size() ? "|" : "") : " ";
  }
  return s;
}

TEST(CutOutCopy, ExamplesAndTheirLines) {
  struct Row {
    int line;
    int k1, l1, k2, l2, i0, j0;
    bool pad, global;
    std::string cells;  // the destination afterwards
    std::string message;
  } rows_[] = {
      {__LINE__, 4, 3, 4, 2, 1, 2, false, false, "21 22 23 24|31 32 33 34",
       " <COPFF->>> Fast     4    3      4    2\n"},
      {__LINE__, 10, 5, 4, 3, 9, 1, false, true, "19 20 11 12|29 30 21 22|39 40 31 32",
       " <COPFF->>> Cut out: (  9,  1) ... ( 12,  3). Zero pad :  F F. Global : T\n"},
      {__LINE__, 10, 5, 4, 3, 9, 1, true, false, "19 20 0 0|29 30 0 0|39 40 0 0",
       " <COPFF->>> Cut out: (  9,  1) ... ( 10,  3). Zero pad :  T T. Global : F\n"},
      {__LINE__, 10, 5, 4, 3, 9, 1, false, false, "19 20 -1 -1|29 30 -1 -1|39 40 -1 -1",
       " <COPFF->>> Cut out: (  9,  1) ... ( 10,  3). Zero pad :  F F. Global : F\n"},
      {__LINE__, 4, 3, 6, 5, 2, 1, true, false, "12 13 14 0 0 0|22 23 24 0 0 0|32 33 34 0 0 0|0 0 0 0 0 0|0 0 0 0 0 0",
       " <COPFF->>> Cut out: (  2,  1) ... (  4,  3). Zero pad :  T T. Global : F\n"},
      {__LINE__, 4, 2, 4, 2, 3, 1, false, true, "13 14 11 12|23 24 21 22",
       " <COPFF->>> Cut out: (  3,  1) ... (  6,  2). Zero pad :  F F. Global : T\n"},
      // The global column is a true modulo: any I0 addresses a column of the source.
      {__LINE__, 4, 1, 3, 1, -13, 1, false, true, "13 14 11",
       " <COPFF->>> Cut out: (  3,  1) ... (  5,  1). Zero pad :  F F. Global : T\n"},
      // Left of the source without the global flag: zero with zero padding, else left.
      {__LINE__, 4, 2, 3, 2, -1, 1, true, false, "0 0 11|0 0 21",
       " <COPFF->>> Cut out: ( -1,  1) ... (  1,  2). Zero pad :  T T. Global : F\n"},
      {__LINE__, 4, 2, 3, 2, -1, 1, false, false, "-1 -1 11|-1 -1 21",
       " <COPFF->>> Cut out: ( -1,  1) ... (  1,  2). Zero pad :  F F. Global : F\n"},
      // The row copy over rows the source does not have: zeroed only with zero padding.
      {__LINE__, 3, 2, 3, 3, 1, 2, true, false, "21 22 23|0 0 0|0 0 0", " <COPFF->>> Fast     3    2      3    3\n"},
      {__LINE__, 3, 2, 3, 3, 0, 0, false, false, "-1 -1 -1|11 12 13|21 22 23",
       " <COPFF->>> Fast     3    2      3    3\n"},
      // Rows of no cells in an empty grid.
      {__LINE__, 0, 2, 0, 2, 1, 1, true, false, "", " <COPFF->>> Fast     0    2      0    2\n"},
      // Past the source rows in the general copy: nothing to copy, the rest padded.
      {__LINE__, 3, 2, 2, 2, 2, 5, true, false, "0 0|0 0",
       " <COPFF->>> Cut out: (  2,  5) ... (  3,  4). Zero pad :  T T. Global : F\n"},
  };
  for (const Row& r : rows_) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    const auto source = grid(r.k1, r.l1);
    std::vector<std::int32_t> dest(static_cast<std::size_t>(r.k2 * r.l2), -1);
    copff(source, r.k1, r.l1, dest, r.k2, r.l2, r.i0, r.j0, r.pad, r.global);
    EXPECT_EQ(rows(dest, r.k2), r.cells);
    EXPECT_EQ(out.text(), r.message);
  }
}

TEST(CutOutCopy, ComplexAndRealLinesAndPaths) {
  CapturedOutput out;
  std::vector<std::complex<float>> zs(12), zd(8);
  for (std::size_t n = 0; n < zs.size(); ++n) zs[n] = {float(n), -float(n)};
  copzz(zs, 4, 3, zd, 4, 2, 1, 2, false, false);
  EXPECT_EQ(zd[0], std::complex<float>(4, -4));
  copzz(zs, 4, 3, zd, 4, 2, 1, 0, false, false);  // J0 <= 0: rows downwards
  std::vector<float> rs(12, 1.5f), rd(12);
  coprr(rs, 4, 3, rd, 4, 3, 0, 1, false, false);  // copff and coprr: the row copy for I0 <= 1
  EXPECT_EQ(rd[11], 1.5f);
  copzz(zs, 4, 3, zd, 4, 2, 0, 1, true, true);  // copzz: the general copy for I0 = 0
  EXPECT_EQ(zd[0], std::complex<float>(3, -3));
  EXPECT_EQ(out.text(),
            " <COPZZ->>> Fast     4    3      4    2      1    2    1\n"
            " <COPZZ->>> Fast     4    3      4    2      2    1   -1\n"
            " <COPRR->>> Fast     4    3      4    3\n"
            " <COPZZ->>> Cut out: (  4,  1) ... (  7,  2). Zero pad :  T F. Global : T\n");
  out.clear();
  EXPECT_THROW(copzz(zs, 4, 3, zd, 2, 4, 1, 0, false, false), StopRun);
  EXPECT_THROW(coprr(rs, 4, 3, rd, 2, 4, 2, -3, true, true), StopRun);
  EXPECT_EQ(out.text(),
            " <COPZZ->T> push not implemented yet for different array width\n"
            " <COPRR->T> push not implemented yet for different array width\n");
}

// A copy within one array gives what a copy from a separate copy of the source gives.
TEST(CutOutCopy, WithinOneArray) {
  struct Row {
    int line;
    int k1, l1, k2, l2, i0, j0;
    bool pad, global;
    std::size_t dest_offset;  // where the destination starts in the array
  } rows_[] = {
      {__LINE__, 4, 5, 4, 4, 1, 2, false, false, 0},  // rows moved down by one
      {__LINE__, 4, 4, 4, 5, 1, 0, true, false, 0},   // rows moved up by one
      {__LINE__, 4, 5, 4, 3, 1, 1, false, false, 4},  // the destination starts a row later
      {__LINE__, 4, 5, 4, 3, 0, 3, true, false, 3},   // and not at a row's start
      {__LINE__, 6, 4, 3, 5, 4, 1, true, false, 0},   // narrower rows into the same storage
      {__LINE__, 3, 4, 6, 2, 2, 2, true, true, 0},    // wider rows, cyclic columns
      {__LINE__, 3, 4, 5, 2, 3, 1, false, true, 2},
  };
  for (const Row& r : rows_) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    std::vector<std::int32_t> one = grid(r.k1, r.l1);
    one.resize(std::max(one.size(), r.dest_offset + static_cast<std::size_t>(r.k2 * r.l2)), -1);
    std::vector<std::int32_t> separate = one;
    const std::vector<std::int32_t> source = one;
    copff(source, r.k1, r.l1, std::span<std::int32_t>(separate).subspan(r.dest_offset), r.k2, r.l2, r.i0, r.j0, r.pad,
          r.global);
    copff(one, r.k1, r.l1, std::span<std::int32_t>(one).subspan(r.dest_offset), r.k2, r.l2, r.i0, r.j0, r.pad,
          r.global);
    EXPECT_EQ(one, separate);
  }
}

TEST(CutOutCopy, GridsSmallerThanTheirSizes) {
  // Spans shorter than K x L bound the rows read and written.
  CapturedOutput out;
  const auto source = grid(3, 3);
  std::vector<std::int32_t> dest(5, -1);
  copff(std::span<const std::int32_t>(source).first(6), 3, 3, dest, 3, 3, 1, 2, true, false);
  EXPECT_EQ(rows(dest, 5), "21 22 23 -1 -1");  // source row 3 and destination row 2 are not there
  copff(std::span<const std::int32_t>(source).first(4), 3, 3, dest, 2, 2, 2, 1, true, true);
  EXPECT_EQ(rows(dest, 5), "12 13 0 0 -1");  // source row 2 is not there: padded
}

}  // namespace
}  // namespace kvax
