// Runs of floats under 1P,Ew.d of the short shape on every format path the machine has,
// against the scalar path: the same bytes, nothing written past the run.
#include "io/format_floats.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "io/edit_output.h"

namespace kvax {
namespace {

DataEdit edit(char kind, int w, int d, int k = 1, int e = -1) {
  DataEdit x;
  x.kind = kind;
  x.width = w;
  x.digits = d;
  x.scale = k;
  x.exp_digits = e;
  return x;
}

struct RestorePath {
  ~RestorePath() { set_format_path(best_format_path()); }
};

bool have_vectors() { return best_format_path() != FormatPath::scalar; }

// The run written on path p at `offset` bytes into a buffer of '#', with 70 bytes of '#'
// after it (one vector register and more) that must stay as they are.
std::string written(FormatPath p, const DataEdit& e, const std::vector<float>& v, std::size_t offset) {
  EXPECT_TRUE(set_format_path(p));
  const std::size_t bytes = v.size() * static_cast<std::size_t>(e.width);
  std::string buf(offset + bytes + 70, '#');
  out_reals(buf.data() + offset, e, v.data(), v.size());
  EXPECT_EQ(std::string(70, '#'), buf.substr(offset + bytes)) << "written past the run";
  return buf.substr(offset, bytes);
}

// The field of the first value whose bytes differ, or "" when none does.
std::string first_difference(const DataEdit& e, const std::vector<float>& v, std::size_t offset = 0) {
  const std::string want = written(FormatPath::scalar, e, v, offset);
  const std::string got = written(FormatPath::avx512, e, v, offset);
  if (want == got) return "";
  const std::size_t w = static_cast<std::size_t>(e.width);
  for (std::size_t i = 0;; ++i)
    if (want.compare(i * w, w, got, i * w, w) != 0) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08x", std::bit_cast<std::uint32_t>(v[i]));
      return std::string(hex) + " at " + std::to_string(i) + ": \"" + want.substr(i * w, w) + "\" against \"" +
             got.substr(i * w, w) + '"';
    }
}

TEST(FormatFloats, PathsUpToTheMachinesBest) {
  RestorePath restore;
  EXPECT_TRUE(set_format_path(FormatPath::scalar));
  EXPECT_EQ(FormatPath::scalar, format_path());
  EXPECT_EQ(have_vectors(), set_format_path(FormatPath::avx512));
  EXPECT_EQ(best_format_path(), format_path());
}

// The vectors take exactly the edits of the short shape, and nothing on the scalar path.
TEST(FormatFloats, TakesTheShortShapeOnly) {
  if (!have_vectors()) GTEST_SKIP() << "no vector path";
  RestorePath restore;
  struct Row {
    int line;
    DataEdit e;
    bool taken;
  };
  const Row rows[] = {
      {__LINE__, edit('E', 12, 4), true},        {__LINE__, edit('D', 12, 4), true},
      {__LINE__, edit('E', 9, 2), true},         {__LINE__, edit('E', 8, 2), false},   // no column for the sign
      {__LINE__, edit('E', 20, 6), true},        {__LINE__, edit('E', 21, 6), false},  // 9 columns before it
      {__LINE__, edit('E', 13, 7), false},       {__LINE__, edit('E', 12, 1), false},
      {__LINE__, edit('E', 12, 4, 0), false},    {__LINE__, edit('E', 12, 4, 2), false},
      {__LINE__, edit('E', 12, 4, 1, 2), false}, {__LINE__, edit('F', 12, 4), false},
      {__LINE__, edit('I', 12, 4), false},
  };
  char buf[64];
  const float v = 1.5f;
  const FloatField one = [](char*, const DataEdit&, float) { return 0; };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ASSERT_TRUE(set_format_path(FormatPath::avx512));
    EXPECT_EQ(r.taken, format_floats(buf, r.e, &v, 1, one));
    ASSERT_TRUE(set_format_path(FormatPath::scalar));
    EXPECT_FALSE(format_floats(buf, r.e, &v, 1, one));
  }
}

// Values at the edges of what the vectors take: ties and carries at every digit count,
// powers of ten and their neighbours (where D changes), zeros, subnormals, the largest
// float, infinities and not-a-number, each with both signs.
std::vector<float> edge_values() {
  std::vector<float> v = {0.0f,
                          1.0f,
                          1.5f,
                          12.5f,
                          1234.5f,
                          12345.5f,
                          123456.5f,
                          2.5f,
                          0.125f,
                          0.375f,
                          9.5f,
                          99.5f,
                          999.5f,
                          9999.5f,
                          99999.5f,
                          999999.5f,
                          9999999.0f,
                          0x1.fffffep23f,
                          FLT_MIN,
                          0x1.000002p-126f,
                          FLT_MAX,
                          0x1p-149f,
                          0x1.fffffcp-127f,
                          0x1p-130f,
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          std::bit_cast<float>(0x7f800001u),
                          0.99999994f,
                          0.1f,
                          1e-5f};
  for (int k = -45; k <= 38; ++k) {
    const float p = std::pow(10.0f, static_cast<float>(k));
    for (float x : {p, 9.99995f * p, 9.9995f * p, 9.995f * p, 9.95f * p, 9.999995f * p, 9.9999995f * p}) {
      float below = x, above = x;
      v.push_back(x);
      for (int i = 0; i < 3; ++i) {
        below = std::nextafter(below, 0.0f);
        above = std::nextafter(above, FLT_MAX);
        v.push_back(below);
        v.push_back(above);
      }
    }
  }
  const std::size_t count = v.size();
  for (std::size_t i = 0; i < count; ++i) v.push_back(-v[i]);
  return v;
}

// Every n and lead, E and D, the edges in runs of 0 to 40 values (so that every tail of a
// block is met) at unaligned places.
TEST(FormatFloats, EdgesMatchScalarPath) {
  if (!have_vectors()) GTEST_SKIP() << "no vector path";
  RestorePath restore;
  const std::vector<float> edges = edge_values();
  for (int d = 2; d <= 6; ++d)
    for (int lead = 1; lead <= 8; ++lead)
      for (const char kind : {'E', 'D'}) {
        const DataEdit e = edit(kind, d + 6 + lead, d);
        SCOPED_TRACE(std::string(1, kind) + std::to_string(e.width) + "." + std::to_string(d));
        ASSERT_EQ("", first_difference(e, edges, static_cast<std::size_t>(lead % 4)));
        std::size_t at = 0;
        for (std::size_t len = 0; len <= 40; ++len) {
          std::vector<float> part;
          for (std::size_t i = 0; i < len; ++i) part.push_back(edges[(at + i) % edges.size()]);
          at += len * 7;
          ASSERT_EQ("", first_difference(e, part, len % 3)) << len << " values";
        }
      }
}

// Millions of floats: any bit pattern, and grid magnitudes with their zeros.
TEST(FormatFloats, RandomRunsMatchScalarPath) {
  if (!have_vectors()) GTEST_SKIP() << "no vector path";
  RestorePath restore;
  std::mt19937 rng(4242);
  std::vector<float> v(1 << 16);
  for (int round = 0; round < 64; ++round) {
    for (float& x : v) {
      if (round % 2) {
        x = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
      } else {
        x = rng() % 10 == 0 ? 0.0f : std::pow(10.0f, static_cast<float>(rng() % 6000) / 1000 - 3);
        if (rng() & 1) x = -x;
      }
    }
    // Mostly the row format; every n and some widths now and then.
    const int d = round % 4 ? 4 : 2 + round / 4 % 5;
    const int w = round % 4 ? 12 : d + 7 + round % 8;
    SCOPED_TRACE("E" + std::to_string(w) + "." + std::to_string(d));
    ASSERT_EQ("", first_difference(edit(round % 3 ? 'E' : 'D', w, d), v));
  }
}

// Lines of per fields in one run: the bytes of the scalar path line by line, each line
// ended, whatever line end falls inside a block of eight; nothing written past them.
TEST(FormatFloats, LinesMatchTheScalarPathLineByLine) {
  if (!have_vectors()) GTEST_SKIP() << "no vector path";
  RestorePath restore;
  const std::vector<float> edges = edge_values();
  const FloatField one = out_real;  // the float overload
  for (const DataEdit& e : {edit('E', 12, 4), edit('D', 9, 2), edit('E', 20, 6)}) {
    for (const std::size_t per : {8u, 9u, 10u, 13u}) {
      for (const std::size_t count : {0u, 1u, 7u, 8u, 9u, 10u, 16u, 17u, 23u, 26u, 40u, 101u}) {
        SCOPED_TRACE(std::to_string(e.width) + " per " + std::to_string(per) + " count " + std::to_string(count));
        std::vector<float> v;
        for (std::size_t i = 0; i < count; ++i) v.push_back(edges[(7 * i + per) % edges.size()]);
        const std::size_t w = static_cast<std::size_t>(e.width), bytes = count * w + (count + per - 1) / per;
        std::string want;
        ASSERT_TRUE(set_format_path(FormatPath::scalar));
        for (std::size_t i = 0; i == 0 || i < count; i += per) {
          std::string line(std::min(per, count - i) * w, '#');
          out_reals(line.data(), e, v.data() + i, std::min(per, count - i));
          want += line + '\n';
        }
        ASSERT_TRUE(set_format_path(FormatPath::avx512));
        std::string got(bytes + (count == 0) + 70, '#');
        ASSERT_TRUE(format_float_lines(got.data() + 1, e, v.data(), count, per, one));
        EXPECT_EQ('#', got[0]);
        EXPECT_EQ(want, got.substr(1, want.size()));
        EXPECT_EQ(std::string(70 - 1, '#'), got.substr(1 + want.size()));
      }
    }
  }
  char buf[64];
  const float x = 1.0f;
  EXPECT_FALSE(format_float_lines(buf, edit('E', 12, 4), &x, 1, 7, one));  // fewer than 8 a line
  ASSERT_TRUE(set_format_path(FormatPath::scalar));
  EXPECT_FALSE(format_float_lines(buf, edit('E', 12, 4), &x, 1, 10, one));
}

}  // namespace
}  // namespace kvax
