// Whole rows of reals (write_real_row, read_real_row) against one statement with the same
// items: the same bytes, values and conditions, for row formats and for others.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::ScratchDir;
using test::write_file;

std::vector<float> sample_values(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> v(n);
  for (float& x : v) {
    switch (rng() % 8) {
      case 0: x = std::bit_cast<float>(static_cast<std::uint32_t>(rng())); break;  // any bits, NaN included
      case 1: x = -0.0f; break;
      case 2: x = std::numeric_limits<float>::infinity(); break;
      default: x = std::ldexp(static_cast<float>(rng() % 100000) - 50000.0f, static_cast<int>(rng() % 40) - 30);
    }
  }
  return v;
}

TEST(RowPaths, WrittenRowsAreTheBytesOfOneStatement) {
  ScratchDir d;
  CapturedOutput out;
  const char* formats[] = {"(1p,10e12.4,:)", "(10e12.6)", "(1P,3E15.7)", "(2F8.3)", "(1p,4d12.4)",
                           // not of a row's shape: through a statement
                           "(2(1x,e12.4))", "(1x,5e12.4)", "(e12.4,/)"};
  for (const char* format : formats) {
    for (const std::size_t n : {0u, 1u, 7u, 10u, 21u, 4320u}) {
      SCOPED_TRACE(std::string(format) + " " + std::to_string(n));
      const std::vector<float> v = sample_values(n, static_cast<unsigned>(n) + 7);
      ASSERT_EQ(open_unit(31, OpenSpec{.file = d.file("row.txt")}), 0);
      ASSERT_EQ(open_unit(32, OpenSpec{.file = d.file("statement.txt")}), 0);
      for (int rows = 0; rows < 3; ++rows) {
        write_real_row(31, format, v);
        OutputStatement s(32, format);
        s.items(std::span<const float>(v));
        s.finish();
      }
      close_unit(31);
      close_unit(32);
      EXPECT_EQ(read_file(d.file("row.txt")), read_file(d.file("statement.txt")));
    }
  }
}

struct ReadResult {
  Io io = Io::ok;
  bool cut = false;
  std::vector<std::uint32_t> bits;
  std::string fatal;  // the report when the read raised it
};

template <class Read>
ReadResult read_with(const ScratchDir& d, const std::string& text, std::size_t n, Read read) {
  write_file(d.file("in.txt"), text);
  ReadResult r;
  std::vector<float> v(n, 99.0f);
  EXPECT_EQ(open_unit(21, OpenSpec{.file = d.file("in.txt"), .status = "OLD", .read_only = true}), 0);
  try {
    r.io = read(v, r.cut);
    // The next line shows where the read left the unit.
    Text line(8, ' ');
    if (read_fmt(21, want_end, "(A)", line) == Io::end) assign(line, "<end>");
    r.fatal = "next: " + std::string(line);
  } catch (const FatalIo& f) {
    r.fatal = f.report();
  }
  close_unit(21);
  for (float x : v) r.bits.push_back(std::bit_cast<std::uint32_t>(x));
  return r;
}

TEST(RowPaths, ReadRowsGiveTheValuesAndConditionsOfOneStatement) {
  ScratchDir d;
  CapturedOutput out;
  const std::string row = "  1.1000E+01 -2.0000E+00  1.2500E-03         NaN        -INF  3.4000E+38"
                          "  1.0000E+00  2.0000E+00  3.0000E+00  4.0000E+00\n";
  struct Row {
    int line;
    std::string text;
    std::size_t n;
  } rows[] = {
      {__LINE__, row + row, 14},
      {__LINE__, row + "  5.0\n" + row, 14},                        // a short line: blanks are zeros
      {__LINE__, row + "  5.0000E+00  6.0000E", 14},                // cut inside the last line
      {__LINE__, row + "  5.0000E+00  6.0000E+00  7.0000E+00", 13},  // a whole last line without its end
      {__LINE__, row, 14},                                          // the file ends first
      {__LINE__, "  1.0000E+00  x.0000E+00\n", 2},                  // no number
      {__LINE__, "  1.0000E+00  9.9999E+99\n", 2},                  // overflow
      {__LINE__, "\n" + row, 0},                                    // a row of no values takes one line
      {__LINE__, "", 0},
      {__LINE__, "     1234567       12345         1.5\n", 3},      // implied fractions
      {__LINE__, "\t1.0\n", 1},
  };
  for (const std::string format : {"(10e12.6)", "(1p,10e12.4,:)", "(3e12.6)"}) {
    for (const unsigned want : {unsigned(want_end), unsigned(want_both), unsigned(want_none)}) {
      for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.line) + " " + format + " want " + std::to_string(want));
        const ReadResult fast = read_with(d, r.text, r.n, [&](std::vector<float>& v, bool& cut) {
          return read_real_row(21, want, format, v, &cut);
        });
        const ReadResult slow = read_with(d, r.text, r.n, [&](std::vector<float>& v, bool& cut) {
          InputStatement s(21, want, format);
          s.items(std::span<float>(v));
          const Io io = s.finish();
          cut = s.ran_past_file_end();
          return io;
        });
        EXPECT_EQ(fast.io, slow.io);
        EXPECT_EQ(fast.cut, slow.cut);
        EXPECT_EQ(fast.bits, slow.bits);
        EXPECT_EQ(fast.fatal, slow.fatal);
      }
    }
  }
}

// Rows of many whole lines, read across the buffer's end and across line ends at once:
// the values, conditions and the place left as one statement gives them, whatever line
// breaks the run of written fields.
TEST(RowPaths, ManyLinesReadAsOneStatementReadsThem) {
  ScratchDir d;
  CapturedOutput out;
  const auto written = [&](const char* format, std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<float> v(n);
    for (float& x : v) x = std::ldexp(static_cast<float>(rng() % 2000001) - 1000000.0f, static_cast<int>(rng() % 60) - 40);
    EXPECT_EQ(open_unit(31, OpenSpec{.file = d.file("w.txt")}), 0);
    write_real_row(31, format, v);
    close_unit(31);
    return read_file(d.file("w.txt"));
  };
  const std::string p1 = written("(1p,10e12.4,:)", 40000, 1), p0 = written("(10e12.6)", 40000, 2);
  const std::size_t line = 121;
  std::string bad = p1, crlf = p1, mixed = p1, early = p1;
  bad[1999 * line + 50] = 'x';
  crlf.insert(3000 * line - 1, "\r");
  for (std::size_t j = 1; j < 4000; j += 2) mixed.replace(j * line, line, p0, j * line, line);
  early.replace(500 * line + 60, 1, "\n");  // a line of 5 fields, then one of 59 columns
  early.erase(500 * line + 120, 1);
  struct Row {
    int line;
    const std::string* text;
    std::size_t n;
  } rows[] = {{__LINE__, &p1, 40000}, {__LINE__, &p1, 39995}, {__LINE__, &p1, 20000}, {__LINE__, &p0, 40000},
              {__LINE__, &bad, 40000}, {__LINE__, &crlf, 40000}, {__LINE__, &mixed, 40000},
              {__LINE__, &early, 40000}};
  for (const std::string format : {"(10e12.6)", "(1p,10e12.4,:)"}) {
    for (const Row& r : rows) {
      SCOPED_TRACE(std::to_string(r.line) + " " + format);
      const ReadResult fast = read_with(d, *r.text, r.n, [&](std::vector<float>& v, bool& cut) {
        return read_real_row(21, want_both, format, v, &cut);
      });
      const ReadResult slow = read_with(d, *r.text, r.n, [&](std::vector<float>& v, bool& cut) {
        InputStatement s(21, want_both, format);
        s.items(std::span<float>(v));
        const Io io = s.finish();
        cut = s.ran_past_file_end();
        return io;
      });
      EXPECT_EQ(fast.io, slow.io);
      EXPECT_EQ(fast.fatal, slow.fatal);
      EXPECT_TRUE(fast.bits == slow.bits);
    }
  }
}

}  // namespace
}  // namespace kvax
