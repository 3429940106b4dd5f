// Runs of floats under 1P,Ew.d or 1P,Dw.d of the short shape edited in vector registers
// (AVX-512, eight values a block), everything the vectors cannot be sure of left to the
// exact per-value function.
//
// A normal float x of biased exponent b has the decimal exponent D = f or f + 1, with
// f = floor((b - 127) log10 2), and its n digits are the integer nearest
// y = x * 10^(n - 1 - D). The vectors take y_f = x * 10^(n - 1 - f) in doubles: x times the
// exact 10^(k & 7) (at most 41 significant bits, so exact) times the double nearest
// 10^(k - (k & 7)): two roundings, a relative error under 2^-52, and as y_f < 2 * 10^n < 2^25
// an absolute error under 2^-27. Adding 2^36 rounds a double below 2^25 to 16 fraction bits,
// which are then the low bits of the sum's representation, the integer part above them.
// D = f + 1 when y_f so rounded reaches 10^n - 1/2 (its n digits would carry into n + 1),
// and then y = y_f / 10, one more rounding; such a y under 10^(n-1) - 1/20 + 2^-14 had its
// y_f too near 10^n - 1/2 to tell, and is declined. So is a y whose 16 fraction bits are
// exactly 1/2: within 2^-17 of a rounding tie. For every other value the nearest integer of
// the rounded y is the nearest integer of the exact y (ties are never met), and the
// digits are those of the exact path.
//
// A block's fields are put together by byte permutations from two registers: the eight
// values' digits (8 bytes each) and their marks (sign, exponent sign, exponent digits)
// beside the bytes every field shares (blank, point, E or D, line feed), through an index
// table for each n, lead and place of a line end in the block.
#include "io/format_floats.h"

#include <array>
#include <atomic>
#include <cstdint>

#if defined(__x86_64__)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#define KVAX_FORMAT_X86 1
#else
#define KVAX_FORMAT_X86 0
#endif

#include "io/powers_of_ten.h"

namespace kvax {
namespace {

using u64 = std::uint64_t;
using u32 = std::uint32_t;
using u8 = std::uint8_t;

// n = d + 1 digits (3 to 7) and lead = w - n - 5 columns of blanks and sign (1 to 8): the
// edits whose fields the short form of edit_output.cpp writes.
constexpr int min_digits = 3, max_digits = 7, max_lead = 8;

bool short_shape(const DataEdit& e) {
  return e.scale == 1 && e.exp_digits <= 0 && (e.kind == 'E' || e.kind == 'D') && e.digits >= min_digits - 1 &&
         e.digits <= max_digits - 1 && static_cast<unsigned>(e.width - e.digits - 1 - 5 - 1) < max_lead;
}

#if KVAX_FORMAT_X86

// The bytes a block's fields come from: the digits register (8 bytes a value, the n digits
// last), then the marks register, 4 bytes a value (sign, exponent sign, exponent digits)
// and the shared bytes after them.
constexpr int marks_at = 64, shared_at = marks_at + 32;
constexpr int blank_at = shared_at, point_at = shared_at + 1, letter_at = shared_at + 2, line_feed_at = shared_at + 3;

// For each output byte of a block of 8 fields (at most 161, three registers), the byte of
// the two sources it is; bytes past the block take any. A line that ends after field `end`
// of the block (1 to 8) has its line feed there and the fields after it one column further
// on; end 9 is a block without a line end.
constexpr int no_line_end = 9;
struct BlockIndex {
  alignas(64) u8 b[3][64];
};
constexpr BlockIndex block_index(int n, int lead, int end) {
  const int w = lead + n + 5;
  BlockIndex x{};
  for (int p = 0; p < 8 * w + (end < no_line_end ? 1 : 0); ++p) {
    const int q = p > w * end ? p - 1 : p;  // the byte of the fields without the line feed
    const int i = q / w, c = q % w;
    const int digits = 8 * i + 8 - n, marks = marks_at + 4 * i;
    int s;
    if (p == w * end) {
      s = line_feed_at;
    } else if (c < lead - 1) {
      s = blank_at;
    } else if (c == lead - 1) {
      s = marks;  // the sign
    } else if (c == lead) {
      s = digits;
    } else if (c == lead + 1) {
      s = point_at;
    } else if (c < w - 4) {
      s = digits + c - lead - 1;
    } else if (c == w - 4) {
      s = letter_at;
    } else {
      s = marks + c - (w - 4);  // exponent sign and digits
    }
    x.b[p / 64][p % 64] = static_cast<u8>(s);
  }
  return x;
}
using LeadIndexes = std::array<BlockIndex, no_line_end>;
using BlockIndexes = std::array<std::array<LeadIndexes, max_lead>, max_digits - min_digits + 1>;
constexpr BlockIndexes make_block_indexes() {
  BlockIndexes a{};
  for (int n = min_digits; n <= max_digits; ++n)
    for (int lead = 1; lead <= max_lead; ++lead)
      for (int end = 1; end <= no_line_end; ++end)
        a[static_cast<std::size_t>(n - min_digits)][static_cast<std::size_t>(lead - 1)][static_cast<std::size_t>(end - 1)] =
            block_index(n, lead, end);
  return a;
}
constexpr BlockIndexes block_indexes = make_block_indexes();

// 10^k for k = 0 to 127 - 40 in two factors: the exact 10^(k & 7) and the double nearest
// 10^(k - (k & 7) - 40), both taken from registers.
struct SplitPowers {
  alignas(64) double low[8];
  alignas(64) double high[16];
};
constexpr int power_bias = 40;
constexpr SplitPowers make_split_powers() {
  SplitPowers p{};
  for (int i = 0; i < 8; ++i) p.low[i] = rounded_pow10(i);
  for (int i = 0; i < 16; ++i) p.high[i] = rounded_pow10(8 * i - power_bias);
  return p;
}
constexpr SplitPowers split_powers = make_split_powers();

// The characters of a value's marks by index: the tens digit of 0 to 39, then the units
// digit, then the blank and plus the signs start from.
constexpr int units_index = 40, blank_index = 80, plus_index = 81;
struct ExponentChars {
  alignas(64) char b[128];
};
constexpr ExponentChars make_exponent_chars() {
  ExponentChars x{};
  for (int i = 0; i < 40; ++i) {
    x.b[i] = static_cast<char>('0' + i / 10);
    x.b[units_index + i] = static_cast<char>('0' + i % 10);
  }
  x.b[blank_index] = ' ';
  x.b[plus_index] = '+';
  return x;
}
constexpr ExponentChars exponent_chars = make_exponent_chars();

// Adding it to a double below 2^25 leaves the double rounded to 16 fraction bits in the low
// bits of the sum.
constexpr double fraction16 = 0x1p36;
constexpr u64 half16 = 0x8000;

inline long long ll(u64 w) { return static_cast<long long>(w); }

#define KVAX_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi")))

// A register's value hidden from the compiler, so that it keeps the constant in a register
// (or on the stack) rather than build it again in every block.
template <class T>
KVAX_AVX512 inline T held(T x) {
  asm("" : "+v"(x));
  return x;
}

// The constants of a block, built once a run.
struct Constants {
  __m512d low, high0, high1, offset, tie_up, tenth, carry_from;
  __m512i halves, fraction_bits, by_10000, ten_thousand, by_100, hundred, by_10, by_10_rest, zeros;
  __m512i exponent0, exponent1;
  __m256i magnitude, minus_zero, smallest, odd_from, bias, log10_2, one, spread, marks;
  __m256i minus_exponent, minus;
};

template <int n>
KVAX_AVX512 Constants constants() {
  Constants c;
  c.low = held(_mm512_load_pd(split_powers.low));
  c.high0 = held(_mm512_load_pd(split_powers.high));
  c.high1 = held(_mm512_load_pd(split_powers.high + 8));
  c.offset = held(_mm512_set1_pd(fraction16));
  c.tie_up = held(_mm512_set1_pd(fraction16 + rounded_pow10(n) - 0.5));
  c.tenth = held(_mm512_set1_pd(0.1));
  c.carry_from = held(_mm512_set1_pd(rounded_pow10(n - 1) - 0.05 + 0x1p-14));
  c.halves = held(_mm512_set1_epi64(ll(half16)));
  c.fraction_bits = held(_mm512_set1_epi64(0xffff));
  c.by_10000 = held(_mm512_set1_epi64(0xd1b71759));  // q / 10^4 = q * this >> 45, q < 2^32
  c.ten_thousand = held(_mm512_set1_epi64(10000));
  c.by_100 = held(_mm512_set1_epi16(5243));  // v / 100 = v * this >> 19, v < 10^4
  c.hundred = held(_mm512_set1_epi16(100));
  c.by_10 = held(_mm512_set1_epi16(6554));       // v / 10 = v * this >> 16, v < 100
  c.by_10_rest = held(_mm512_set1_epi16(2559));  // 256 v - 2559 (v / 10) = 256 (v % 10) + v / 10
  c.zeros = held(_mm512_set1_epi8('0'));
  c.exponent0 = held(_mm512_load_si512(exponent_chars.b));
  c.exponent1 = held(_mm512_load_si512(exponent_chars.b + 64));
  c.magnitude = held(_mm256_set1_epi32(0x7fffffff));
  c.minus_zero = held(_mm256_set1_epi32(INT32_MIN));
  c.smallest = held(_mm256_set1_epi32(0x800000));
  c.odd_from = held(_mm256_set1_epi32(0x7f000000));
  c.bias = held(_mm256_set1_epi32(127));
  c.log10_2 = held(_mm256_set1_epi32(78913));  // floor(i log10 2) = i * this >> 18, |i| < 2^10
  c.one = held(_mm256_set1_epi32(1));
  c.spread = held(_mm256_set1_epi32(0x01010000));  // |D| into the indexes of its two digits
  c.marks = held(_mm256_set1_epi32(blank_index | plus_index << 8 | units_index << 24));
  c.minus_exponent = held(_mm256_set1_epi32(('-' - '+') << 8));
  c.minus = held(_mm256_set1_epi32('-' - ' '));
  return c;
}

// 8 values (their bits in x) edited: the digits and marks registers of the block; the
// values to decline as the result.
template <int n>
KVAX_AVX512 inline __mmask8 edit8(const Constants& c, __m256i x, __m512i& digits, __m256i& marks) {
  const __m256i magnitude = _mm256_and_si256(x, c.magnitude);
  const __mmask8 minus = _mm256_cmpgt_epu32_mask(x, c.minus_zero);  // not -0
  const __mmask8 zero = _mm256_testn_epi32_mask(magnitude, magnitude);
  // Zero, subnormals, infinities and not-a-number; zero is written by the vectors.
  const __mmask8 odd = _mm256_cmpge_epu32_mask(_mm256_sub_epi32(magnitude, c.smallest), c.odd_from);

  // f = floor((b - 127) log10 2), and k + 40 = n - 1 - f + 40 for the powers.
  const __m256i b = _mm256_srli_epi32(magnitude, 23);
  const __m256i f = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(b, c.bias), c.log10_2), 18);
  const __m512i k = _mm512_cvtepu32_epi64(_mm256_sub_epi32(_mm256_set1_epi32(n - 1 + power_bias), f));
  const __m512d low = _mm512_permutexvar_pd(k, c.low);
  const __m512d high = _mm512_permutex2var_pd(c.high0, _mm512_srli_epi64(k, 3), c.high1);
  const __m512d yf = _mm512_mul_pd(_mm512_mul_pd(_mm512_cvtps_pd(_mm256_castsi256_ps(magnitude)), low), high);

  // D = f + 1 when y_f, rounded to 16 fraction bits, reaches 10^n - 1/2; then y = y_f / 10.
  const __mmask8 up = _mm512_cmp_pd_mask(_mm512_add_pd(yf, c.offset), c.tie_up, _CMP_GE_OQ);
  const __m512d y = _mm512_mask_mul_pd(yf, up, yf, c.tenth);
  // y_f within 2^-16 above 10^n - 1/2 (which may be below it), as y: under 10^(n-1) - 1/20
  // + 2^-14.
  const __mmask8 near_carry = _mm512_mask_cmp_pd_mask(up, y, c.carry_from, _CMP_LT_OQ);
  // y in 16 fraction bits plus 1/2: q in the bits above them (the exponent of 2^36 stays
  // above the low 32 bits), the fraction 0 where y is within 2^-17 of a tie.
  const __m512i s = _mm512_add_epi64(_mm512_castpd_si512(_mm512_add_pd(y, c.offset)), c.halves);
  const __mmask8 tie = _mm512_testn_epi64_mask(s, c.fraction_bits);
  const __m512i q = _mm512_srli_epi64(s, 16);

  // The digits of q < 10^8 as 8 characters, most significant first: q = 10^4 a + r, then
  // each of a and r as two pairs, then each pair as two digits.
  const __m512i a = _mm512_srli_epi64(_mm512_mul_epu32(q, c.by_10000), 45);
  const __m512i r = _mm512_sub_epi32(q, _mm512_mul_epu32(a, c.ten_thousand));
  const __m512i ar = _mm512_or_si512(a, _mm512_slli_epi64(r, 32));
  const __m512i hundreds = _mm512_srli_epi16(_mm512_mulhi_epu16(ar, c.by_100), 3);
  const __m512i pairs =
      _mm512_or_si512(hundreds, _mm512_slli_epi32(_mm512_sub_epi16(ar, _mm512_mullo_epi16(hundreds, c.hundred)), 16));
  const __m512i tens = _mm512_mulhi_epu16(pairs, c.by_10);
  digits =
      _mm512_add_epi8(_mm512_sub_epi16(_mm512_slli_epi16(pairs, 8), _mm512_mullo_epi16(tens, c.by_10_rest)), c.zeros);

  // The marks: sign, exponent sign and two exponent digits (D within -38 and 39; 0 for zero).
  __m256i d = _mm256_mask_add_epi32(f, up, f, c.one);
  d = _mm256_maskz_mov_epi32(static_cast<__mmask8>(~zero), d);
  const __mmask8 d_minus = _mm256_movepi32_mask(d);
  const __m256i d_abs = _mm256_abs_epi32(d);
  const __m256i index = _mm256_add_epi32(_mm256_mullo_epi32(d_abs, c.spread), c.marks);
  marks = _mm512_castsi512_si256(_mm512_permutex2var_epi8(c.exponent0, _mm512_castsi256_si512(index), c.exponent1));
  marks = _mm256_mask_add_epi32(marks, d_minus, marks, c.minus_exponent);
  marks = _mm256_mask_add_epi32(marks, minus, marks, c.minus);
  return static_cast<__mmask8>((odd & ~zero) | near_carry | tie);
}

// Byte masks of the bytes from `from` to `to` of a block, in the register that starts at `at`.
inline __mmask64 bytes_between(int at, int from, int to) {
  const auto below = [](int k) { return k >= 64 ? ~__mmask64{0} : k <= 0 ? 0 : (__mmask64{1} << k) - 1; };
  return below(to - at) & ~below(from - at);
}

// count values into fields of e.width columns from dst; with lines (per, 8 or more), a line
// feed after every per-th field. Returns the bytes written.
template <int n>
KVAX_AVX512 std::size_t format_avx512(char* dst, const DataEdit& e, const float* v, std::size_t count,
                                      std::size_t per, FloatField one) {
  const int w = e.width;
  const LeadIndexes& indexes = block_indexes[n - min_digits][static_cast<std::size_t>(w - n - 6)];
  const Constants c = constants<n>();
  const __m256i shared = _mm256_setr_epi8(' ', '.', e.kind, '\n', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const std::size_t line = per > 0 ? per : ~std::size_t{0};
  std::size_t at = 0;  // the fields of the line written so far
  char* const start = dst;
  for (std::size_t i = 0; i < count; i += 8) {
    const int left = count - i < 8 ? static_cast<int>(count - i) : 8;
    // The line ends after field `end` of the block (1 to 8), or not in it.
    const int end = line - at <= static_cast<std::size_t>(left) ? static_cast<int>(line - at) : no_line_end;
    const __mmask8 lanes = static_cast<__mmask8>((1u << left) - 1);
    __m512i digits;
    __m256i marks;
    const __mmask8 declined =
        lanes & edit8<n>(c, left == 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + i))
                                      : _mm256_maskz_loadu_epi32(lanes, v + i),
                         digits, marks);
    const __m512i more = _mm512_inserti64x4(_mm512_castsi256_si512(marks), shared, 1);
    const BlockIndex& index = indexes[static_cast<std::size_t>(end - 1)];
    const __m512i r[3] = {_mm512_permutex2var_epi8(digits, _mm512_load_si512(index.b[0]), more),
                          _mm512_permutex2var_epi8(digits, _mm512_load_si512(index.b[1]), more),
                          _mm512_permutex2var_epi8(digits, _mm512_load_si512(index.b[2]), more)};
    const int bytes = w * left + (end <= left ? 1 : 0);
    if (count - i >= 16) {
      // Whole registers while the fields after the block take what spills past it (under
      // 64 bytes, less than 8 fields of 9 columns or more).
      _mm512_storeu_si512(dst, r[0]);
      _mm512_storeu_si512(dst + 64, r[1]);
      if (bytes > 128) _mm512_storeu_si512(dst + 128, r[2]);
    } else {
      for (int k = 0; k < 3; ++k) _mm512_mask_storeu_epi8(dst + 64 * k, bytes_between(64 * k, 0, bytes), r[k]);
    }
    for (unsigned m = declined; m; m &= m - 1) {
      const int j = __builtin_ctz(m);
      one(dst + w * j + (j >= end ? 1 : 0), e, v[i + static_cast<std::size_t>(j)]);
    }
    dst += bytes;
    at = end <= left ? static_cast<std::size_t>(left - end) : at + static_cast<std::size_t>(left);
  }
  return static_cast<std::size_t>(dst - start);
}

FormatPath detect() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi"))
    return FormatPath::avx512;
  return FormatPath::scalar;
}

#else

FormatPath detect() { return FormatPath::scalar; }

#endif

FormatPath best() {
  static const FormatPath p = detect();
  return p;
}

// -1 until the first run asks; the path after that.
std::atomic<int> in_force{-1};

}  // namespace

FormatPath best_format_path() { return best(); }

FormatPath format_path() {
  int p = in_force.load(std::memory_order_relaxed);
  if (p < 0) {
    p = static_cast<int>(best());
    in_force.store(p, std::memory_order_relaxed);
  }
  return static_cast<FormatPath>(p);
}

bool set_format_path(FormatPath p) {
  if (static_cast<int>(p) > static_cast<int>(best())) return false;
  in_force.store(static_cast<int>(p), std::memory_order_relaxed);
  return true;
}

namespace {

// The kernel for e's digits, or -1 bytes where no vector path takes e.
long format_run(char* dst, const DataEdit& e, const float* v, std::size_t count, std::size_t per, FloatField one) {
  if (!short_shape(e)) return -1;
  switch (format_path()) {
#if KVAX_FORMAT_X86
    case FormatPath::avx512:
      switch (e.digits + 1) {
        case 3: return static_cast<long>(format_avx512<3>(dst, e, v, count, per, one));
        case 4: return static_cast<long>(format_avx512<4>(dst, e, v, count, per, one));
        case 5: return static_cast<long>(format_avx512<5>(dst, e, v, count, per, one));
        case 6: return static_cast<long>(format_avx512<6>(dst, e, v, count, per, one));
        default: return static_cast<long>(format_avx512<7>(dst, e, v, count, per, one));
      }
#endif
    default:
      return -1;
  }
}

}  // namespace

bool format_floats(char* dst, const DataEdit& e, const float* v, std::size_t count, FloatField one) {
  return format_run(dst, e, v, count, 0, one) >= 0;
}

bool format_float_lines(char* dst, const DataEdit& e, const float* v, std::size_t count, std::size_t per,
                        FloatField one) {
  if (per < 8) return false;
  const long bytes = format_run(dst, e, v, count, per, one);
  if (bytes < 0) return false;
  if (count % per != 0 || count == 0) dst[bytes] = '\n';
  return true;
}

}  // namespace kvax
