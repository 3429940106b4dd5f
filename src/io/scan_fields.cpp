// Runs of 12-column fields of the written shape converted in vector registers (AVX-512 or
// AVX2, whichever the machine has, chosen once), everything else left to the exact reader.
//
// The shapes are the two that the Ew.d writers leave in 12 columns: "  1.2345E+01" and
// " -1.2345E-03" (1P, four digits after the point), "0.123456E+01" and "-.123456E+01" (0P,
// six); columns 8 to 11 hold E or D in either case, the exponent's sign and two digits.
// A block of fields is checked column by column against the shape (each byte within a
// range or equal to one other byte), the digits are combined by multiply-adds into the
// integer mantissa m (at most 6 digits, exact) and the exponent, and the value is m times
// the double nearest 10^q (tabled: in registers for AVX-512, gathered for AVX2): two
// roundings, an error under 2 units in the double's last place, as in the scalar reader's
// one-multiplication path. The float nearest
// that double is the float nearest the decimal value unless a rounding midpoint between two
// floats lies within the error or the double is outside the normal float range: those
// fields, and fields of any other shape, go to the exact reader, one at a time in order, so
// that a run stops at a bad field exactly as the exact reader's run would.
//
// A block is tried in the shape of the block before first (rows keep one), then in the
// other; a block with no field of either shape hands the rest of the run to the exact
// reader, so that rows of other shapes pay one block for the look.
#include "io/scan_fields.h"

#include <array>
#include <atomic>
#include <bit>
#include <cfloat>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
// g++ 12 takes the intrinsics' own undefined operands (_mm512_undefined_epi32 and the
// like, self-initialised on purpose) for uninitialised variables.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#define KVAX_SCAN_X86 1
#else
#define KVAX_SCAN_X86 0
#endif

#include "io/powers_of_ten.h"

namespace kvax {
namespace {

using u64 = std::uint64_t;
using u8 = std::uint8_t;

constexpr std::size_t field_width = 12;

// The fields of a block of n that the vectors did not take, in order: the values of the
// first try (good) or of the second (other) stored as they come, the rest read by exact.
// Stops at the first bad field with its code; done is the number of fields stored.
int settle_block(const char* p, const DataEdit& e, float* v, unsigned n, unsigned good,
                 const float* first, unsigned other, const float* second, std::size_t& done,
                 ExactRun exact) {
  for (unsigned j = 0; j < n; ++j) {
    if (good >> j & 1) {
      v[j] = first[j];
    } else if (other >> j & 1) {
      v[j] = second[j];
    } else {
      std::size_t one = 0;
      if (const int rc = exact(p + field_width * j, e, v + j, 1, one)) {
        done = j;
        return rc;
      }
    }
  }
  done = n;
  return 0;
}

#if KVAX_SCAN_X86

// 8 bytes as one word, the first in the lowest byte.
constexpr u64 word(const std::array<int, 8>& b) {
  u64 w = 0;
  for (int i = 7; i >= 0; --i) w = (w << 8) | static_cast<u8>(b[static_cast<std::size_t>(i)]);
  return w;
}

// One written shape as per-column constants: column c of a field passes when
// c - lo <= range (as unsigned bytes) or c == alt.
struct Shape {
  std::array<int, 8> lo, range, alt;  // columns 0 to 7
  int sign_column;
  // The columns that the digit bytes come from, in pairs for the multiply-adds: weights
  // make the pairs the mantissa's leading digits, its next two, its last two, and
  // the exponent.
  std::array<int, 8> digit_columns, weights;
  int exponent_offset;  // value = m * 10^(exponent + exponent_offset)
};

constexpr Shape shapes[2] = {
    // "  1.2345E+01", " -1.2345E-03"
    {{' ', ' ', '0', '.', '0', '0', '0', '0'},
     {0, 0, 9, 0, 9, 9, 9, 9},
     {' ', '-', '0', '.', '0', '0', '0', '0'},
     1,
     {2, 2, 4, 5, 6, 7, 10, 11},
     {0, 1, 10, 1, 10, 1, 10, 1},
     -4},
    // "0.123456E+01", "-.123456E+01"
    {{'0', '.', '0', '0', '0', '0', '0', '0'},
     {0, 0, 9, 9, 9, 9, 9, 9},
     {'-', '.', '0', '0', '0', '0', '0', '0'},
     0,
     {2, 3, 4, 5, 6, 7, 10, 11},
     {10, 1, 10, 1, 10, 1, 10, 1},
     -6},
};

// Columns 8 to 11 of both shapes (then four columns that always pass): "E" or "D" in either
// case (ORed with 0x20: "d" or "e"), the exponent sign, two digits.
constexpr std::array<int, 8> tail_or = {0x20, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<int, 8> tail_lo = {'d', '+', '0', '0', 0, 0, 0, 0};
constexpr std::array<int, 8> tail_range = {1, 0, 9, 9, 255, 255, 255, 255};
constexpr std::array<int, 8> tail_alt = {'d', '-', '0', '0', 0, 0, 0, 0};

// The pair weights (100, 1, 1, 0) of the second multiply-add: the mantissa's leading digits
// times 100 plus its next two digits, and its last two digits.
constexpr u64 merge_weights = 100 | (u64{1} << 16) | (u64{1} << 32);

// The float rounding of a double: the 29 bits it drops, and their value at a midpoint.
constexpr u64 dropped_bits = (u64{1} << 29) - 1;
constexpr u64 midpoint_bits = u64{1} << 28;
constexpr int pow10_last = rounded_pow10_max - rounded_pow10_min;

// 10^q for q in [-64, 63] in two factors taken from registers, not from memory: the
// exact 10^(q & 7) and the double nearest 10^(q - (q & 7)). m (below 2^20) times the first
// is exact (below 2^44), so m * 10^q has the two roundings of one multiplication by the
// double nearest 10^q.
struct SplitPowers {
  alignas(64) double low[8];
  alignas(64) double high[16];
};
constexpr SplitPowers make_split_powers() {
  SplitPowers p{};
  for (int i = 0; i < 8; ++i) p.low[i] = rounded_pow10(i);
  for (int i = 0; i < 16; ++i) p.high[i] = rounded_pow10(8 * i - 64);
  return p;
}
constexpr SplitPowers split_powers = make_split_powers();

inline long long ll(u64 w) { return static_cast<long long>(w); }

// ---- AVX-512: 8 fields, one in each 64-bit lane --------------------------------------

#define KVAX_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi")))

// Byte indices into the 96 bytes of 8 fields that put 8 of a field's columns in its lane.
struct LaneIndex {
  alignas(64) u8 b[64];
};
constexpr LaneIndex lane_index(const std::array<int, 8>& columns) {
  LaneIndex l{};
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      l.b[8 * i + j] = static_cast<u8>(12 * i + columns[static_cast<std::size_t>(j)]);
  return l;
}
constexpr LaneIndex head_index = lane_index({0, 1, 2, 3, 4, 5, 6, 7});
constexpr LaneIndex tail_index = lane_index({8, 9, 10, 11, 8, 8, 8, 8});
constexpr LaneIndex digit_index[2] = {lane_index(shapes[0].digit_columns),
                                      lane_index(shapes[1].digit_columns)};

KVAX_AVX512 inline __m512i lanes512(u64 w) { return _mm512_set1_epi64(ll(w)); }

// The columns of 8 fields (the 96 bytes in r0 and r1) that l puts in their lanes; the
// lanes of `after` (bytes) take their columns one byte further on: their fields follow a
// line feed.
KVAX_AVX512 inline __m512i columns512(__m512i r0, __m512i r1, const LaneIndex& l, __mmask64 after = 0) {
  const __m512i index = _mm512_load_si512(l.b);
  return _mm512_permutex2var_epi8(r0, after ? _mm512_mask_add_epi8(index, after, index, _mm512_set1_epi8(1)) : index, r1);
}

// The lanes with a byte outside its column's range and other than its alternative.
KVAX_AVX512 inline __mmask8 bad_lanes512(__m512i x, u64 lo, u64 range, u64 alt) {
  const __m512i over = _mm512_subs_epu8(_mm512_sub_epi8(x, lanes512(lo)), lanes512(range));
  const __m512i bad = _mm512_maskz_mov_epi8(_mm512_cmpneq_epi8_mask(x, lanes512(alt)), over);
  return _mm512_test_epi64_mask(bad, bad);
}

// The n (1 to 8) fields at p in shape S: their floats in out, the fields taken as the bits
// of the result. Reads the 12 n bytes at p and no others; with a line feed after the
// first `before` fields (fewer than n), the 12 n + 1 bytes.
template <int S>
KVAX_AVX512 inline __mmask8 convert8(const char* p, unsigned n, __m256& out, unsigned before = 8) {
  constexpr const Shape& s = shapes[S];
  const __mmask64 after = before < n ? ~__mmask64{0} << (8 * before) : 0;
  const unsigned bytes = static_cast<unsigned>(field_width) * n + (before < n ? 1 : 0);
  const __mmask64 k0 = bytes >= 64 ? ~__mmask64{0} : (__mmask64{1} << bytes) - 1;
  const __mmask64 k1 = bytes > 64 ? (__mmask64{1} << (bytes - 64)) - 1 : 0;
  const __m512i r0 = _mm512_maskz_loadu_epi8(k0, p);
  const __m512i r1 = _mm512_maskz_loadu_epi8(k1, k1 ? p + 64 : p);
  const __m512i head = columns512(r0, r1, head_index, after);
  const __m512i tail = _mm512_or_si512(columns512(r0, r1, tail_index, after), lanes512(word(tail_or)));
  const __mmask8 bad = bad_lanes512(head, word(s.lo), word(s.range), word(s.alt)) |
                       bad_lanes512(tail, word(tail_lo), word(tail_range), word(tail_alt));
  const __mmask8 valid = static_cast<__mmask8>(~bad & ((1u << n) - 1));

  const __m512i digits = _mm512_sub_epi8(columns512(r0, r1, digit_index[S], after), _mm512_set1_epi8('0'));
  const __m512i pairs = _mm512_maddubs_epi16(digits, lanes512(word(s.weights)));
  const __m512i merged = _mm512_madd_epi16(pairs, lanes512(merge_weights));
  const __m512i m =
      _mm512_add_epi64(_mm512_mul_epu32(merged, lanes512(100)), _mm512_srli_epi64(merged, 32));
  const __mmask8 exponent_minus =
      _mm512_cmpeq_epi64_mask(_mm512_and_si512(tail, lanes512(0xff00)), lanes512(0x2d00));
  __m512i q = _mm512_srli_epi64(pairs, 48);
  q = _mm512_mask_sub_epi64(q, exponent_minus, _mm512_setzero_si512(), q);
  // q + 64, as unsigned: below 128 for q in [-64, 63]. Any other q is taken as 63, where
  // a nonzero m gives a value far above the float range, which goes to the exact reader
  // (as the true value, far outside it too, must); zero stays zero.
  q = _mm512_min_epu64(_mm512_add_epi64(q, lanes512(static_cast<u64>(s.exponent_offset + 64))),
                       lanes512(127));
  const __m512d low = _mm512_permutexvar_pd(q, _mm512_load_pd(split_powers.low));
  const __m512d high = _mm512_permutex2var_pd(_mm512_load_pd(split_powers.high),
                                              _mm512_srli_epi64(q, 3),
                                              _mm512_load_pd(split_powers.high + 8));
  const __m512d r = _mm512_mul_pd(_mm512_mul_pd(_mm512_cvtepi64_pd(m), low), high);

  const __m512i dropped = _mm512_sub_epi64(
      _mm512_and_si512(_mm512_castpd_si512(r), lanes512(dropped_bits)), lanes512(midpoint_bits - 2));
  const __mmask8 near_midpoint = _mm512_cmple_epu64_mask(dropped, lanes512(4));
  const __mmask8 normal = _mm512_cmp_pd_mask(r, _mm512_set1_pd(FLT_MIN), _CMP_GE_OQ) &
                          _mm512_cmp_pd_mask(r, _mm512_set1_pd(FLT_MAX), _CMP_LE_OQ);
  const __mmask8 zero = _mm512_testn_epi64_mask(m, m);
  const u64 sign_byte = u64{0xff} << (8 * s.sign_column);
  const __mmask8 minus = _mm512_cmpeq_epi64_mask(_mm512_and_si512(head, lanes512(sign_byte)),
                                                 lanes512(u64{'-'} << (8 * s.sign_column)));
  const __m256i f = _mm256_castps_si256(_mm512_cvtpd_ps(r));
  out = _mm256_castsi256_ps(_mm256_mask_or_epi32(f, minus, f, _mm256_set1_epi32(INT32_MIN)));
  return static_cast<__mmask8>(valid & (zero | (normal & ~near_midpoint)));
}

KVAX_AVX512 int scan_avx512(const char* text, const DataEdit& e, float* v, std::size_t count,
                            std::size_t& done, ExactRun exact) {
  int shape = 0;
  for (std::size_t i = 0; i < count; i += 8) {
    const unsigned n = count - i < 8 ? static_cast<unsigned>(count - i) : 8;
    const char* const p = text + field_width * i;
    const __mmask8 all = static_cast<__mmask8>((1u << n) - 1);
    __m256 x;
    const __mmask8 good = shape == 0 ? convert8<0>(p, n, x) : convert8<1>(p, n, x);
    if (good == all) [[likely]] {
      if (n == 8) {
        _mm256_storeu_ps(v + i, x);
      } else {
        _mm256_mask_storeu_ps(v + i, all, x);
      }
      continue;
    }
    __m256 y;
    const __mmask8 other = shape == 0 ? convert8<1>(p, n, y) : convert8<0>(p, n, y);
    if ((good | other) == 0) {
      std::size_t rest = 0;
      const int rc = exact(p, e, v + i, count - i, rest);
      done = i + rest;
      return rc;
    }
    if (std::popcount(other) > std::popcount(good)) shape ^= 1;
    alignas(32) float first[8], second[8];
    _mm256_store_ps(first, x);
    _mm256_store_ps(second, y);
    std::size_t stored = 0;
    if (const int rc = settle_block(p, e, v + i, n, good, first, other, second, stored, exact)) {
      done = i + stored;
      return rc;
    }
  }
  done = count;
  return 0;
}

// Lines of `per` (8 or more) fields, each followed by a line feed: 8 fields at a time
// across the line ends. Stops at the first line with a field the vectors do not take.
KVAX_AVX512 std::size_t lines_avx512(const char* text, std::size_t per, std::size_t lines, float* v) {
  const std::size_t stride = field_width * per + 1, count = per * lines;
  int shape = 0;
  std::size_t line = 0, at = 0;  // the line of field i, and field i's place in it
  for (std::size_t i = 0; i < count; i += 8) {
    const unsigned n = count - i < 8 ? static_cast<unsigned>(count - i) : 8;
    const unsigned before = per - at < n ? static_cast<unsigned>(per - at) : 8;
    const char* const p = text + stride * line + field_width * at;
    const __mmask8 all = static_cast<__mmask8>((1u << n) - 1);
    __m256 x;
    __mmask8 good = shape == 0 ? convert8<0>(p, n, x, before) : convert8<1>(p, n, x, before);
    if (good != all) [[unlikely]] {
      __m256 y;
      const __mmask8 other = shape == 0 ? convert8<1>(p, n, y, before) : convert8<0>(p, n, y, before);
      if (std::popcount(other) > std::popcount(good)) shape ^= 1;
      x = _mm256_mask_blend_ps(good, y, x);
      good |= other;
      if (good != all) {
        // Lines before the one with the field not taken are done, including a part in this block.
        const unsigned bad = static_cast<unsigned>(std::countr_zero(static_cast<unsigned>(~good & all)));
        _mm256_mask_storeu_ps(v + i, static_cast<__mmask8>((1u << bad) - 1), x);
        return (i + bad) / per;
      }
    }
    _mm256_mask_storeu_ps(v + i, all, x);
    at += n;
    if (at >= per) {
      at -= per;
      ++line;
    }
  }
  return lines;
}

// ---- AVX2: 4 fields, one in each 128-bit lane -------------------------------------------

#define KVAX_AVX2 __attribute__((target("avx2")))

// 32 bytes: two lanes of the same 16.
struct Lanes16 {
  alignas(32) u8 b[32];
};
constexpr Lanes16 lanes16(const std::array<int, 8>& low, const std::array<int, 8>& high) {
  Lanes16 l{};
  for (int h = 0; h < 2; ++h)
    for (int j = 0; j < 8; ++j) {
      l.b[16 * h + j] = static_cast<u8>(low[static_cast<std::size_t>(j)]);
      l.b[16 * h + 8 + j] = static_cast<u8>(high[static_cast<std::size_t>(j)]);
    }
  return l;
}
constexpr int zero_byte = 0x80;  // a shuffle index that gives 0
struct Shape16 {
  Lanes16 orr, lo, range, alt, digits, signs;
};
constexpr Shape16 shape16(const Shape& s) {
  const int z = zero_byte, c = s.sign_column;
  return {lanes16({0, 0, 0, 0, 0, 0, 0, 0}, tail_or),
          lanes16(s.lo, tail_lo),
          lanes16(s.range, tail_range),
          lanes16(s.alt, tail_alt),
          lanes16(s.digit_columns, {z, z, z, z, z, z, z, z}),
          // the mantissa's minus flag in the low 8 bytes, the exponent's in the high 8
          lanes16({c, c, c, c, c, c, c, c}, {9, 9, 9, 9, 9, 9, 9, 9})};
}
constexpr Shape16 shapes16[2] = {shape16(shapes[0]), shape16(shapes[1])};

KVAX_AVX2 inline __m256i load32(const Lanes16& l) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(l.b));
}

// Two fields, one in each lane: bit 0 set when the first is of the shape, bit 1 the second.
KVAX_AVX2 inline unsigned valid_pair(__m256i x, const Shape16& s) {
  const __m256i y = _mm256_or_si256(x, load32(s.orr));
  const __m256i over = _mm256_subs_epu8(_mm256_sub_epi8(y, load32(s.lo)), load32(s.range));
  const __m256i bad = _mm256_andnot_si256(_mm256_cmpeq_epi8(y, load32(s.alt)), over);
  const auto ok = static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(bad, _mm256_setzero_si256())));
  return static_cast<unsigned>((ok & 0xffff) == 0xffff) | static_cast<unsigned>(ok >> 16 == 0xffff) << 1;
}

// Two fields from q, one in each lane (16 bytes each: 4 past the field).
KVAX_AVX2 inline __m256i load_pair(const char* q) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + field_width)), 1);
}

// A lane's digits in pairs (16-bit words): the mantissa's merged, then the exponent.
KVAX_AVX2 inline __m256i pairs_of(__m256i x, const Shape16& t, u64 weights) {
  const __m256i digits = _mm256_sub_epi8(x, _mm256_set1_epi8('0'));
  return _mm256_maddubs_epi16(_mm256_shuffle_epi8(digits, load32(t.digits)),
                              _mm256_set1_epi64x(ll(weights)));
}

// The mantissa of each lane from its pairs, in the lane's low 64 bits.
KVAX_AVX2 inline __m256i mantissa_of(__m256i pairs) {
  const __m256i merged = _mm256_madd_epi16(pairs, _mm256_set1_epi64x(ll(merge_weights)));
  return _mm256_add_epi64(_mm256_mul_epu32(merged, _mm256_set1_epi64x(100)),
                          _mm256_srli_epi64(merged, 32));
}

// The low 64 bits of the four lanes of two pairs, unpacked, put in field order.
KVAX_AVX2 inline __m256i in_order(__m256i unpacked) {
  return _mm256_permute4x64_epi64(unpacked, 0xd8);
}

// The 4 fields at p in shape S, as convert8; reads 52 bytes at p.
template <int S>
KVAX_AVX2 inline unsigned convert4(const char* p, __m128& out) {
  constexpr const Shape& s = shapes[S];
  const Shape16& t = shapes16[S];
  const __m256i a = load_pair(p), b = load_pair(p + 2 * field_width);
  const unsigned valid = valid_pair(a, t) | valid_pair(b, t) << 2;

  // Per lane: the mantissa in the low 64 bits, the exponent's digits in the next word;
  // then the four lanes' words side by side, in field order.
  const __m256i pa = pairs_of(a, t, word(s.weights)), pb = pairs_of(b, t, word(s.weights));
  const __m256i m = in_order(_mm256_unpacklo_epi64(mantissa_of(pa), mantissa_of(pb)));
  __m256i q = in_order(_mm256_unpacklo_epi64(_mm256_srli_epi64(pa, 48), _mm256_srli_epi64(pb, 48)));
  const __m256i minus_char = _mm256_set1_epi8('-');
  const __m256i sa = _mm256_shuffle_epi8(_mm256_cmpeq_epi8(a, minus_char), load32(t.signs));
  const __m256i sb = _mm256_shuffle_epi8(_mm256_cmpeq_epi8(b, minus_char), load32(t.signs));
  const __m256i minus = in_order(_mm256_unpacklo_epi64(sa, sb));
  const __m256i exponent_minus = in_order(_mm256_unpackhi_epi64(sa, sb));
  q = _mm256_sub_epi64(_mm256_xor_si256(q, exponent_minus), exponent_minus);

  const __m256i low_halves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  __m128i q32 = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(q, low_halves));
  q32 = _mm_add_epi32(q32, _mm_set1_epi32(s.exponent_offset - rounded_pow10_min));
  q32 = _mm_min_epi32(_mm_max_epi32(q32, _mm_setzero_si128()), _mm_set1_epi32(pow10_last));
  const __m256d scale = _mm256_i32gather_pd(rounded_pow10_table, q32, 8);
  // m < 2^52: its bits under the exponent of 2^52 are the double 2^52 + m.
  const __m256d two52 = _mm256_set1_pd(0x1p52);
  const __m256d md =
      _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(m, _mm256_castpd_si256(two52))), two52);
  const __m256d r = _mm256_mul_pd(md, scale);

  const __m256i low = _mm256_sub_epi64(
      _mm256_and_si256(_mm256_castpd_si256(r), _mm256_set1_epi64x(ll(dropped_bits))),
      _mm256_set1_epi64x(ll(midpoint_bits - 2)));
  const __m256i near_midpoint = _mm256_andnot_si256(_mm256_cmpgt_epi64(low, _mm256_set1_epi64x(4)),
                                                    _mm256_cmpgt_epi64(low, _mm256_set1_epi64x(-1)));
  const __m256d normal = _mm256_and_pd(_mm256_cmp_pd(r, _mm256_set1_pd(FLT_MIN), _CMP_GE_OQ),
                                       _mm256_cmp_pd(r, _mm256_set1_pd(FLT_MAX), _CMP_LE_OQ));
  const __m256i zero = _mm256_cmpeq_epi64(m, _mm256_setzero_si256());
  const __m256d good = _mm256_or_pd(_mm256_castsi256_pd(zero),
                                    _mm256_andnot_pd(_mm256_castsi256_pd(near_midpoint), normal));
  const __m128i sign = _mm_and_si128(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(minus, low_halves)),
                                     _mm_set1_epi32(INT32_MIN));
  out = _mm_castsi128_ps(_mm_or_si128(_mm_castps_si128(_mm256_cvtpd_ps(r)), sign));
  return valid & static_cast<unsigned>(_mm256_movemask_pd(good));
}

KVAX_AVX2 int scan_avx2(const char* text, const DataEdit& e, float* v, std::size_t count,
                        std::size_t& done, ExactRun exact) {
  int shape = 0;
  for (std::size_t i = 0; i < count; i += 4) {
    const std::size_t left = count - i;
    const unsigned n = left < 4 ? static_cast<unsigned>(left) : 4;
    const char* const p = text + field_width * i;
    // The loads take 4 bytes past a block's last field: the run's last block is copied.
    const char* from = p;
    char last[64];
    if (left < 5) {
      std::memset(last, ' ', sizeof last);
      std::memcpy(last, p, field_width * n);
      from = last;
    }
    const unsigned all = (1u << n) - 1;
    __m128 x;
    const unsigned good = all & (shape == 0 ? convert4<0>(from, x) : convert4<1>(from, x));
    if (good == all) [[likely]] {
      if (n == 4) {
        _mm_storeu_ps(v + i, x);
      } else {
        alignas(16) float values[4];
        _mm_store_ps(values, x);
        std::memcpy(v + i, values, sizeof(float) * n);
      }
      continue;
    }
    __m128 y;
    const unsigned other = all & (shape == 0 ? convert4<1>(from, y) : convert4<0>(from, y));
    if ((good | other) == 0) {
      std::size_t rest = 0;
      const int rc = exact(p, e, v + i, count - i, rest);
      done = i + rest;
      return rc;
    }
    if (std::popcount(other) > std::popcount(good)) shape ^= 1;
    alignas(16) float first[4], second[4];
    _mm_store_ps(first, x);
    _mm_store_ps(second, y);
    std::size_t stored = 0;
    if (const int rc = settle_block(p, e, v + i, n, good, first, other, second, stored, exact)) {
      done = i + stored;
      return rc;
    }
  }
  done = count;
  return 0;
}

ScanPath detect() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vbmi"))
    return ScanPath::avx512;
  if (__builtin_cpu_supports("avx2")) return ScanPath::avx2;
  return ScanPath::scalar;
}

#else

ScanPath detect() { return ScanPath::scalar; }

#endif

ScanPath best() {
  static const ScanPath p = detect();
  return p;
}

// -1 until the first run asks; the path after that.
std::atomic<int> in_force{-1};

}  // namespace

ScanPath best_scan_path() { return best(); }

ScanPath scan_path() {
  int p = in_force.load(std::memory_order_relaxed);
  if (p < 0) {
    p = static_cast<int>(best());
    in_force.store(p, std::memory_order_relaxed);
  }
  return static_cast<ScanPath>(p);
}

bool set_scan_path(ScanPath p) {
  if (static_cast<int>(p) > static_cast<int>(best())) return false;
  in_force.store(static_cast<int>(p), std::memory_order_relaxed);
  return true;
}

bool scan_lines_available() { return scan_path() == ScanPath::avx512; }

std::size_t scan_lines(const char* text, std::size_t per, std::size_t lines, float* v) {
#if KVAX_SCAN_X86
  if (per >= 8 && scan_path() == ScanPath::avx512) return lines_avx512(text, per, lines, v);
#endif
  (void)text, (void)per, (void)lines, (void)v;
  return 0;
}

int scan_reals(const char* text, const DataEdit& e, float* v, std::size_t count,
               std::size_t& done, ExactRun exact) {
  switch (scan_path()) {
#if KVAX_SCAN_X86
    case ScanPath::avx512:
      return scan_avx512(text, e, v, count, done, exact);
    case ScanPath::avx2:
      return scan_avx2(text, e, v, count, done, exact);
#endif
    default:
      return exact(text, e, v, count, done);
  }
}

}  // namespace kvax
