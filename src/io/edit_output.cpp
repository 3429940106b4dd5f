// Number-to-text editing: correctly rounded decimal digits first, then the field layout.
//
// Digits come from one of three generators that agree byte for byte:
//  - for floats in the row formats, one in 64-bit integer arithmetic: the 24-bit mantissa
//    times a tabled power of ten for its binary exponent, one 64 x 64 -> 128-bit product,
//    declined when the product is too close to a rounding tie;
//  - a fast one in double arithmetic (the value scaled by a power of ten and rounded to an
//    integer), used for at most 9 significant digits and declined when the scaled value is
//    too close to a rounding tie for its rounding error to be ruled out;
//  - an exact one that expands the binary value into all of its decimal digits (every
//    binary fraction has a finite decimal expansion) and rounds that string.
// The row formats' shape (1P, Ew.d or Dw.d, d of 2 to 6, two exponent digits, a short
// field) is laid out in registers and written with a few word stores; every other field
// goes through the general layout.
#include "io/edit_output.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "io/format_floats.h"
#include "io/powers_of_ten.h"

namespace kvax {
namespace {

using u64 = std::uint64_t;
using u32 = std::uint32_t;

constexpr std::array<char, 200> make_pairs() {
  std::array<char, 200> a{};
  for (int i = 0; i < 100; ++i) {
    a[2 * i] = static_cast<char>('0' + i / 10);
    a[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return a;
}
constexpr std::array<char, 200> digit_pairs = make_pairs();

constexpr std::array<u64, 20> make_pow10_u64() {
  std::array<u64, 20> a{};
  u64 p = 1;
  for (auto& x : a) x = p, p *= 10;
  return a;
}
constexpr std::array<u64, 20> pow10_u64 = make_pow10_u64();

// Writes the n low decimal digits of v, zero-padded, at p[0..n).
inline void put_digits(char* p, u64 v, int n) {
  char* q = p + n;
  for (; n >= 2; n -= 2) {
    q -= 2;
    std::memcpy(q, &digit_pairs[2 * (v % 100)], 2);
    v /= 100;
  }
  if (n) *--q = static_cast<char>('0' + v % 10);
}

int stars(char* dst, int w) {
  std::memset(dst, '*', static_cast<std::size_t>(w));
  return w;
}

// Digit buffers hold up to a field's width of digits and a carry digit.
constexpr int digit_buffer = max_field_width + 1;

// ---- Digits ------------------------------------------------------------------------------

// 0.5 - 10^n * 2^-50: a scaled value below 10^n whose distance to the nearest integer
// reaches this may be a tie, or lie on the other side of one, within its rounding error.
constexpr std::array<double, 10> make_near_half() {
  std::array<double, 10> a{};
  double p = 1;
  for (auto& h : a) h = 0.5 - p * 0x1p-50, p *= 10;
  return a;
}
constexpr std::array<double, 10> near_half = make_near_half();

// n (1..9) significant digits of x (positive, finite) in double arithmetic: x * 10^s rounded
// to an integer, where s puts n digits before the point. The scaled value carries at most
// two roundings (the tabled power and the product), a relative error below 2^-52; its
// rounding is trusted only when it lies farther than 10^n * 2^-50 from a tie.
// On success x ~ 0.N * 10^exp10 with N of exactly n digits.
inline bool fast_digits(double x, int n, u64& digits, int& exp10) {
  const int e2 = static_cast<int>(std::bit_cast<u64>(x) >> 52) - 1023;  // denormals: out of range
  const int f = (e2 * 78913) >> 18;  // floor(e2 * log10 2): 10^f <= x < 10^(f + 2)
  if (static_cast<unsigned>(f + 70) > 140) return false;  // keeps every index below in the table
  // A select rather than a branch: for random data a branch would mispredict half the time.
  // Where x is the rounded power itself the choice may be one too high; the scaled value is
  // then just below 10^(n-1) and rounds up to it, the same digits.
  const int e = f + 1 + (x >= rounded_pow10(f + 1));
  const double y = x * rounded_pow10(n - e);
  // y + 2^52 rounds y to an integer (to nearest, ties to even) and holds it in its low
  // mantissa bits (y < 2^52), which is quicker to take than a conversion.
  const double shifted = y + 0x1p52;
  const double r = shifted - 0x1p52;
  if (std::fabs(y - r) >= near_half[n]) return false;
  const u64 q = std::bit_cast<u64>(shifted) & ((u64{1} << 52) - 1);
  if (q - pow10_u64[n - 1] >= pow10_u64[n] - pow10_u64[n - 1]) [[unlikely]] {
    if (q != pow10_u64[n]) return false;
    digits = pow10_u64[n - 1];  // 9.99995 -> 10.000: one digit more, exponent up
    exp10 = e + 1;
    return true;
  }
  digits = q;
  exp10 = e;
  return true;
}

// x * 10^s rounded to an integer below 2^49, under the error bound of fast_digits.
inline bool fast_scaled(double x, int s, u64& out) {
  if (s < rounded_pow10_min || s > rounded_pow10_max) return false;
  const double y = x * rounded_pow10(s);
  if (!(y < 0x1p49)) return false;
  const double r = (y + 0x1p52) - 0x1p52;
  if (std::fabs(y - r) >= 0.5 - y * 0x1p-50) return false;
  out = static_cast<u64>(static_cast<std::int64_t>(r));
  return true;
}

// The exact decimal expansion of a positive finite double: 0.<digits> * 10^point with the
// first digit nonzero and trailing zeros dropped. The longest, for a denormal, has 767
// significant digits.
struct ExactDecimal {
  char digits[784];
  int count;
  int point;
};

// Multiplies a base-10^9 number (little-endian limbs) by f <= 2^32.
inline void mul_limbs(u32* limb, int& nl, u64 f) {
  constexpr u64 base = 1000000000;
  u64 carry = 0;
  for (int i = 0; i < nl; ++i) {
    const u64 p = limb[i] * f + carry;
    limb[i] = static_cast<u32>(p % base);
    carry = p / base;
  }
  while (carry) {
    limb[nl++] = static_cast<u32>(carry % base);
    carry /= base;
  }
}

// x = m * 2^b is the integer m * 2^b when b >= 0, and m * 5^-b * 10^b when b < 0; either
// integer is built in base 10^9 and written out.
void expand(double x, ExactDecimal& out) {
  const u64 bits = std::bit_cast<u64>(x);
  const int biased = static_cast<int>(bits >> 52) & 0x7ff;
  u64 m = bits & ((u64{1} << 52) - 1);
  int b = biased ? biased - 1075 : -1074;
  if (biased) m |= u64{1} << 52;
  const int tz = std::countr_zero(m);
  m >>= tz;
  b += tz;

  u32 limb[96];
  int nl = 0;
  do {
    limb[nl++] = static_cast<u32>(m % 1000000000);
    m /= 1000000000;
  } while (m);
  if (b > 0) {
    int r = b;
    for (; r >= 32; r -= 32) mul_limbs(limb, nl, u64{1} << 32);
    if (r) mul_limbs(limb, nl, u64{1} << r);
  } else if (b < 0) {
    constexpr u64 five13 = 1220703125;  // 5^13, the largest power of five below 2^32
    int r = -b;
    for (; r >= 13; r -= 13) mul_limbs(limb, nl, five13);
    u64 f = 1;
    while (r--) f *= 5;
    if (f > 1) mul_limbs(limb, nl, f);
  }

  char* p = out.digits;
  char top[10];
  int nt = 0;
  for (u32 v = limb[nl - 1]; v; v /= 10) top[nt++] = static_cast<char>('0' + v % 10);
  while (nt) *p++ = top[--nt];
  for (int i = nl - 2; i >= 0; --i, p += 9) put_digits(p, limb[i], 9);
  int count = static_cast<int>(p - out.digits);
  out.point = count + (b < 0 ? b : 0);
  while (out.digits[count - 1] == '0') --count;
  out.count = count;
}

// Rounds x to its first `keep` digits (keep >= 0), nearest with ties to even. Writes the
// digits of the result to out with no leading zeros and returns their number: keep, or
// keep + 1 when the rounding carried into a new leading digit (999 -> 1000), or 0 for a
// result of zero. out needs room for keep + 1 digits.
int round_to(const ExactDecimal& x, int keep, char* out) {
  if (keep >= x.count) {
    std::memcpy(out, x.digits, static_cast<std::size_t>(x.count));
    std::memset(out + x.count, '0', static_cast<std::size_t>(keep - x.count));
    return keep;
  }
  std::memcpy(out, x.digits, static_cast<std::size_t>(keep));
  const char next = x.digits[keep];
  // Trailing zeros are dropped, so anything after `next` is nonzero. An empty kept part
  // counts as even. Digit characters have the parity of their digits.
  const bool up = next > '5' ||
                  (next == '5' && (keep + 1 < x.count || (keep > 0 && (out[keep - 1] & 1))));
  if (!up) return keep;
  int i = keep - 1;
  while (i >= 0 && out[i] == '9') out[i--] = '0';
  if (i >= 0) {
    ++out[i];
    return keep;
  }
  out[0] = '1';
  if (keep > 0) std::memset(out + 1, '0', static_cast<std::size_t>(keep));
  return keep + 1;
}

// n significant digits of x (positive, finite) by the exact expansion: x ~ 0.out * 10^exp10.
void exact_digits(double x, int n, char* out, int& exp10) {
  ExactDecimal xd;
  expand(x, xd);
  exp10 = xd.point;
  if (round_to(xd, n, out) > n) ++exp10;  // "1000...": its first n digits serve
}

// ---- Layout ------------------------------------------------------------------------------

int put_special(char* dst, int w, bool negative, bool nan) {
  const char* s = nan ? "NaN" : negative ? "-INF" : "INF";
  const int len = nan ? 3 : negative ? 4 : 3;
  if (len > w) return stars(dst, w);
  std::memset(dst, ' ', static_cast<std::size_t>(w - len));
  std::memcpy(dst + w - len, s, static_cast<std::size_t>(len));
  return w;
}

// Significant digits the exponent form shows under scale factor k: d + 1 for 0 < k < d + 2,
// d + k for -d < k <= 0; 0 when k is outside both (the field is then asterisks).
inline int exp_form_digits(const DataEdit& e) {
  const int d = e.digits > 0 ? e.digits : 0;
  const int k = e.scale;
  if (k > 0) return k < d + 2 ? d + 1 : 0;
  return k > -d ? d + k : 0;
}

// The column left of the number: the "0" or the sign; and the one left of that: the sign
// after a "0". lead is the number of columns before the number proper.
inline void put_lead(char* dst, int lead, bool zero_lead, bool minus) {
  if (zero_lead) {
    dst[lead - 1] = '0';
    if (minus) dst[lead - 2] = '-';
  } else if (minus) {
    dst[lead - 1] = '-';
  }
}

// The exponent form of 0.dig * 10^exp10 (dig: exp_form_digits(e) digits), or of zero when
// dig is null. Zero is laid out with k = 0.
int put_exponent_form(char* dst, const DataEdit& e, bool negative, const char* dig, int exp10) {
  const int w = e.width;
  const int d = e.digits > 0 ? e.digits : 0;
  const int k = dig ? e.scale : 0;
  const int x = dig ? exp10 - k : 0;
  const u32 ax = static_cast<u32>(x < 0 ? -x : x);

  int ed;              // exponent digits
  bool letter = true;  // left out for 100..999 without Ee
  if (e.exp_digits > 0) {
    ed = e.exp_digits;
    if (ed + 2 > w || (ed < 10 && ax >= pow10_u64[static_cast<std::size_t>(ed)]))
      return stars(dst, w);
  } else if (ax < 100) {
    ed = 2;
  } else if (ax < 1000) {
    ed = 3;
    letter = false;
  } else {
    return stars(dst, w);
  }
  const bool minus = negative && dig;
  const int before = k > 0 ? k : 0;         // digits before the point
  const int after = k > 0 ? d - k + 1 : d;  // characters after the point
  const int body = before + 1 + after + letter + 1 + ed;
  if (body + minus > w) return stars(dst, w);
  const bool zero_lead = before == 0 && body + minus < w;

  const int lead = w - body;
  std::memset(dst, ' ', static_cast<std::size_t>(lead));
  char* p = dst + lead;
  if (!dig) {
    *p++ = '.';
    std::memset(p, '0', static_cast<std::size_t>(d));
    p += d;
  } else if (k > 0) {
    std::memcpy(p, dig, static_cast<std::size_t>(k));
    p += k;
    *p++ = '.';
    std::memcpy(p, dig + k, static_cast<std::size_t>(after));
    p += after;
  } else {
    *p++ = '.';
    std::memset(p, '0', static_cast<std::size_t>(-k));
    p += -k;
    std::memcpy(p, dig, static_cast<std::size_t>(d + k));
    p += d + k;
  }
  if (letter) *p++ = e.kind == 'D' ? 'D' : 'E';
  *p++ = x < 0 ? '-' : '+';
  put_digits(p, ax, ed);
  put_lead(dst, lead, zero_lead, minus);
  return w;
}

// The fixed form of N / 10^d, N given by its digits (no leading zeros; len 0 for zero).
// A minus sign only when N is not zero; a "0" before the point when there is no integer
// digit and room for it, or when d is 0 ("0." rather than ".").
int put_fixed_form(char* dst, int w, int d, bool negative, const char* dig, int len) {
  const bool minus = negative && len > 0;
  const int before = len > d ? len - d : 0;
  const int body = before + 1 + d;
  const bool zero_lead = before == 0 && (body + minus < w || d == 0);
  if (body + minus + zero_lead > w) return stars(dst, w);

  const int lead = w - body;
  std::memset(dst, ' ', static_cast<std::size_t>(lead));
  char* p = dst + lead;
  std::memcpy(p, dig, static_cast<std::size_t>(before));
  p += before;
  *p++ = '.';
  const int zeros = d - (len - before);  // leading zeros of the fraction
  std::memset(p, '0', static_cast<std::size_t>(zeros));
  p += zeros;
  std::memcpy(p, dig + before, static_cast<std::size_t>(len - before));
  put_lead(dst, lead, zero_lead, minus);
  return w;
}

// The n low decimal digits of v (n <= 8) as characters in one word, the first digit in
// the lowest byte: v is split into 4-, 2- and 1-digit lanes that are divided in parallel by
// multiply-and-shift (x / 100 = x * 10486 >> 20 below 10^4, x / 10 = x * 103 >> 10 below 100).
inline u64 digit_word(u32 v, int n) {
  u64 w = (v / 10000) | (u64{v % 10000} << 32);
  const u64 hundreds = ((w * 10486) >> 20) & 0x0000007f0000007f;
  w = hundreds | ((w - 100 * hundreds) << 16);
  const u64 tens = ((w * 103) >> 10) & 0x000f000f000f000f;
  w = tens | ((w - 10 * tens) << 8);
  return (w | 0x3030303030303030) >> (8 * (8 - n));
}

// Words of characters hold the first character in their lowest byte.
static_assert(std::endian::native == std::endian::little);

inline void store8(char* p, u64 v) { std::memcpy(p, &v, 8); }
inline void store4(char* p, u32 v) { std::memcpy(p, &v, 4); }

// "E-99" to "E+99" as words, indexed by exponent + 99.
constexpr std::array<u32, 199> make_exponent_words() {
  std::array<u32, 199> a{};
  for (int x = -99; x <= 99; ++x) {
    const int ax = x < 0 ? -x : x;
    a[static_cast<std::size_t>(x + 99)] = u32{'E'} | (static_cast<u32>(x < 0 ? '-' : '+') << 8) |
                                          (static_cast<u32>('0' + ax / 10) << 16) |
                                          (static_cast<u32>('0' + ax % 10) << 24);
  }
  return a;
}
constexpr std::array<u32, 199> exponent_words = make_exponent_words();

// 1P,Ew.d and 1P,Dw.d with 2 <= d <= 6, a field of at most 32 columns with room for the
// "0" of zero, and an exponent of two digits: the shape of the row formats. The field is
// put together in registers and written with a few stores at offsets fixed by the edit.
// False leaves the value to the general path, which gives the same bytes.
inline bool short_exponent_form(char* dst, const DataEdit& e, bool negative, double x) {
  const int w = e.width;
  const int n = e.digits + 1;
  const int body = n + 5;  // d.dddd and E+xx
  if (e.scale != 1 || e.exp_digits > 0 || static_cast<unsigned>(n - 3) > 4 ||
      static_cast<unsigned>(w - body - 1) > static_cast<unsigned>(31 - body) || (e.kind | 1) != 'E')
    return false;  // ('D' | 1) == 'E'

  u64 q = 0;
  int x10 = 0;  // the exponent written
  if (x != 0) {
    int exp10;
    if (!fast_digits(x, n, q, exp10)) return false;  // also not-a-number and infinity
    x10 = exp10 - 1;
    if (static_cast<unsigned>(x10 + 99) > 198) return false;
  } else {
    negative = false;  // zero is "0.0000E+00", the shape of "d.dddd"
  }
  const u64 digits = digit_word(static_cast<u32>(q), n);
  const u64 mantissa = (digits & 0xff) | (u64{'.'} << 8) | ((digits >> 8) << 16);
  const u32 exponent = exponent_words[static_cast<std::size_t>(x10 + 99)] - (e.kind == 'D');
  constexpr u64 blanks = 0x2020202020202020;
  // 1 to 24 columns of blanks and sign before the number, which takes 8 or more: each
  // 8-byte store ends inside the field.
  const int lead = w - body;
  store8(dst, blanks);
  if (lead > 8) store8(dst + 8, blanks);
  if (lead > 16) store8(dst + 16, blanks);
  store8(dst + lead, mantissa);  // n + 1 bytes; the rest is overwritten by the exponent
  store4(dst + w - 4, exponent);
  dst[lead - 1] = negative ? '-' : ' ';
  return true;
}

// ---- Float digits in integer arithmetic --------------------------------------------------
//
// A normal float is x = m * 2^(b - 150), m of 24 bits, b its biased exponent (1 to 254).
// With f = floor((b - 127) * log10 2), 10^f <= 2^(b - 127) <= x < 2^(b - 126) < 2 * 10^(f + 1),
// so its decimal exponent D is f or f + 1. Its n significant digits are the integer
// nearest to y = x * 10^(n - 1 - D), and with z = m * 10^(n - 1) (exact, below 2^44 for
// n <= 7) y is z * 2^(b - 150) * 10^-D. The table holds c = 2^(b - 68) * 10^-D
// rounded up, for both choices of D, so that z * c is y in units of 2^-82 and exceeds it
// by less than z, i.e. by less than 2^-38. Its high 64 bits carry y with 18 fraction bits.

using u128 = unsigned __int128;

// ceil(2^k * 10^-j), for the k and j of the tables below (the result is below 2^64).
constexpr u64 ceil_scaled_pow10(int k, int j) {
  if (j <= 0) {
    u128 p = 1;
    for (int i = 0; i < -j; ++i) p *= 10;
    if (k >= 0) return static_cast<u64>(p << k);
    return static_cast<u64>((p + (u128{1} << -k) - 1) >> -k);
  }
  // 2^k / 10^j = 2^(k - j) / 5^j, by long division one bit at a time (k > j here).
  u128 d = 1;
  for (int i = 0; i < j; ++i) d *= 5;
  u128 r = 0;
  u64 q = 0;
  for (int bit = k - j; bit >= 0; --bit) {
    r = 2 * r + (bit == k - j);
    q = 2 * q + (r >= d);
    if (r >= d) r -= d;
  }
  return q + (r != 0);
}

// f for each biased exponent; 0 for b = 0 (zero) and 255.
constexpr int float_exp10(int b) {
  return b >= 1 && b <= 254 ? ((b - 127) * 78913) >> 18 : 0;  // floor((b - 127) log10 2)
}

// The scales by biased exponent, for D = f and D = f + 1. Zero's entries are 0, so that
// zero scales to 0 and takes the exponent 0 with no test of its own.
template <int up>
constexpr std::array<u64, 256> make_float_scales() {
  std::array<u64, 256> a{};
  for (int b = 1; b <= 254; ++b)
    a[static_cast<std::size_t>(b)] = ceil_scaled_pow10(b - 68, float_exp10(b) + up);
  return a;
}
constexpr std::array<u64, 256> float_scale_f = make_float_scales<0>();
constexpr std::array<u64, 256> float_scale_f1 = make_float_scales<1>();

// The written exponent "E+ff" for D = f at 2b and for D = f + 1 at 2b + 1.
constexpr std::array<u32, 512> make_float_exponents() {
  std::array<u32, 512> a{};
  for (int b = 0; b < 256; ++b) {
    const int f = float_exp10(b);
    a[static_cast<std::size_t>(2 * b)] = exponent_words[static_cast<std::size_t>(f + 99)];
    a[static_cast<std::size_t>(2 * b + 1)] = exponent_words[static_cast<std::size_t>(f + 100)];
  }
  return a;
}
constexpr std::array<u32, 512> float_exponents = make_float_exponents();

// c lies in [2^59, 10 * 2^59) for D = f: the products stay below 2^107.
static_assert(float_scale_f[1] >= u64{1} << 59 && float_scale_f[254] < u64{10} << 59);
static_assert(float_scale_f[127] == u64{1} << 59);  // 2^59 * 10^0, exactly

inline u64 mul_high(u64 a, u64 b) { return static_cast<u64>((u128{a} * b) >> 64); }

// Digit characters in words, the first in the lowest byte: "d.d" for 0 to 99 (the first
// two digits of a mantissa with its point) and "ddd" for 0 to 999.
constexpr std::array<u32, 100> make_pointed_pairs() {
  std::array<u32, 100> a{};
  for (u32 i = 0; i < 100; ++i) a[i] = ('0' + i / 10) | u32{'.'} << 8 | ('0' + i % 10) << 16;
  return a;
}
constexpr std::array<u32, 100> pointed_pairs = make_pointed_pairs();

constexpr std::array<u32, 1000> make_triples() {
  std::array<u32, 1000> a{};
  for (u32 i = 0; i < 1000; ++i)
    a[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
  return a;
}
constexpr std::array<u32, 1000> triples = make_triples();

inline u64 pair_chars(u32 v) {  // v < 100
  std::uint16_t p;
  std::memcpy(&p, &digit_pairs[2 * v], 2);
  return p;
}

// "d.ddd..." for q of n digits (3 to 7): the first two digits with the point from one table,
// the rest from triples and pairs; each split of q is a division by a constant, which the
// compiler does by multiplication.
template <int n>
inline u64 mantissa_chars(u32 q) {
  constexpr u32 rest = static_cast<u32>(pow10_u64[n - 2]);  // the digits after the second
  const u64 head = pointed_pairs[q / rest];
  const u32 r = q % rest;
  if constexpr (n == 3) return head | u64{'0' + r} << 24;
  if constexpr (n == 4) return head | pair_chars(r) << 24;
  if constexpr (n == 5) return head | u64{triples[r]} << 24;
  if constexpr (n == 6) return head | pair_chars(r / 100) << 24 | pair_chars(r % 100) << 40;
  if constexpr (n == 7) return head | u64{triples[r / 100]} << 24 | pair_chars(r % 100) << 48;
}

// The short form of a float (zero included) for 1P,Ew.d or 1P,Dw.d with n = d + 1 digits
// and 1 to 8 columns of blanks and sign (the shape of the row formats). False for other
// edits, for denormals, infinities and not-a-number, and when y lies within 2^-18 above a
// rounding tie, where the error of the product could hide which side of the tie it is on
// (exact ties included): the double path then decides, with the same bytes. n is a
// constant, so that the powers of ten, divisions and shifts are immediates.
template <int n>
inline bool short_float_shape(const DataEdit& e) {
  return (e.scale == 1) & (e.exp_digits <= 0) & ((e.kind | 1) == 'E') &
         (static_cast<unsigned>(e.width - n - 6) <= 7);
}

// The short form of one value in a field of the shape above: w columns, 'E' or 'D'
// (d_form). Values passed as plain integers, so that a run keeps them in registers.
template <int n>
[[gnu::always_inline]] inline bool short_float_value(char* dst, int w, bool d_form, float v) {
  const u32 bits = std::bit_cast<u32>(v);
  const u32 magnitude = bits & 0x7fffffff;
  if (magnitude - 1 < 0x7fffff || magnitude >= 0x7f800000) return false;
  // The blanks and the sign first, so that their inputs are done with; a value declined
  // below is written over by the double path.
  const int lead = w - n - 5;
  store8(dst, 0x2020202020202020);
  dst[lead - 1] = bits > 0x80000000 ? '-' : ' ';  // the sign of anything but zero
  const u32 b = magnitude >> 23;
  const u64 z = u64{(magnitude & 0x7fffff) | 0x800000} * pow10_u64[n - 1];
  constexpr u64 half = u64{1} << 17;
  const u64 at_f = mul_high(z, float_scale_f[b]);
  const u64 at_f1 = mul_high(z, float_scale_f1[b]);
  // D = f unless y rounds to n + 1 digits there, i.e. reaches 10^n - 1/2; where x is just
  // below 10^(f + 1) and rounds up to it, 10^(n - 1) with exponent f + 1 is right, and is
  // what f + 1 gives. That rounding, as the one taken, must be clear of ties.
  constexpr u64 carry = (pow10_u64[n] << 18) - half;
  const bool up = at_f >= carry;
  const u64 h = up ? at_f1 : at_f;
  if (((h & 0x3ffff) == half) | (at_f == carry)) [[unlikely]] return false;
  const u32 q = static_cast<u32>((h + half) >> 18);  // n digits, or 0 for zero

  const u64 mantissa = mantissa_chars<n>(q);
  const u32 exponent = float_exponents[2 * b + up] - d_form;  // "D+ff": 'E' - 1
  store8(dst + lead, mantissa);  // n + 1 bytes; the rest is overwritten by the exponent
  store4(dst + w - 4, exponent);
  return true;
}

template <int n>
inline bool short_float_form(char* dst, const DataEdit& e, float v) {
  return short_float_shape<n>(e) && short_float_value<n>(dst, e.width, e.kind == 'D', v);
}

// Ew.d and Dw.d of x = |v|.
int out_exponent(char* dst, const DataEdit& e, bool negative, double x) {
  if (x == 0) return put_exponent_form(dst, e, negative, nullptr, 0);
  const int n = exp_form_digits(e);
  if (n <= 0 || n >= e.width || n > max_field_width) return stars(dst, e.width);
  char dig[digit_buffer];
  int exp10;
  u64 q;
  if (n <= 9 && fast_digits(x, n, q, exp10)) [[likely]] {
    put_digits(dig, q, n);
  } else {
    exact_digits(x, n, dig, exp10);
  }
  return put_exponent_form(dst, e, negative, dig, exp10);
}

// Fw.d of x = |v|: x * 10^k rounded to d decimals, i.e. the integer N = x * 10^(k + d).
int out_fixed(char* dst, const DataEdit& e, bool negative, double x) {
  const int w = e.width;
  const int d = e.digits > 0 ? e.digits : 0;
  const int s = d + e.scale;
  char dig[digit_buffer];
  int len = 0;
  u64 q;
  if (x == 0) {
    len = 0;
  } else if (fast_scaled(x, s, q)) {
    char tmp[24];
    char* t = tmp + sizeof tmp;
    for (; q; q /= 10) *--t = static_cast<char>('0' + q % 10);
    len = static_cast<int>(tmp + sizeof tmp - t);
    std::memcpy(dig, t, static_cast<std::size_t>(len));
  } else {
    ExactDecimal xd;
    expand(x, xd);
    const int keep = xd.point + s;  // digits of N before rounding
    // keep digits need at least keep + 1 columns with the point (d >= keep otherwise).
    if (keep >= w || keep > max_field_width) return stars(dst, w);
    len = keep < 0 ? 0 : round_to(xd, keep, dig);
  }
  return put_fixed_form(dst, w, d, negative, dig, len);
}

// Out of line, so that the short form's callers keep a small frame.
[[gnu::noinline]] int edit_real_general(char* dst, const DataEdit& e, bool negative, double x) {
  const int w = e.width;
  if (w <= 0) return 0;
  if (w > max_field_width) return stars(dst, w);  // wider than any format allows
  if (!(x <= 0x1.fffffffffffffp1023)) return put_special(dst, w, negative, x != x);
  if (e.kind == 'F') return out_fixed(dst, e, negative, x);
  return out_exponent(dst, e, negative, x);
}

inline int edit_real(char* dst, const DataEdit& e, double v) {
  const u64 bits = std::bit_cast<u64>(v);
  const bool negative = (bits >> 63) != 0;
  const double x = std::bit_cast<double>(bits & ~(u64{1} << 63));
  if (short_exponent_form(dst, e, negative, x)) [[likely]] return e.width;
  return edit_real_general(dst, e, negative, x);
}

// The floats that the short form declines, out of line so that it keeps a small frame.
[[gnu::noinline]] int out_real_double(char* dst, const DataEdit& e, double v) {
  return edit_real(dst, e, v);
}

// One function per d, each with the frame its own shape needs.
template <int n>
[[gnu::noinline]] int out_float(char* dst, const DataEdit& e, float v) {
  if (short_float_form<n>(dst, e, v)) [[likely]] return e.width;
  return out_real_double(dst, e, static_cast<double>(v));
}

// A run of floats under one edit of the short shape: the edit is looked at once, each
// value is edited in registers, the rare value the short form declines goes the double way.
template <int n>
[[gnu::noinline]] void out_float_run(char* dst, const DataEdit& e, const float* v, std::size_t count) {
  const int w = e.width;
  const bool d_form = e.kind == 'D';
  for (std::size_t i = 0; i < count; ++i, dst += w) {
    if (!short_float_value<n>(dst, w, d_form, v[i])) [[unlikely]]
      out_real_double(dst, e, static_cast<double>(v[i]));
  }
}

}  // namespace

namespace detail {
// The exact digit generator on its own, so the tests can hold the fast one against it.
void exact_round_digits(double v, int n, DecimalDigits& out) {
  exact_digits(std::fabs(v), n, out.digits, out.exponent);
  out.count = n;
  out.digits[n] = '\0';
}
}  // namespace detail

void round_digits(double v, int n, DecimalDigits& out) {
  const double x = std::fabs(v);
  u64 q;
  if (n <= 9 && fast_digits(x, n, q, out.exponent)) {
    put_digits(out.digits, q, n);
    out.count = n;
    out.digits[n] = '\0';
    return;
  }
  detail::exact_round_digits(x, n, out);
}

int out_real(char* dst, const DataEdit& e, double v) { return edit_real(dst, e, v); }

// Every float lies inside the range of the double digit generator.
int out_real(char* dst, const DataEdit& e, float v) {
  switch (e.digits) {
    case 2: return out_float<3>(dst, e, v);
    case 3: return out_float<4>(dst, e, v);
    case 4: return out_float<5>(dst, e, v);
    case 5: return out_float<6>(dst, e, v);
    case 6: return out_float<7>(dst, e, v);
    default: return edit_real(dst, e, static_cast<double>(v));
  }
}

void out_reals(char* dst, const DataEdit& e, const float* v, std::size_t count) {
  // Vectors where the machine has them; the values they decline, one at a time.
  const FloatField one = out_real;  // the float overload
  if (format_floats(dst, e, v, count, one)) return;
  switch (e.digits) {
    case 2: if (short_float_shape<3>(e)) return out_float_run<3>(dst, e, v, count); break;
    case 3: if (short_float_shape<4>(e)) return out_float_run<4>(dst, e, v, count); break;
    case 4: if (short_float_shape<5>(e)) return out_float_run<5>(dst, e, v, count); break;
    case 5: if (short_float_shape<6>(e)) return out_float_run<6>(dst, e, v, count); break;
    case 6: if (short_float_shape<7>(e)) return out_float_run<7>(dst, e, v, count); break;
    default: break;
  }
  for (std::size_t i = 0; i < count; ++i, dst += e.width) out_real(dst, e, v[i]);
}

void out_reals(char* dst, const DataEdit& e, const double* v, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, dst += e.width) edit_real(dst, e, v[i]);
}

int out_integer(char* dst, const DataEdit& e, std::int64_t v) {
  const int w = e.width;
  if (w <= 0) return 0;
  const int m = e.digits >= 0 ? e.digits : 1;  // Iw.m: at least m digits; Iw.0 of 0 is blank
  u64 mag = v < 0 ? u64{0} - static_cast<u64>(v) : static_cast<u64>(v);
  char tmp[24];
  char* t = tmp + sizeof tmp;
  for (; mag; mag /= 10) *--t = static_cast<char>('0' + mag % 10);
  const int count = static_cast<int>(tmp + sizeof tmp - t);
  const int digits = count > m ? count : m;
  const int need = (v < 0) + digits;
  if (need > w) return stars(dst, w);
  char* p = dst;
  std::memset(p, ' ', static_cast<std::size_t>(w - need));
  p += w - need;
  if (v < 0) *p++ = '-';
  std::memset(p, '0', static_cast<std::size_t>(digits - count));
  p += digits - count;
  std::memcpy(p, t, static_cast<std::size_t>(count));
  return w;
}

void out_integers(char* dst, const DataEdit& e, const std::int32_t* v, std::size_t count) {
  const int w = e.width;
  if (w <= 0 || e.digits >= 0) {
    for (std::size_t i = 0; i < count; ++i, dst += (w > 0 ? w : 0)) out_integer(dst, e, v[i]);
    return;
  }
  // Iw: the run's fields are blanked at once; each value's digits then go in from the
  // right end of its field, two at a time.
  std::memset(dst, ' ', static_cast<std::size_t>(w) * count);
  for (std::size_t i = 0; i < count; ++i, dst += w) {
    const bool negative = v[i] < 0;
    u32 mag = negative ? u32{0} - static_cast<u32>(v[i]) : static_cast<u32>(v[i]);
    char tmp[12];
    char* t = tmp + sizeof tmp;
    while (mag >= 100) {
      t -= 2;
      std::memcpy(t, &digit_pairs[2 * (mag % 100)], 2);
      mag /= 100;
    }
    if (mag >= 10) {
      t -= 2;
      std::memcpy(t, &digit_pairs[2 * mag], 2);
    } else {
      *--t = static_cast<char>('0' + mag);
    }
    if (negative) *--t = '-';
    const int len = static_cast<int>(tmp + sizeof tmp - t);
    if (len > w) {
      stars(dst, w);
    } else {
      std::memcpy(dst + (w - len), t, static_cast<std::size_t>(len));
    }
  }
}

int out_logical(char* dst, const DataEdit& e, bool v) {
  const int w = e.width;
  if (w <= 0) return 0;
  std::memset(dst, ' ', static_cast<std::size_t>(w - 1));
  dst[w - 1] = v ? 'T' : 'F';
  return w;
}

void out_logicals(char* dst, const DataEdit& e, const std::int8_t* v, std::size_t count) {
  const int w = e.width;
  if (w <= 0) return;
  std::memset(dst, ' ', static_cast<std::size_t>(w) * count);
  for (std::size_t i = 0; i < count; ++i) dst[static_cast<std::size_t>(w) * (i + 1) - 1] = v[i] != 0 ? 'T' : 'F';
}

}  // namespace kvax
