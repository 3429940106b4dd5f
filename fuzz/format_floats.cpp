// Runs of floats written by the vector format path against the scalar path, under any
// Ew.d or Dw.d near the short shape: a difference in the bytes, or a byte written past the
// run, is a finding.
//
// Input: two option bytes, then the values. First option: bits 0-2 d (0 to 7), bits 3-6 the
// columns before the number (w - d - 6, 0 to 15), bit 7 D instead of E. Second: bits 0-1
// where the run starts (0 to 3 bytes in), bit 2 a scale of 0 instead of 1P, bit 3 an
// exponent width of 2, bit 7: the values are not 4 bytes of bits each but 4 bytes each of
// a decimal near a rounding tie or a carry (5 digits, their exponent, the last ones 9s or
// 5, a nudge of a few units in the last place), so that the values the vectors must
// decline are met as often as any. Bits 4-6 of the second option: the fields a line (8 to
// 15) when the same run is also written as lines.
#include "io/format_floats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "io/edit_output.h"

using namespace kvax;

namespace {

std::vector<float> plain_values(std::string_view bytes) {
  std::vector<float> v(bytes.size() / 4);
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), 4 * v.size());
  return v;
}

std::vector<float> near_ties(std::string_view bytes) {
  std::vector<float> v;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    double digits = static_cast<double>((b(0) | b(1) << 8) % 100000);
    const unsigned choice = b(3);
    if (choice & 1) digits = 99999;            // a carry into one more digit
    const double tail = choice & 2 ? 0.5 : 0;  // a tie
    const int exponent = static_cast<int>(b(2) % 90) - 50;
    float x = static_cast<float>((digits + tail) * std::pow(10.0, exponent));
    for (int k = static_cast<int>(choice >> 4) - 8; k != 0; k += k < 0 ? 1 : -1)
      x = std::nextafter(x, k < 0 ? 0.0f : INFINITY);
    v.push_back(choice & 4 ? -x : x);
  }
  return v;
}

std::string written(FormatPath p, const DataEdit& e, const std::vector<float>& v, std::size_t offset) {
  set_format_path(p);
  const std::size_t bytes = v.size() * static_cast<std::size_t>(e.width);
  std::string buf(offset + bytes + 64, '#');
  out_reals(buf.data() + offset, e, v.data(), v.size());
  if (buf.compare(offset + bytes, 64, std::string(64, '#')) != 0) __builtin_trap();
  return buf.substr(offset);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned first = in.u8(), second = in.u8();
  DataEdit e;
  e.kind = first & 0x80 ? 'D' : 'E';
  e.digits = static_cast<int>(first & 7);
  e.width = e.digits + 6 + static_cast<int>((first >> 3) & 15);
  e.scale = second & 4 ? 0 : 1;
  e.exp_digits = second & 8 ? 2 : -1;
  const std::vector<float> v = second & 0x80 ? near_ties(in.rest()) : plain_values(in.rest());
  const std::size_t offset = second & 3;

  const std::string want = written(FormatPath::scalar, e, v, offset);
  if (set_format_path(FormatPath::avx512) && written(FormatPath::avx512, e, v, offset) != want) __builtin_trap();
  // The same run as lines of 8 to 15 fields (bits 4-6 of the second option): the scalar
  // fields line by line, each line ended.
  const std::size_t per = 8 + ((second >> 4) & 7), w = static_cast<std::size_t>(e.width);
  std::string lines;
  for (std::size_t i = 0; i == 0 || i < v.size(); i += per) {
    const std::size_t n = std::min(per, v.size() - i);
    lines.append(want, w * i, w * n).push_back('\n');
  }
  if (set_format_path(FormatPath::avx512)) {
    std::string buf(offset + lines.size() + 64, '#');
    const FloatField one = out_real;  // the float overload
    if (format_float_lines(buf.data() + offset, e, v.data(), v.size(), per, one) &&
        buf.compare(offset, std::string::npos, lines + std::string(64, '#')) != 0)
      __builtin_trap();
  }
  set_format_path(best_format_path());
  return 0;
}
