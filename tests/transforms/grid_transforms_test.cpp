// Row-order reversal and cylindrical rotation.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/transforms/grid_transforms.h>

#include "test_support.h"

namespace kvax {
namespace {

using C = std::complex<float>;

// Cell (i, j) holds i + 10 j, so a wrong move shows where it came from.
std::vector<C> numbered(int k, int l) {
  std::vector<C> g(static_cast<std::size_t>(k * l));
  for (int j = 1; j <= l; ++j)
    for (int i = 1; i <= k; ++i) g[static_cast<std::size_t>(i - 1 + k * (j - 1))] = C(static_cast<float>(i + 10 * j), 0);
  return g;
}

float at(const std::vector<C>& g, int k, int i, int j) { return g[static_cast<std::size_t>(i - 1 + k * (j - 1))].real(); }

TEST(Reversal, MAndZGridsAndTheirMessages) {
  test::CapturedOutput out;
  auto m = numbered(2, 3);
  zrevo(m, 2, 3, "M");
  EXPECT_EQ(at(m, 2, 1, 1), 31);
  EXPECT_EQ(at(m, 2, 2, 2), 22);  // the middle row stays
  EXPECT_EQ(at(m, 2, 2, 3), 12);

  auto z = numbered(4, 5);
  zrevo(z, 4, 5, "Z");
  EXPECT_EQ(at(z, 4, 1, 1), 41);
  EXPECT_EQ(at(z, 4, 3, 2), 33);
  EXPECT_EQ(at(z, 4, 2, 3), 22);
  EXPECT_EQ(at(z, 4, 4, 1), 14);  // column 4 stays
  EXPECT_EQ(at(z, 4, 2, 5), 52);          // row 5 stays

  auto one = numbered(3, 1);
  zrevo(one, 3, 1, "M");
  EXPECT_EQ(one, numbered(3, 1));
  std::vector<std::complex<double>> d = {{1, 0}, {2, 0}};
  crevo(d, 1, 2, "M");
  EXPECT_EQ(d[0].real(), 2);
  EXPECT_EQ(out.text(),
            " <ZREVO->>> Revert row order in CMPX array, grid type M, size    2    3\n"
            " <ZREVO->>> Revert row order in CMPX array, grid type Z, size    4    5\n"
            " <ZREVO->>> Revert row order in CMPX array, grid type M, size    3    1\n"
            " <CREVO->>> Revert row order in DCPX array, grid type M, size    1    2\n");
  out.clear();
  EXPECT_THROW(zrevo(m, 2, 3, "X"), StopRun);
  EXPECT_EQ(out.text(), " <ZREVO->T> Illegal grid type X\n");
}

TEST(Rotation, WestwardEastwardAndReduction) {
  test::CapturedOutput out;
  std::vector<C> work(4);
  struct Row {
    int line;
    int n;
    std::vector<float> row;
  } rows[] = {
      {__LINE__, 1, {12, 13, 14, 11}},  {__LINE__, -1, {14, 11, 12, 13}}, {__LINE__, 4, {11, 12, 13, 14}},
      {__LINE__, 6, {13, 14, 11, 12}},  {__LINE__, -9, {14, 11, 12, 13}}, {__LINE__, 2, {13, 14, 11, 12}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    auto g = numbered(4, 2);
    zrcyl(g, 4, 2, r.n, work);
    for (int i = 1; i <= 4; ++i) {
      EXPECT_EQ(at(g, 4, i, 1), r.row[static_cast<std::size_t>(i - 1)]);
      EXPECT_EQ(at(g, 4, i, 2), r.row[static_cast<std::size_t>(i - 1)] + 10);
    }
    zrcyl(g, 4, 2, -r.n, work);  // n and then -n restore the grid
    EXPECT_EQ(g, numbered(4, 2));
  }
  out.clear();
  auto g = numbered(4, 2);
  zrcyl(g, 4, 2, 0, work);
  EXPECT_EQ(out.text(), "");
  zrcyl(g, 0, 2, 3, work);
  EXPECT_EQ(g, numbered(4, 2));
  std::vector<float> f = {1, 2, 3}, fw(3);
  frcyl(f, 3, 1, 1, fw);
  EXPECT_EQ(f, (std::vector<float>{2, 3, 1}));
  EXPECT_EQ(out.text(), " <ZRCYL->>> Rotated westward     3 cells.\n <FRCYL->>> Rotated westward     1 cells.\n");
}

}  // namespace
}  // namespace kvax
