// Text-to-number editing: a scan into a plain record, then one exact conversion.
//
// The scan takes the field's digits as an integer (at most 19 significant digits) and the
// decimal exponent that goes with them, without floating-point arithmetic. Fields in the
// exponent form the writers leave ("  1.2346E+00", up to 7 digits) are recognised and
// converted in a few word operations; other short fields are scanned a word at a time;
// any other field goes through a scan a character at a time, which also knows blanks
// inside a field, "NaN" and "INF", and every error. The conversion is one IEEE operation
// when its result is sure to be correctly rounded; any other value is rebuilt as
// "<digits>e<exponent>" in a stack buffer for strtod or strtof, which round correctly.
#include "io/edit_input.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include <kvax/io/iostat.h>

#include "io/powers_of_ten.h"
#include "io/scan_fields.h"

namespace kvax {
namespace {

using u64 = std::uint64_t;

constexpr int max_mantissa_digits = 19;  // 10^19 < 2^64
constexpr int exponent_cap = 99999;      // far beyond any range; keeps the sums in an int

inline bool is_blank(char c) { return c == ' '; }

inline unsigned digit_of(char c) {
  return static_cast<unsigned>(static_cast<unsigned char>(c)) - static_cast<unsigned>('0');
}

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Words of characters hold the first character in their lowest byte.
static_assert(std::endian::native == std::endian::little);

inline u64 load8(const char* p) {
  u64 w;
  std::memcpy(&w, p, 8);
  return w;
}

inline const char* skip_blanks(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  return p;
}

// The same for a field's leading blanks, whose number varies from field to field (one
// fewer before a minus sign): a loop would mispredict its exit; eight columns at a time
// need none.
inline const char* skip_leading_blanks(const char* p, const char* end) {
  while (end - p >= 8) {
    const u64 other = load8(p) ^ 0x2020202020202020;  // nonzero bytes: not blanks
    if (other) return p + std::countr_zero(other) / 8;
    p += 8;
  }
  return skip_blanks(p, end);
}

// ---- Scan a word at a time --------------------------------------------------------------

// Digits at the start of an 8-byte word (first character in the low byte), 0 to 8: a byte
// is flagged unless '0' <= b <= '9'. Borrows and carries run only from flagged bytes
// upwards, so the lowest flag is exact.
inline int leading_digits(u64 word) {
  const u64 flags =
      ((word + 0x4646464646464646) | (word - 0x3030303030303030)) & 0x8080808080808080;
  return std::countr_zero(flags) / 8;
}

// The value of the first n (0 to 8) digits of the word: they are shifted to the top behind
// zeros and combined pairwise, then by fours, then by eights, with multiplications.
inline u64 digits_value(u64 word, int n) {
  if (n == 0) return 0;
  u64 v = (word - 0x3030303030303030) << (8 * (8 - n));
  v = v * 10 + (v >> 8);
  constexpr u64 by100 = 100 + (u64{1000000} << 32);
  constexpr u64 by1 = 1 + (u64{10000} << 32);
  return (((v & 0x000000ff000000ff) * by100) + (((v >> 16) & 0x000000ff000000ff) * by1)) >> 32;
}

// The 8 bytes from q, zeros past the end of the field (which has 8 bytes before end).
inline u64 look8(const char* q, const char* end) {
  if (end - q >= 8) return load8(q);
  if (q >= end) return 0;
  return load8(end - 8) >> (8 * (8 - (end - q)));
}

constexpr u64 pow10_u64[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Masks of the n low bytes of a word, n = 0 to 7.
constexpr u64 low_bytes[] = {0,
                             0xff,
                             0xffff,
                             0xffffff,
                             0xffffffff,
                             0xffffffffff,
                             0xffffffffffff,
                             0xffffffffffffff};

struct QuickReal {
  u64 mantissa;  // at most 14 digits, exact
  int exp10;
  bool negative;
};

// A field of 8 or more columns holding leading blanks, an optional sign, at most 7 digits,
// an optional point and at most 7 digits, an optional exponent (E, D or Q and a sign, or a
// sign alone, then 1 to 4 digits), and trailing blanks. The integer and fraction digits
// are each found with one look at 8 bytes. False for anything else, which the character
// scan then takes. Always inlined: a call would add a frame and a record in memory to
// every field.
[[gnu::always_inline]] inline bool quick_scan(std::string_view field, int d, int k,
                                              QuickReal& out) {
  const char* p = field.data();
  const char* const end = p + field.size();
  if (end - p < 8) return false;
  p = skip_leading_blanks(p, end);
  if (p == end) return false;
  out.negative = *p == '-';
  p += out.negative | (*p == '+');  // by arithmetic: a sign is as often there as not

  // The integer digits, then the fraction digits moved in behind them (the point dropped),
  // so that one conversion takes both parts when they have 8 digits or fewer together.
  const u64 w = look8(p, end);
  const int n = leading_digits(w);
  if (n == 8) return false;
  const char* q = p + n;
  int fraction = 0;
  bool point = false;
  u64 m;
  if (q < end && *q == '.') {
    ++q;
    const u64 f = look8(q, end);
    fraction = leading_digits(f);
    if (fraction == 8) return false;
    if (n + fraction <= 8) {
      m = digits_value((w & low_bytes[n]) | (f << (8 * n)), n + fraction);
    } else {
      m = digits_value(w, n) * pow10_u64[fraction] + digits_value(f, fraction);
    }
    q += fraction;
    point = true;
  } else {
    m = digits_value(w, n);
  }
  if (n + fraction == 0) return false;

  int shift = -k;
  if (q < end && !is_blank(*q)) {
    const char c = static_cast<char>(*q | 0x20);
    if (c == 'e' || c == 'd' || c == 'q') {
      ++q;
    } else if (*q != '+' && *q != '-') {
      return false;
    }
    if (q == end) return false;
    const bool negative = *q == '-';
    q += negative | (*q == '+');
    int exponent = 0;
    const unsigned d0 = q < end ? digit_of(q[0]) : 10;
    const unsigned d1 = end - q >= 2 ? digit_of(q[1]) : 10;
    if (end - q == 2 && d0 < 10 && d1 < 10) {  // the usual two digits, closing the field
      exponent = static_cast<int>(d0 * 10 + d1);
      q += 2;
    } else {
      const char* const digits = q;
      for (unsigned digit; q < end && q - digits < 5 && (digit = digit_of(*q)) < 10; ++q)
        exponent = exponent * 10 + static_cast<int>(digit);
      if (q == digits || q - digits > 4) return false;
    }
    shift = negative ? -exponent : exponent;
  }
  if (skip_blanks(q, end) != end) return false;
  if (!point) shift -= d > 0 ? d : 0;
  out.mantissa = m;
  out.exp10 = shift - fraction;
  return true;
}

// ---- The writers' exponent form --------------------------------------------------------

inline std::uint32_t load4(const char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}

// The value of the 8 digits of a word whose bytes are digit values (0 to 9), the first in
// the lowest byte: pairs, then fours, then the eight are combined with multiplications.
inline u64 value8(u64 v) {
  v = v * 10 + (v >> 8);
  constexpr u64 by100 = 100 + (u64{1000000} << 32);
  constexpr u64 by1 = 1 + (u64{10000} << 32);
  return (((v & 0x000000ff000000ff) * by100) + (((v >> 16) & 0x000000ff000000ff) * by1)) >> 32;
}

// Powers of ten a float or double holds exactly, paired so that x * up[e] / down[e] is
// x * 10^(e - 10) in one rounding: one of the two factors is 1.
template <class T>
struct ScaleBy10 {
  T up[21], down[21];
  constexpr ScaleBy10() : up(), down() {
    T p = 1;
    for (int i = 0; i <= 10; ++i) {
      up[10 + i] = p;
      down[10 - i] = p;
      up[10 - i] = down[10 + i] = 1;
      p *= 10;
    }
  }
};
template <class T>
constexpr ScaleBy10<T> scale_by_10{};

template <class T>
constexpr T unit_signs[2] = {1, -1};

// Columns left of the last 12 of a field of 13 to 19 columns must be blank.
inline bool blank_margin(std::string_view field) {
  return ((load8(field.data()) ^ 0x2020202020202020) & low_bytes[field.size() - 12]) == 0;
}

// A field in the form the writers leave, "  -1.2346E+00": blanks, an optional sign, one
// digit, a point, the fraction digits, then E or D (either case), a sign and two digits,
// the number in the last 12 columns. The 8 columns before the exponent are taken as one
// word: the sign and the point are found in it, the point is squeezed out, and the digits
// (at most 7) are checked and converted together. With at most 7 digits and an exponent of
// at most 10 either way, the value is one IEEE multiplication or division of exact
// operands, hence correctly rounded. False for anything else, which the scans take.
template <class T>
[[gnu::always_inline]] inline bool written_form(std::string_view field, T& v, int& point) {
  const std::size_t len = field.size();
  if (len - 12 > 7) return false;
  const char* const end = field.data() + len;
  constexpr u64 blanks = 0x2020202020202020;
  if (len != 12 && ((load8(field.data()) ^ blanks) & low_bytes[len - 12]) != 0) return false;

  // The exponent: t is 0 for "E+00"; E, e, D, d, a sign and two digits leave only the bits
  // that 0xf0f0f9de does not cover, digits above 9 carry into 0x10, and the two signs
  // differ by 6, so that bits 9 and 10 of t agree.
  const std::uint32_t t = load4(end - 4) ^ 0x30302b45;
  const std::uint32_t bad =
      (t & 0xf0f0f9de) | ((t + 0x06060000) & 0x10100000) | (((t >> 1) ^ t) & 0x200);
  const u64 m = load8(end - 12);
  const u64 nonblank = m ^ blanks;
  if ((bad != 0) | (nonblank == 0)) return false;
  const int magnitude = static_cast<int>((t >> 16) & 0xf) * 10 + static_cast<int>(t >> 24);
  const int written = t & 0x200 ? -magnitude : magnitude;

  const int lead = std::countr_zero(nonblank) >> 3;  // blanks
  const unsigned c = static_cast<unsigned>(m >> (8 * lead)) & 0xff;
  const bool negative = c == '-';
  point = lead + (negative | (c == '+')) + 1;
  if (point > 7) return false;
  const int shift = 8 * point;
  // The columns before the point move up one, over it; the digits are then the columns
  // from `point` on, their values 0 to 9 when none is out of range (x + 6 carries into the
  // high half-byte when x > 9).
  const u64 from_point = ~u64{0} << shift;
  const u64 squeezed = (m & (from_point << 8)) | ((m << 8) & ~(from_point << 8));
  const u64 digits = (squeezed ^ 0x3030303030303030) & from_point;
  if ((((m >> shift) & 0xff) != '.') |
      ((((digits + 0x0606060606060606) | digits) & 0xf0f0f0f0f0f0f0f0) != 0))
    return false;

  const int exponent = written - (7 - point);
  if (static_cast<unsigned>(exponent + 10) > 20) return false;
  const auto& scale = scale_by_10<T>;
  const T mantissa = static_cast<T>(static_cast<std::int64_t>(value8(digits)));
  const T r = mantissa * scale.up[exponent + 10] / scale.down[exponent + 10];
  // The sign taken from a table rather than by a branch, as it comes and goes from field
  // to field, and applied in the floating-point registers, off the integer side.
  v = std::copysign(r, unit_signs<T>[negative]);
  return true;
}

template <class T>
[[gnu::always_inline]] inline bool written_form(std::string_view field, T& v) {
  int point;
  return written_form(field, v, point);
}

// The writers' form with its point in a known column p (2 to 7) of the 8 columns before
// the exponent, as the fields of a row share it: blanks, then a blank or "-" in column
// p - 2, a digit, the point, the fraction digits. With p fixed, the checks and the squeeze
// are masks worked out once for the run, and no field is searched for its first column.
// Accepts a field only when written_form would, with the same value; anything else ("+",
// another column) is left to written_form.
struct WrittenLayout {
  int point = 0;  // 0: none yet
  int sign_shift = 0;
  int exponent_offset = 0;
  u64 care = 0, want = 0;  // the blank columns before the sign column, and the point
  u64 digit_columns = 0;   // the columns of the squeezed digits
  u64 kept = 0;            // the columns the squeeze keeps in place (after the point)

  void set(int p) {
    point = p;
    sign_shift = 8 * (p - 2);
    exponent_offset = 7 - p;
    const u64 margin = low_bytes[p - 2];
    care = margin | (u64{0xff} << (8 * p));
    want = (0x2020202020202020 & margin) | (u64{'.'} << (8 * p));
    digit_columns = ~u64{0} << (8 * p);
    kept = digit_columns << 8;
  }
};

template <class T>
[[gnu::always_inline]] inline bool layout_form(const char* end, const WrittenLayout& l, T& v) {
  const std::uint32_t t = load4(end - 4) ^ 0x30302b45;  // as in written_form
  const std::uint32_t bad =
      (t & 0xf0f0f9de) | ((t + 0x06060000) & 0x10100000) | (((t >> 1) ^ t) & 0x200);
  const u64 m = load8(end - 12);
  const unsigned sign = static_cast<unsigned>(m >> l.sign_shift) & 0xff;
  const u64 squeezed = (m & l.kept) | ((m << 8) & ~l.kept);
  const u64 digits = (squeezed ^ 0x3030303030303030) & l.digit_columns;
  if (!((bad == 0) & (((m ^ l.want) & l.care) == 0) & ((sign == ' ') | (sign == '-')) &
        ((((digits + 0x0606060606060606) | digits) & 0xf0f0f0f0f0f0f0f0) == 0)))
    return false;
  const int magnitude = static_cast<int>((t >> 16) & 0xf) * 10 + static_cast<int>(t >> 24);
  const int exponent = (t & 0x200 ? -magnitude : magnitude) - l.exponent_offset;
  if (static_cast<unsigned>(exponent + 10) > 20) return false;
  const auto& scale = scale_by_10<T>;
  const T mantissa = static_cast<T>(static_cast<std::int64_t>(value8(digits)));
  const T r = mantissa * scale.up[exponent + 10] / scale.down[exponent + 10];
  v = std::copysign(r, unit_signs<T>[sign == '-']);
  return true;
}

// ---- Scan a character at a time --------------------------------------------------------

struct ScannedReal {
  enum What { number, nan, infinity };
  What what = number;
  bool negative = false;
  int digits = 0;                      // significant digits: those after the leading zeros
  u64 mantissa = 0;                    // their value, exact when there are at most 19
  int exp10 = 0;                       // value = mantissa * 10^exp10
  const char* digits_begin = nullptr;  // the digits and the point, for the rebuild
  const char* digits_end = nullptr;
  int exp_shift = 0;  // the field's exponent or -k, less d when there is no point
};

// The rest of a field after its sign, trailing blanks cut, against a lower-case word.
bool equals_word(const char* p, const char* end, std::string_view word) {
  while (end > p && is_blank(end[-1])) --end;
  if (static_cast<std::size_t>(end - p) != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (lower(p[i]) != word[i]) return false;
  return true;
}

// Scans an F, E or D input field with blanks only before, after and right behind its sign.
// Any other blank stops the scan with bad_numeric; the caller then squeezes the blanks
// out and scans again. d: digits taken as the fraction when there is no point; k: the
// scale factor, applied when there is no exponent.
int scan_real(const char* p, const char* const end, int d, int k, ScannedReal& s) {
  p = skip_blanks(p, end);
  if (p < end && (*p == '+' || *p == '-')) {
    s.negative = *p++ == '-';
    p = skip_blanks(p, end);
  }
  if (p < end && (lower(*p) == 'n' || lower(*p) == 'i')) {
    if (equals_word(p, end, "nan")) {
      s.what = ScannedReal::nan;
    } else if (equals_word(p, end, "inf") || equals_word(p, end, "infinity")) {
      s.what = ScannedReal::infinity;
    } else {
      return iostat::bad_numeric;
    }
    return 0;
  }

  // Leading zeros are skipped, so that the count holds significant digits only; past 19
  // the mantissa wraps and the count sends the value to the rebuild.
  s.digits_begin = p;
  while (p < end && *p == '0') ++p;
  bool any = p > s.digits_begin;
  const char* first = p;
  u64 m = 0;
  for (unsigned digit; p < end && (digit = digit_of(*p)) < 10; ++p) m = m * 10 + digit;
  int count = static_cast<int>(p - first);
  int fraction = 0;  // digits after the point, zeros included
  bool point = false;
  if (p < end && *p == '.') {
    point = true;
    const char* after = ++p;
    if (count == 0)
      while (p < end && *p == '0') ++p;
    first = p;
    for (unsigned digit; p < end && (digit = digit_of(*p)) < 10; ++p) m = m * 10 + digit;
    count += static_cast<int>(p - first);
    fraction = static_cast<int>(p - after);
    any |= p > after;
  }
  any |= count > 0;
  s.digits_end = p;

  int shift = -k;
  if (p < end && !is_blank(*p)) {  // an exponent: a letter and an optional sign, or a sign
    const char c = lower(*p);
    if (c == 'e' || c == 'd' || c == 'q') {
      ++p;
    } else if (*p != '+' && *p != '-') {
      return iostat::bad_numeric;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digits = p;
    int exponent = 0;
    for (unsigned digit; p < end && (digit = digit_of(*p)) < 10; ++p)
      if (exponent < exponent_cap) exponent = exponent * 10 + static_cast<int>(digit);
    if (p == digits || !any) return iostat::bad_numeric;
    shift = negative ? -exponent : exponent;
  }
  if (skip_blanks(p, end) != end) return iostat::bad_numeric;
  if (!point) shift -= d > 0 ? d : 0;
  s.digits = count;
  s.mantissa = m;
  s.exp_shift = shift;
  s.exp10 = shift - fraction;
  return 0;
}

// ---- Conversion ----------------------------------------------------------------------

// The powers of ten the float conversion takes: any float is m * 10^e for a 19-digit m and
// an e in this range.
constexpr int pow10_min = -64;
constexpr int pow10_max = 64;

// m * 10^e (m exact, nonzero) when one operation is sure to give the correctly rounded
// result; false otherwise.
//
// Double: both factors exact doubles (m <= 2^53, |e| <= 22), one multiplication or
// division.
//
// Float: a multiplication in double by the rounded power carries two roundings, an error
// below 2 units in the last place of the double. Rounding that double to float gives the
// float nearest the decimal value unless a midpoint between two floats lies within that
// error, i.e. unless the 29 bits a float drops are within 2 of 1000...0; and unless the
// double is outside the normal float range, where a float has fewer bits.
inline bool exact(u64 m, int e, double& r) {
  if (m > (u64{1} << 53) || e < -22 || e > 22) return false;
  const double dm = static_cast<double>(m);
  r = e < 0 ? dm / rounded_pow10(-e) : dm * rounded_pow10(e);  // exact powers
  return true;
}

inline bool exact(u64 m, int e, float& r) {
  if (m > (u64{1} << 53) || e < pow10_min || e > pow10_max) return false;
  const double dr = static_cast<double>(m) * rounded_pow10(e);
  if (!(dr >= std::numeric_limits<float>::min() && dr <= std::numeric_limits<float>::max()))
    return false;
  constexpr u64 dropped = (u64{1} << 29) - 1;
  constexpr u64 midpoint = u64{1} << 28;
  if ((std::bit_cast<u64>(dr) & dropped) - (midpoint - 2) <= 4) return false;
  r = static_cast<float>(dr);
  return true;
}

// The field's digits as "<digits>e<exponent>" for strtod and strtof. Digits past the
// 800th are replaced by one "1" when any of them is nonzero: 800 digits decide the
// rounding of any double, so the sticky digit keeps it.
struct DigitText {
  static constexpr int max_digits = 800;
  char text[max_digits + 24];
};

void rebuild(const ScannedReal& s, DigitText& out) {
  char* q = out.text;
  long long exp10 = s.exp_shift;
  int kept = 0;
  bool point = false, dropped_nonzero = false;
  for (const char* p = s.digits_begin; p < s.digits_end; ++p) {
    const char c = *p;
    if (c == '.') {
      point = true;
      continue;
    }
    if (point) --exp10;
    if (kept == 0 && c == '0') continue;
    if (kept < DigitText::max_digits) {
      *q++ = c;
      ++kept;
    } else {
      ++exp10;
      dropped_nonzero |= c != '0';
    }
  }
  if (dropped_nonzero) {
    *q++ = '1';
    --exp10;
  }
  if (kept == 0) *q++ = '0';
  *q++ = 'e';
  if (exp10 < 0) {
    *q++ = '-';
    exp10 = -exp10;
  }
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + exp10 % 10);
    exp10 /= 10;
  } while (exp10);
  while (n) *q++ = tmp[--n];
  *q = '\0';
}

template <class T>
int finish(const ScannedReal& s, T& v) {
  if (s.what == ScannedReal::nan) {
    v = std::copysign(std::numeric_limits<T>::quiet_NaN(), s.negative ? T(-1) : T(1));
    return 0;
  }
  if (s.what == ScannedReal::infinity) {
    v = s.negative ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
    return 0;
  }
  T r = 0;
  const bool many = s.digits > max_mantissa_digits;
  if ((s.mantissa != 0 || many) && (many || !exact(s.mantissa, s.exp10, r))) {
    DigitText dt;
    rebuild(s, dt);
    const int saved = errno;
    if constexpr (std::is_same_v<T, float>) {
      r = std::strtof(dt.text, nullptr);
    } else {
      r = std::strtod(dt.text, nullptr);
    }
    errno = saved;
    if (std::isinf(r)) return iostat::numeric_overflow;
  }
  v = s.negative ? -r : r;
  return 0;
}

// Any field the quick scan does not take. Blanks between the characters of a field are
// ignored: when the scan stops at one, the field is scanned again without its blanks.
template <class T>
int convert_general(std::string_view field, const DataEdit& e, T& v) {
  ScannedReal s;
  if (scan_real(field.data(), field.data() + field.size(), e.digits, e.scale, s) == 0)
    return finish(s, v);
  char text[max_field_width];
  std::size_t n = 0;
  bool inner = false;
  for (const char c : field) {
    if (is_blank(c)) {
      inner |= n > 0;
      continue;
    }
    if (n == sizeof text) return iostat::bad_numeric;
    text[n++] = c;
  }
  if (!inner) return iostat::bad_numeric;  // no blank to blame: the field is bad as it is
  s = ScannedReal{};
  if (const int rc = scan_real(text, text + n, e.digits, e.scale, s)) return rc;
  return finish(s, v);
}

template <class T>
[[gnu::noinline]] int convert_scanned(std::string_view field, const DataEdit& e, T& v) {
  QuickReal q;
  if (quick_scan(field, e.digits, e.scale, q)) [[likely]] {
    T r = 0;
    if (q.mantissa == 0 || exact(q.mantissa, q.exp10, r)) [[likely]] {
      // The sign bit set by arithmetic, as the sign comes and goes from field to field.
      using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, u64>;
      v = std::bit_cast<T>(std::bit_cast<Bits>(r) |
                           (static_cast<Bits>(q.negative) << (sizeof(T) * 8 - 1)));
      return 0;
    }
  }
  return convert_general(field, e, v);
}

// The writers' form first, with a small frame; the scans out of line.
template <class T>
int convert(std::string_view field, const DataEdit& e, T& v) {
  if (written_form(field, v)) [[likely]] return 0;
  return convert_scanned(field, e, v);
}

// A run of fields: the writers' form in the layout of the field before inline in the
// loop, the first field of a layout and anything else out of the fast path.
template <class T>
int convert_run(const char* text, const DataEdit& e, T* v, std::size_t count, std::size_t& done) {
  const std::size_t w = static_cast<std::size_t>(e.width);
  WrittenLayout layout;         // of the last field in the writers' form
  const bool margin = w != 12;  // fields of 13 to 19 columns: blanks before the last 12
  for (std::size_t i = 0; i < count; ++i, text += w) {
    const std::string_view f(text, w);
    T x;
    const bool same_layout =
        layout.point != 0 && (!margin || blank_margin(f)) && layout_form(text + w, layout, x);
    if (!same_layout) [[unlikely]] {
      int point = 0;
      if (written_form(f, x, point)) {
        if (point >= 2) layout.set(point);
      } else if (const int rc = convert_scanned(f, e, x)) {
        done = i;
        return rc;
      }
    }
    v[i] = x;
  }
  done = count;
  return 0;
}

// The exact reader of float runs that the vector scan checks against and falls back on.
int exact_run(const char* text, const DataEdit& e, float* v, std::size_t count, std::size_t& done) {
  return convert_run(text, e, v, count, done);
}

}  // namespace

int in_real(std::string_view field, const DataEdit& e, double& v) { return convert(field, e, v); }
int in_real(std::string_view field, const DataEdit& e, float& v) { return convert(field, e, v); }

int in_reals(const char* text, const DataEdit& e, float* v, std::size_t count, std::size_t& done) {
  // The rows' fields: the written shape in 12 columns, whatever d and k (a field with a
  // point and an exponent takes neither).
  if (e.width == 12) return scan_reals(text, e, v, count, done, exact_run);
  return convert_run(text, e, v, count, done);
}
int in_reals(const char* text, const DataEdit& e, double* v, std::size_t count, std::size_t& done) {
  return convert_run(text, e, v, count, done);
}

int in_integer(std::string_view field, std::int64_t& v) {
  const char* p = field.data();
  const char* const end = p + field.size();
  p = skip_blanks(p, end);
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const u64 limit = negative ? u64{1} << 63 : (u64{1} << 63) - 1;
  u64 m = 0;
  bool overflow = false;
  for (; p < end; ++p) {
    const unsigned digit = digit_of(*p);
    if (digit < 10) {
      if (m > (limit - digit) / 10) overflow = true;
      else m = m * 10 + digit;
    } else if (!is_blank(*p)) {
      return iostat::bad_numeric;
    }
  }
  if (overflow) return iostat::numeric_overflow;
  v = negative ? static_cast<std::int64_t>(u64{0} - m) : static_cast<std::int64_t>(m);
  return 0;
}

int in_logical(std::string_view field, bool& v) {
  std::size_t i = 0;
  while (i < field.size() && is_blank(field[i])) ++i;
  if (i < field.size() && field[i] == '.') ++i;
  if (i < field.size()) {
    const char c = lower(field[i]);
    if (c == 't' || c == 'f') {
      v = c == 't';
      return 0;
    }
  }
  return iostat::bad_numeric;
}

}  // namespace kvax
