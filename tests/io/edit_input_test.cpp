// Text-to-number editing: fields from tables; conversions against strtod and strtof.
#include "io/edit_input.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>

namespace kvax {
namespace {

DataEdit edit(int d, int k = 0) {
  DataEdit e;
  e.kind = 'E';
  e.width = 12;
  e.digits = d;
  e.scale = k;
  return e;
}

TEST(InReal, Fields) {
  struct Row {
    int line;
    const char* field;
    int d, k;
    double expected;
  };
  const Row rows[] = {
      {__LINE__, "  1.2346E+00", 6, 0, 1.2346},
      {__LINE__, " -3.4560E-03", 6, 0, -3.456e-3},
      {__LINE__, "  0.0000E+00", 6, 0, 0.0},
      {__LINE__, " -0.0000E+00", 6, 0, -0.0},
      {__LINE__, "", 6, 0, 0.0},
      {__LINE__, "+", 0, 0, 0.0},  // a sign alone is zero
      {__LINE__, "  -  ", 0, 0, -0.0},
      {__LINE__, "123", 6, 0, 0.000123},  // no point: the last d digits are the fraction
      {__LINE__, "123", -1, 0, 123},
      {__LINE__, "15E1", 1, 0, 15},
      {__LINE__, "1 2 3", 1, 0, 12.3},  // blanks are ignored anywhere
      {__LINE__, " 1 . 5 E 2 ", 0, 0, 150},
      {__LINE__, "- 1.5", 0, 0, -1.5},
      {__LINE__, "1.5-3", 0, 0, 1.5e-3},  // exponent as a bare signed number
      {__LINE__, "  1.0000+100", 4, 0, 1e100},
      {__LINE__, "1.5D2", 0, 0, 150},
      {__LINE__, "1.5q-2", 0, 0, 0.015},
      {__LINE__, "1.5", 0, 1, 0.15},  // kP divides a field without an exponent
      {__LINE__, "1.5", 0, -2, 150},
      {__LINE__, "1.5E0", 0, 1, 1.5},  // and leaves one with an exponent alone
      {__LINE__, "0.1000000000000000055511151231257827021181583404541015625", 0, 0, 0.1},
      {__LINE__, "123456789012345678901234567890", 0, 0, 1.2345678901234568e29},
      {__LINE__, "1e-400", 0, 0, 0.0},
      {__LINE__, "2.4703282292062328e-324", 0, 0, 4.9406564584124654e-324},
      {__LINE__, "1.5E+00001", 0, 0, 15},
      {__LINE__, "1E-99999999999", 0, 0, 0.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    double v = 99;
    ASSERT_EQ(0, in_real(r.field, edit(r.d, r.k), v));
    EXPECT_EQ(r.expected, v);
    EXPECT_EQ(std::signbit(r.expected), std::signbit(v));
  }
}

TEST(InReal, SpecialValues) {
  double v = 0;
  for (const char* f : {"NaN", "  nan  ", "-NaN", " + nAn"}) {
    SCOPED_TRACE(f);
    ASSERT_EQ(0, in_real(f, edit(0), v));
    EXPECT_TRUE(std::isnan(v));
  }
  for (const char* f : {"INF", "inf", "  +Infinity ", "INFINITY"}) {
    SCOPED_TRACE(f);
    ASSERT_EQ(0, in_real(f, edit(0), v));
    EXPECT_EQ(std::numeric_limits<double>::infinity(), v);
  }
  float f = 0;
  ASSERT_EQ(0, in_real(" -inf", edit(0), f));
  EXPECT_EQ(-std::numeric_limits<float>::infinity(), f);
}

// Errors leave the value alone.
TEST(InReal, Errors) {
  struct Row {
    int line;
    const char* field;
    int code;
  };
  const Row rows[] = {
      {__LINE__, "1.5E", iostat::bad_numeric},   {__LINE__, "1.5E+", iostat::bad_numeric},
      {__LINE__, "1.2.3", iostat::bad_numeric},  {__LINE__, "1-2-3", iostat::bad_numeric},
      {__LINE__, "abc", iostat::bad_numeric},    {__LINE__, "  1.2346X+00", iostat::bad_numeric},
      {__LINE__, "E5", iostat::bad_numeric},     {__LINE__, "--1", iostat::bad_numeric},
      {__LINE__, "1+", iostat::bad_numeric},     {__LINE__, "1.5 x", iostat::bad_numeric},
      {__LINE__, "INFIN", iostat::bad_numeric},  {__LINE__, "NaNa", iostat::bad_numeric},
      {__LINE__, "1e5e5", iostat::bad_numeric},
      {__LINE__, ".E1", iostat::bad_numeric},    {__LINE__, "1,5", iostat::bad_numeric},
      {__LINE__, "1E309", iostat::numeric_overflow},
      {__LINE__, "-1.8E308", iostat::numeric_overflow},
      {__LINE__, "1E99999999999", iostat::numeric_overflow},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    double v = 99;
    EXPECT_EQ(r.code, in_real(r.field, edit(0), v));
    EXPECT_EQ(99, v);
  }
  float f = 99;
  EXPECT_EQ(iostat::numeric_overflow, in_real("1E39", edit(0), f));
  EXPECT_EQ(iostat::numeric_overflow, in_real("3.4028236E38", edit(0), f));  // rounds past FLT_MAX
  EXPECT_EQ(99, f);
}

// Floats where rounding first to double and then to float would go wrong, or where the
// value leaves the normal range.
// Floats where rounding first to double and then to float would go wrong, or where the
// value leaves the normal range.
TEST(InReal, FloatEdgeCases) {
  for (const char* text :
       {"1.00000005960464477539062500001", "1.000000059604644775390625",
        "1.00000005960464477539062499999", "3.40282356779733661637539395458142568447e38",
        "1.1754942E-38", "1.4E-45", "7.0064923216240854e-46", "7.0064923216240862e-46",
        "16777216.5", "9007199254740993"}) {
    float v = 99;
    ASSERT_EQ(0, in_real(text, edit(0), v)) << text;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(std::strtof(text, nullptr)),
              std::bit_cast<std::uint32_t>(v)) << text;
  }
}

// A field of the writers' form, in the spellings a reader must take, against strtof of
// the plain text. A quarter of the values have any bit pattern.
TEST(InReal, WrittenFieldsMatchStrtof) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> magnitude(-4, 4);
  for (int i = 0; i < 400000; ++i) {
    float x = i % 4 ? std::pow(10.0f, magnitude(rng))
                    : std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (!std::isfinite(x)) continue;
    if (rng() & 1) x = -x;
    const int d = 1 + static_cast<int>(rng() % 8);
    char plain[48];
    std::snprintf(plain, sizeof plain, "%*.*E", 8 + d, d, static_cast<double>(x));
    const float want = std::strtof(plain, nullptr);
    std::string field = plain;
    const std::size_t letter = field.find('E');
    DataEdit e = edit(0);
    switch (i % 5) {
      case 0: break;
      case 1: field[letter] = "DdqQe"[rng() % 5]; break;
      case 2: field.erase(letter, 1); break;  // "1.2346-03"
      case 3:  // no point: the digits after it become the last d digits
        field.erase(field.find('.'), 1);
        e.digits = d;
        break;
      case 4: field.insert(rng() % field.size(), " "); break;
    }
    float got = 99;
    const int rc = in_real(field, e, got);
    if (rc != 0 || std::bit_cast<std::uint32_t>(got) != std::bit_cast<std::uint32_t>(want))
      FAIL() << '"' << field << "\" rc=" << rc << " got " << got << " want " << want;
  }
}

// Fields near the edges of the writers' form, which the word-at-a-time path must either
// convert exactly or leave to the scans: against strtof of the same text without blanks
// and with the exponent letter spelled E, or the error code.
TEST(InReal, WrittenFormEdges) {
  struct Row {
    int line;
    const char* field;
    int code;
  };
  const Row rows[] = {
      {__LINE__, "  1.2346E+00", 0},       {__LINE__, " -9.9999d-09", 0},
      {__LINE__, " +1.2346E+00", 0},       {__LINE__, "-0.0000E+00", 0},
      {__LINE__, "1.234567E-04", 0},       {__LINE__, " 1.234567E-05", 0},  // 10^-10, 10^-11
      {__LINE__, "       1.E+10", 0},      {__LINE__, "       1.E+11", 0},
      {__LINE__, "  1.2346Q+00", 0},       {__LINE__, "  1.2346e+38", 0},
      {__LINE__, "  3.4028E+38", 0},       {__LINE__, "  1.1755E-38", 0},
      {__LINE__, "  1.4013E-45", 0},       {__LINE__, "   12.346E+00", 0},
      {__LINE__, "  .12346E+00", 0},       {__LINE__, "  1.2 46E+00", 0},  // inner blank ignored
      {__LINE__, "       1.2346E+00", 0},  {__LINE__, "        1.2346E+00", 0},
      {__LINE__, "  1.2346E+0x", iostat::bad_numeric},
      {__LINE__, "  1.2346E*00", iostat::bad_numeric},
      {__LINE__, "  1.2346)+00", iostat::bad_numeric},
      {__LINE__, "  1.2346E)00", iostat::bad_numeric},
      {__LINE__, "  1.2346E/00", iostat::bad_numeric},
      {__LINE__, "  1.2346E+:0", iostat::bad_numeric},
      {__LINE__, " +-1.234E+00", iostat::bad_numeric},
      {__LINE__, " -1-234E+00", iostat::bad_numeric},
      {__LINE__, "x 1.2346E+00", iostat::bad_numeric},
      {__LINE__, "x       1.2346E+00", iostat::bad_numeric},
      {__LINE__, "  1.23/6E+00", iostat::bad_numeric},
      {__LINE__, "  1:2346E+00", iostat::bad_numeric},
      {__LINE__, "  1.234\xca" "E+00", iostat::bad_numeric},  // its digit value + 6 wraps
      {__LINE__, "        E+00", iostat::bad_numeric},
      {__LINE__, "       .E+00", iostat::bad_numeric},
      {__LINE__, "  3.4029E+38", iostat::numeric_overflow},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    std::string plain;
    for (const char c : std::string(r.field))
      if (c != ' ') plain += c == 'd' || c == 'D' || c == 'Q' ? 'E' : c;
    float got = 99;
    EXPECT_EQ(r.code, in_real(r.field, edit(6), got));
    if (r.code == 0) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(std::strtof(plain.c_str(), nullptr)),
                std::bit_cast<std::uint32_t>(got));
    } else {
      EXPECT_EQ(99, got);
    }
  }
}

// A run of fields gives what one call per field gives, and stops at a bad field with its
// code, the fields before it stored and the rest untouched.
TEST(InReals, RunsMatchOneFieldAtATime) {
  const char* const fields[] = {"  1.2346E+00", " -9.9999d-09", "-0.0000E+00 ", "1.234567E-04",
                                "   1.2346   ", "        1234", "  1.2 46E+00", "            ",
                                "       1.E+1", "  -Infinity ", "  3.4028E+38", "  1.4013E-45"};
  std::mt19937 rng(31);
  std::string text;
  for (int i = 0; i < 500; ++i) text += fields[rng() % std::size(fields)];
  const std::size_t count = text.size() / 12;
  for (const DataEdit& e : {edit(6), edit(2, 1)}) {
    std::vector<float> one(count), run(count + 1, 99.0f);
    std::vector<double> one_d(count), run_d(count + 1, 99.0);
    for (std::size_t i = 0; i < count; ++i) {
      ASSERT_EQ(0, in_real(std::string_view(text).substr(12 * i, 12), e, one[i]));
      ASSERT_EQ(0, in_real(std::string_view(text).substr(12 * i, 12), e, one_d[i]));
    }
    std::size_t done = 0;
    EXPECT_EQ(0, in_reals(text.data(), e, run.data(), count, done));
    EXPECT_EQ(count, done);
    EXPECT_EQ(0, std::memcmp(one.data(), run.data(), count * sizeof(float)));
    EXPECT_EQ(99.0f, run[count]);
    EXPECT_EQ(0, in_reals(text.data(), e, run_d.data(), count, done));
    EXPECT_EQ(0, std::memcmp(one_d.data(), run_d.data(), count * sizeof(double)));
  }
  for (const auto& [bad, code] : {std::pair{"  1.2346E+0x", iostat::bad_numeric},
                                  std::pair{"  3.4029E+38", iostat::numeric_overflow}}) {
    std::string t = text.substr(0, 12 * 40) + bad + text.substr(0, 12 * 9);
    std::vector<float> v(50, 99.0f);
    std::size_t done = 0;
    EXPECT_EQ(code, in_reals(t.data(), edit(6), v.data(), v.size(), done));
    EXPECT_EQ(40u, done);
    EXPECT_NE(99.0f, v[39]);
    EXPECT_EQ(99.0f, v[40]);
  }
}

// Rows as the writers leave them, with now and then a field of another shape or a stray
// byte: a run gives the values and codes of one call per field, in every width that the
// writers' form takes, for floats and doubles.
template <class T>
void check_rows_of_fields(int w, std::mt19937& rng) {
  const std::string strays = " +-.0123456789EeDdQx";
  std::string text;
  const int count = 3000;
  for (int i = 0; i < count; ++i) {
    const int d = rng() % 8 ? 4 : 1 + static_cast<int>(rng() % 7);  // mostly one layout
    const double x = rng() % 10 == 0 ? 0.0 : std::pow(10.0, static_cast<int>(rng() % 25) - 12) * (rng() % 100000) / 7.0;
    char field[64];
    std::snprintf(field, sizeof field, "%*.*E", w, d, rng() & 1 ? -x : x);
    std::string f = std::string(field).substr(std::string(field).size() - static_cast<std::size_t>(w));
    if (rng() % 25 == 0) f[rng() % f.size()] = strays[rng() % strays.size()];
    text += f;
  }
  DataEdit e = edit(6);
  e.width = w;
  std::vector<T> one(count), run(count);
  std::vector<int> code(count);
  for (int i = 0; i < count; ++i)
    code[static_cast<std::size_t>(i)] = in_real(std::string_view(text).substr(static_cast<std::size_t>(i * w), w), e, one[static_cast<std::size_t>(i)]);
  for (std::size_t start = 0; start < static_cast<std::size_t>(count);) {
    std::size_t done = 0;
    const int rc = in_reals(text.data() + start * static_cast<std::size_t>(w), e, run.data() + start, count - start, done);
    for (std::size_t i = start; i < start + done; ++i) {
      ASSERT_EQ(code[i], 0) << i;
      ASSERT_EQ(std::memcmp(&one[i], &run[i], sizeof(T)), 0) << '"' << text.substr(i * w, w) << '"';
    }
    start += done;
    if (start == static_cast<std::size_t>(count)) break;
    ASSERT_EQ(rc, code[start]) << '"' << text.substr(start * w, w) << '"';
    ASSERT_NE(rc, 0);
    ++start;
  }
}

TEST(InReals, RowsOfWrittenFieldsWithStrayBytes) {
  std::mt19937 rng(77);
  for (int w : {12, 13, 16, 19}) {
    SCOPED_TRACE(w);
    check_rows_of_fields<float>(w, rng);
    check_rows_of_fields<double>(w, rng);
  }
}

// Every shape of the writers' form (1 to 7 digits, signs, letters, leading columns,
// exponents of floats and beyond) against strtof and strtod.
TEST(InReal, WrittenFormsMatchStrtofAndStrtod) {
  std::mt19937 rng(2029);
  for (int i = 0; i < 300000; ++i) {
    const int digits = 1 + i % 7;
    std::string text(1, static_cast<char>('0' + rng() % 10));
    text += '.';
    for (int j = 1; j < digits; ++j) text += static_cast<char>('0' + rng() % 10);
    const int x = static_cast<int>(rng() % 100);
    char ex[8];
    std::snprintf(ex, sizeof ex, "%c%02d", rng() & 1 ? '-' : '+', x);
    const std::string plain = (rng() & 1 ? "-" : "") + text + "E" + ex;
    std::string field = std::string(rng() % 9, ' ') + plain;
    field[field.size() - 4] = "EeDdEE"[rng() % 6];
    const float wantf = std::strtof(plain.c_str(), nullptr);
    const double want = std::strtod(plain.c_str(), nullptr);
    float gotf = 99;
    double got = 99;
    const int rcf = in_real(field, edit(i % 9), gotf);
    const int rc = in_real(field, edit(i % 9), got);
    if (std::isinf(wantf) ? rcf != iostat::numeric_overflow
                          : (rcf != 0 || std::bit_cast<std::uint32_t>(gotf) !=
                                             std::bit_cast<std::uint32_t>(wantf)))
      FAIL() << '"' << field << "\" rc=" << rcf << " got " << gotf << " want " << wantf;
    if (rc != 0 || std::bit_cast<std::uint64_t>(got) != std::bit_cast<std::uint64_t>(want))
      FAIL() << '"' << field << "\" rc=" << rc << " got " << got << " want " << want;
  }
}

// Random digit strings, short and long, with any exponent, against strtod and strtof.
TEST(InReal, DigitStringsMatchStrtodAndStrtof) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 300000; ++i) {
    const int count = 1 + static_cast<int>(rng() % (i % 10 ? 20 : 60));
    std::string digits;
    for (int j = 0; j < count; ++j) digits += static_cast<char>('0' + rng() % 10);
    const int point = static_cast<int>(rng() % (count + 1));
    digits.insert(static_cast<std::size_t>(point), ".");
    const int exponent = static_cast<int>(rng() % 700) - 350;
    const std::string text = digits + "e" + std::to_string(i % 2 ? exponent : exponent / 10);
    const double want = std::strtod(text.c_str(), nullptr);
    double got = 99;
    const int rc = in_real(text, edit(0), got);
    if (std::isinf(want) ? rc != iostat::numeric_overflow : (rc != 0 || got != want))
      FAIL() << text << " rc=" << rc << " got " << got << " want " << want;
    const float wantf = std::strtof(text.c_str(), nullptr);
    float gotf = 99;
    const int rcf = in_real(text, edit(0), gotf);
    if (std::isinf(wantf) ? rcf != iostat::numeric_overflow
                          : (rcf != 0 || std::bit_cast<std::uint32_t>(gotf) !=
                                             std::bit_cast<std::uint32_t>(wantf)))
      FAIL() << text << " rc=" << rcf << " got " << gotf << " want " << wantf;
  }
}

// Decimal texts near the midpoints between neighbouring floats, where a double result
// that is itself rounded must not decide the float.
TEST(InReal, FloatMidpointsMatchStrtof) {
  std::mt19937 rng(8);
  for (int i = 0; i < 300000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng() & 0x7f7fffff));
    if (f < FLT_MIN) continue;
    const double mid = (static_cast<double>(f) + std::nextafter(f, FLT_MAX)) / 2;
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", 4 + i % 14, mid);
    float got = 99;
    const float want = std::strtof(text, nullptr);
    if (in_real(text, edit(0), got) != 0 ||
        std::bit_cast<std::uint32_t>(got) != std::bit_cast<std::uint32_t>(want))
      FAIL() << text << " got " << got << " want " << want;
  }
}

TEST(InInteger, Fields) {
  struct Row {
    int line;
    const char* field;
    int code;
    std::int64_t expected;
  };
  const Row rows[] = {
      {__LINE__, "  42", 0, 42},
      {__LINE__, " -42", 0, -42},
      {__LINE__, " 4 2 ", 0, 42},
      {__LINE__, "    ", 0, 0},
      {__LINE__, "9223372036854775807", 0, std::numeric_limits<std::int64_t>::max()},
      {__LINE__, "-9223372036854775808", 0, std::numeric_limits<std::int64_t>::min()},
      {__LINE__, "9223372036854775808", iostat::numeric_overflow, 99},
      {__LINE__, "99999999999999999999999", iostat::numeric_overflow, 99},
      {__LINE__, "1.0", iostat::bad_numeric, 99},
      {__LINE__, "1e3", iostat::bad_numeric, 99},
      {__LINE__, "12-", iostat::bad_numeric, 99},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    std::int64_t v = 99;
    EXPECT_EQ(r.code, in_integer(r.field, v));
    EXPECT_EQ(r.expected, v);
  }
}

TEST(InLogical, Fields) {
  bool v = false;
  for (const char* f : {"T", "  t", " .TRUE.", ".t", "Tx"}) {
    SCOPED_TRACE(f);
    v = false;
    ASSERT_EQ(0, in_logical(f, v));
    EXPECT_TRUE(v);
  }
  ASSERT_EQ(0, in_logical(" .false.", v));
  EXPECT_FALSE(v);
  for (const char* f : {"", "   ", "x", ". T", "1"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(iostat::bad_numeric, in_logical(f, v));
  }
}

}  // namespace
}  // namespace kvax
