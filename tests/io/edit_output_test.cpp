// Number-to-text editing: field layouts from tables; digits and fields against snprintf.
#include "io/edit_output.h"

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

namespace kvax::detail {
void exact_round_digits(double v, int n, DecimalDigits& out);
}

namespace kvax {
namespace {

DataEdit edit(char kind, int w, int d, int k = 0, int e = -1) {
  DataEdit x;
  x.kind = kind;
  x.width = w;
  x.digits = d;
  x.scale = k;
  x.exp_digits = e;
  return x;
}

// The field, checked to be exactly e.width characters with nothing written beyond.
template <class T>
std::string field(const DataEdit& e, T v) {
  std::string buf(static_cast<std::size_t>(e.width) + 8, '#');
  EXPECT_EQ(e.width, out_real(buf.data(), e, v));
  EXPECT_EQ("########", buf.substr(static_cast<std::size_t>(e.width)));
  buf.resize(static_cast<std::size_t>(e.width));
  return buf;
}

// The same without the checks, for sweeps of millions of values.
template <class T>
std::string text_of(const DataEdit& e, T v) {
  std::string buf(static_cast<std::size_t>(e.width), '#');
  out_real(buf.data(), e, v);
  return buf;
}

std::string right(std::string s, int w) {
  if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// 1P,Ew.d built independently from printf's %.*E: the same digits, our exponent spelling.
std::string reference_1p_e(double v, int w, int d) {
  if (std::isnan(v)) return right("NaN", w);
  if (std::isinf(v)) return right(v < 0 ? "-INF" : "INF", w);
  if (v == 0) return right("0." + std::string(static_cast<std::size_t>(d), '0') + "E+00", w);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*E", d, std::fabs(v));
  char* ep = std::strchr(buf, 'E');
  const int x = std::atoi(ep + 1);
  *ep = '\0';
  char ex[8];
  std::snprintf(ex, sizeof ex, std::abs(x) < 100 ? "E%c%02d" : "%c%03d", x < 0 ? '-' : '+',
                std::abs(x));
  return right(std::string(v < 0 ? "-" : "") + buf + ex, w);
}

struct Row {
  int line;
  DataEdit e;
  double v;
  const char* expected;
};

void check_rows(std::initializer_list<Row> rows) {
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(r.expected, field(r.e, r.v));
  }
}

TEST(OutReal, ExponentFormOneP) {
  check_rows({
      {__LINE__, edit('E', 12, 4, 1), 1.234567, "  1.2346E+00"},
      {__LINE__, edit('E', 12, 4, 1), -1.234567, " -1.2346E+00"},
      {__LINE__, edit('E', 12, 4, 1), 0.0, "  0.0000E+00"},
      {__LINE__, edit('E', 12, 4, 1), -0.0, "  0.0000E+00"},
      {__LINE__, edit('E', 12, 4, 1), 1.0e100, "  1.0000+100"},
      {__LINE__, edit('D', 12, 4, 1), -2.5e-100, " -2.5000-100"},
      {__LINE__, edit('E', 12, 4, 1), 9.99996, "  1.0000E+01"},  // carry into a new digit
      {__LINE__, edit('E', 12, 4, 1), 4.9e-324, "  4.9407-324"},
      {__LINE__, edit('E', 10, 4, 1), -1.5, "**********"},
      {__LINE__, edit('E', 9, 4, 1), 0.0, ".0000E+00"},  // zero: no column for the "0"
      {__LINE__, edit('E', 12, 1, 1), 0.125, "     1.2E-01"},  // ties to even
      {__LINE__, edit('E', 8, 0, 1), 2.5, "  2.E+00"},
      {__LINE__, edit('E', 8, 0, 1), 3.5, "  4.E+00"},
  });
}

TEST(OutReal, ExponentFormOtherScales) {
  check_rows({
      {__LINE__, edit('E', 12, 4), 1.234567, "  0.1235E+01"},
      {__LINE__, edit('E', 9, 4), 1.234567, ".1235E+01"},
      {__LINE__, edit('E', 10, 4), -1.234567, "-.1235E+01"},
      {__LINE__, edit('E', 12, 4), 9.99996, "  0.1000E+02"},
      {__LINE__, edit('E', 12, 4, 2), 1.234567, "  12.346E-01"},
      {__LINE__, edit('E', 12, 4, 5), 1.234567, "  12346.E-04"},
      {__LINE__, edit('E', 12, 4, 6), 1.234567, "************"},  // k = d + 2
      {__LINE__, edit('E', 12, 4, -3), 1.234567, "  0.0001E+04"},
      {__LINE__, edit('E', 12, 4, -4), 1.234567, "************"},  // k = -d
      {__LINE__, edit('E', 12, 4, -4), 0.0, "  0.0000E+00"},      // zero ignores k
      {__LINE__, edit('E', 12, 4, 0, 3), 1.234567, " 0.1235E+001"},
      {__LINE__, edit('E', 13, 4, 1, 3), 1.0e100, "  1.0000E+100"},
      {__LINE__, edit('E', 12, 4, 1, 1), 1.0e10, "************"},  // exponent needs 2 digits
      {__LINE__, edit('E', 10, 4, 1, 1), -1.5e-9, "-1.5000E-9"},
  });
}

TEST(OutReal, FixedForm) {
  check_rows({
      {__LINE__, edit('F', 5, 2), -0.0, " 0.00"},
      {__LINE__, edit('F', 5, 2), -0.001, " 0.00"},
      {__LINE__, edit('F', 5, 2), -0.006, "-0.01"},
      {__LINE__, edit('F', 5, 2), 0.125, " 0.12"},  // ties to even on the exact value
      {__LINE__, edit('F', 3, 2), 0.5, ".50"},
      {__LINE__, edit('F', 4, 2), -0.5, "-.50"},
      {__LINE__, edit('F', 3, 2), -0.5, "***"},
      {__LINE__, edit('F', 5, 0), 2.5, "   2."},
      {__LINE__, edit('F', 1, 0), 0.3, "*"},
      {__LINE__, edit('F', 5, 1), 999.96, "*****"},  // rounds up to a fourth integer digit
      {__LINE__, edit('F', 8, 2, 1), 1.5, "   15.00"},
      {__LINE__, edit('F', 8, 3, -1), 1.5, "   0.150"},
      {__LINE__, edit('F', 10, 1), 1.0e300, "**********"},
      {__LINE__, edit('F', 10, 3), 4.9e-324, "     0.000"},
      {__LINE__, edit('F', 40, 30), 1.0 / 3, "        0.333333333333333314829616256247"},
      {__LINE__, edit('F', 5, 1), -std::numeric_limits<double>::infinity(), " -INF"},
      {__LINE__, edit('E', 3, 1), -std::numeric_limits<double>::infinity(), "***"},
  });
}

// Values that random bit patterns all but never hit: zero, the ends of the range, decimal
// ties that floats hold exactly, and every power of ten with its neighbours.
TEST(OutReal, FloatSpecialValues) {
  const DataEdit e = edit('E', 12, 4, 1);
  for (float v : {0.0f, -0.0f, FLT_MIN, -FLT_MAX, FLT_TRUE_MIN, 1.03125f, 123455.0f, 99999.5f})
    EXPECT_EQ(reference_1p_e(v, 12, 4), field(e, v)) << v;
  for (int p = -45; p <= 38; ++p) {
    const float t = std::strtof(("1e" + std::to_string(p)).c_str(), nullptr);
    for (float v : {std::nextafter(t, 0.0f), t, std::nextafter(t, FLT_MAX)})
      EXPECT_EQ(reference_1p_e(v, 12, 4), field(e, v)) << v;
  }
}

// Random float bit patterns: the short layout of 1P,Ew.d against printf and against the
// general layout (taken for fields over 32 columns), and the fast digits against the exact
// expansion.
TEST(OutReal, RandomFloatsMatchPrintfAndGeneralPath) {
  std::mt19937 rng(12345);
  DecimalDigits fast, exact;
  for (int i = 0; i < 2000000; ++i) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    const int d = 2 + i % 5;
    const int w = d + 8;
    const std::string got = text_of(edit(i % 3 ? 'E' : 'D', w, d, 1), v);
    std::string want = reference_1p_e(v, w, d);
    if (i % 3 == 0 && want.find('E') != std::string::npos) want[want.find('E')] = 'D';
    if (got != want) FAIL() << std::hexfloat << v << " d=" << d << ": " << got;
    if (i % 2) continue;
    const std::string wide = text_of(edit(i % 3 ? 'E' : 'D', 40, d, 1), v);
    if (got != wide.substr(static_cast<std::size_t>(40 - w)))
      FAIL() << std::hexfloat << v << " d=" << d << ": general layout differs";
    if (!std::isfinite(v) || v == 0) continue;
    const int n = 1 + i % 9;
    round_digits(v, n, fast);
    detail::exact_round_digits(v, n, exact);
    if (std::strcmp(fast.digits, exact.digits) != 0 || fast.exponent != exact.exponent)
      FAIL() << std::hexfloat << v << " n=" << n << ": " << fast.digits << "e" << fast.exponent
             << " vs " << exact.digits << "e" << exact.exponent;
  }
}

// Floats on both sides of decimal ties d.dddd5: where double rounding errors would show.
TEST(OutReal, FloatsAroundDecimalTies) {
  std::mt19937 rng(777);
  const DataEdit e = edit('E', 12, 4, 1);
  for (int i = 0; i < 200000; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%d5e%d", 10000 + static_cast<int>(rng() % 90000),
                  static_cast<int>(rng() % 80) - 48);
    const float t = std::strtof(text, nullptr);
    for (float v : {std::nextafter(t, 0.0f), t, std::nextafter(t, FLT_MAX)}) {
      if (text_of(e, v) != reference_1p_e(v, 12, 4)) FAIL() << text << " " << v;
    }
  }
  for (int j = 1; j <= 24; ++j) {  // exact binary ties: m / 2^j
    for (int m = 1; m < 4000; ++m) {
      const float v = std::ldexp(static_cast<float>(m), -j) * 1000;
      if (text_of(e, v) != reference_1p_e(v, 12, 4)) FAIL() << v;
    }
  }
}

// 1P,Ew.d (or Dw.d) of a float built from the exact digit generator; printf's text for
// zero, infinities and not-a-number.
std::string exact_1p(float v, int w, int d, char letter) {
  if (v == 0 || !std::isfinite(v)) {
    std::string s = reference_1p_e(v, w, d);
    if (letter == 'D' && s.find('E') != std::string::npos) s[s.find('E')] = 'D';
    return s;
  }
  DecimalDigits x;
  detail::exact_round_digits(v, d + 1, x);
  const int p = x.exponent - 1;
  char ex[16];
  std::snprintf(ex, sizeof ex, "%c%c%02d", letter, p < 0 ? '-' : '+', std::abs(p));
  return right(std::string(v < 0 ? "-" : "") + x.digits[0] + "." + (x.digits + 1) + ex, w);
}

// The float fields of the row formats against the exact digit generator: random bit
// patterns, floats on both sides of decimal ties for every d (where the fast digits must
// see that they cannot decide), the carry into a new digit, and exact binary ties. Widths
// run from no blank column to beyond the short layout.
TEST(OutReal, FloatRowFormsMatchExactDigits) {
  std::mt19937 rng(2027);
  auto check = [&](float v, int i) {
    const int d = 2 + i % 5;
    const int w = d + 6 + i % 11;
    const char letter = i % 3 ? 'E' : 'D';
    const std::string got = text_of(edit(letter, w, d, 1), v);
    const std::string want = exact_1p(v, w, d, letter);
    if (got == want) return true;
    ADD_FAILURE() << std::hexfloat << v << " " << letter << w << "." << d << ": " << got
                  << " vs " << want;
    return false;
  };
  for (int i = 0; i < 1000000; ++i)
    if (!check(std::bit_cast<float>(static_cast<std::uint32_t>(rng())), i)) return;
  for (int i = 0; i < 200000; ++i) {
    const int n = 3 + i % 5;  // the digits of d = n - 1, as check() takes them
    const std::uint32_t top = static_cast<std::uint32_t>(std::pow(10, n));
    const std::uint32_t digits = i % 7 ? top / 10 + rng() % (top - top / 10) : top - 1;
    char text[32];
    std::snprintf(text, sizeof text, "%u5e%d", digits, static_cast<int>(rng() % 80) - 45 - n);
    const float t = std::strtof(text, nullptr);
    for (float v : {std::nextafter(t, 0.0f), t, std::nextafter(t, FLT_MAX)})
      if (!check(rng() & 1 ? v : -v, n - 3 + 5 * static_cast<int>(rng() % 1000))) return;
  }
  for (int j = 1; j <= 30; ++j)
    for (int m = 1; m < 3000; ++m)
      if (!check(std::ldexp(static_cast<float>(m), -j) * 100, m)) return;
}

// A run under one edit writes the fields that one call per value writes, and nothing past
// them: row shapes with specials, zeros, denormals and values near ties mixed in, edits the
// short form does not take, and doubles.
TEST(OutReals, RunsMatchOneValueAtATime) {
  std::mt19937 rng(4242);
  std::vector<float> v(997);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::uint32_t bits = static_cast<std::uint32_t>(rng());
    switch (i % 7) {
      case 0: v[i] = 0.0f; break;
      case 1: v[i] = std::bit_cast<float>(bits & 0x807fffff); break;  // denormals, zeros
      case 2: v[i] = std::bit_cast<float>(bits | 0x7f800000); break;  // NaN, infinities
      case 3: v[i] = std::strtof(("1.23455e" + std::to_string(int(bits % 60) - 30)).c_str(), nullptr); break;
      default: v[i] = std::bit_cast<float>(bits); break;
    }
  }
  const std::vector<double> dv(v.begin(), v.end());
  for (const DataEdit& e : {edit('E', 12, 4, 1), edit('D', 9, 2, 1), edit('E', 14, 6, 1), edit('E', 20, 4, 1),
                            edit('E', 12, 4), edit('E', 12, 4, 1, 3), edit('F', 10, 1), edit('E', 16, 7, 1)}) {
    SCOPED_TRACE(std::string(1, e.kind) + std::to_string(e.width) + "." + std::to_string(e.digits));
    const std::size_t w = static_cast<std::size_t>(e.width);
    std::string one(v.size() * w, '#'), run(v.size() * w + 8, '#'), one_d(one), run_d(run);
    for (std::size_t i = 0; i < v.size(); ++i) {
      out_real(one.data() + i * w, e, v[i]);
      out_real(one_d.data() + i * w, e, dv[i]);
    }
    out_reals(run.data(), e, v.data(), v.size());
    out_reals(run_d.data(), e, dv.data(), dv.size());
    EXPECT_EQ(one + "########", run);
    EXPECT_EQ(one_d + "########", run_d);
  }
}

TEST(RoundDigits, DoublesMatchPrintf) {
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> mid(-60, 60);
  DecimalDigits got;
  for (int i = 0; i < 300000; ++i) {
    // Half with any exponent, half in the range of the fast path.
    const double v = i % 2 ? std::bit_cast<double>(rng()) : std::pow(10.0, mid(rng));
    if (!std::isfinite(v) || v == 0) continue;
    const int n = i % 4 ? 1 + i % 9 : 1 + i % 40;
    round_digits(v, n, got);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.*e", n - 1, std::fabs(v));
    std::string want(1, buf[0]);
    if (n > 1) want.append(buf + 2, static_cast<std::size_t>(n - 1));
    const int want_exp = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    if (want != got.digits || want_exp != got.exponent || got.count != n)
      FAIL() << std::hexfloat << v << " n=" << n << ": " << got.digits << "e" << got.exponent
             << " vs " << buf;
  }
}

TEST(OutReal, FixedFormMatchesPrintf) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> mag(-8, 14);
  for (int i = 0; i < 200000; ++i) {
    const int d = i % 8;
    double v = std::pow(10.0, mag(rng)) * (i % 3 ? 1 : -1);
    if (i % 5 == 0) v = std::round(v * 1000) / 1000 + 0.0005;  // near decimal ties
    char buf[64];
    std::snprintf(buf, sizeof buf, "%#.*f", d, std::fabs(v));  // '#': "12." for d = 0
    const bool nonzero = std::strpbrk(buf, "123456789") != nullptr;
    const std::string want = right(std::string(v < 0 && nonzero ? "-" : "") + buf, 40);
    if (text_of(edit('F', 40, d), v) != want) FAIL() << std::hexfloat << v << " d=" << d;
  }
}

TEST(OutInteger, Table) {
  struct IRow {
    int line;
    DataEdit e;
    std::int64_t v;
    const char* expected;
  };
  const IRow rows[] = {
      {__LINE__, edit('I', 5, -1), 42, "   42"},
      {__LINE__, edit('I', 5, -1), -42, "  -42"},
      {__LINE__, edit('I', 2, 2), 5, "05"},
      {__LINE__, edit('I', 5, 3), -7, " -007"},
      {__LINE__, edit('I', 3, 0), 0, "   "},
      {__LINE__, edit('I', 3, 0), -5, " -5"},
      {__LINE__, edit('I', 3, 4), 1, "***"},
      {__LINE__, edit('I', 2, -1), 123, "**"},
      {__LINE__, edit('I', 1, -1), -1, "*"},
      {__LINE__, edit('I', 20, -1), std::numeric_limits<std::int64_t>::min(),
       "-9223372036854775808"},
  };
  for (const IRow& r : rows) {
    SCOPED_TRACE(r.line);
    std::string buf(static_cast<std::size_t>(r.e.width), '#');
    EXPECT_EQ(r.e.width, out_integer(buf.data(), r.e, r.v));
    EXPECT_EQ(r.expected, buf);
  }
}

TEST(OutLogical, BlanksThenLetter) {
  char buf[3];
  EXPECT_EQ(3, out_logical(buf, edit('L', 3, -1), false));
  EXPECT_EQ("  F", std::string(buf, 3));
}

}  // namespace
}  // namespace kvax
