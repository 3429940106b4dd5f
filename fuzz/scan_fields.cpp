// The vector scans of 12-column fields (every path the machine has) against the scalar
// path, on any line: a difference in values, codes or where a run stops is a finding.
//
// Input: an option byte, then the line. Bits 0-1 of the option: where the line starts
// (0 to 3 bytes in, so loads meet every alignment); bits 2-4: d of the edit (0 to 7);
// bit 5: 1P; bit 7: the rest is not the line itself but 5 bytes per field of the written
// shapes (digits, exponent, signs, shape and now and then one byte replaced), so that the
// values of the shapes are met as often as their spelling. The fields are also read as
// lines of 8 to 12 fields by the vectors that take whole lines.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "io/edit_input.h"
#include "io/scan_fields.h"

using namespace kvax;

namespace {

// Fields of the written shapes from 5 bytes each: 3 bytes of digits, the exponent (bit 7
// its sign), and a byte of choices: shape, mantissa sign, letter, and a column to spoil.
std::string written_fields(std::string_view bytes) {
  std::string line;
  for (std::size_t i = 0; i + 5 <= bytes.size(); i += 5) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    std::uint32_t m = b(0) | b(1) << 8 | b(2) << 16;
    const unsigned exponent = b(3) & 0x7f, choice = b(4);
    char f[13];
    const bool zero_p = choice & 1;
    std::memcpy(f, zero_p ? "0.######E" : "  #.####E", 9);
    if (choice & 2) f[zero_p ? 0 : 1] = '-';
    f[8] = "EDed"[(choice >> 2) & 3];
    m %= zero_p ? 1000000 : 100000;
    for (int c = 7; c >= 0; --c)
      if (f[c] == '#') {
        f[c] = static_cast<char>('0' + m % 10);
        m /= 10;
      }
    f[9] = b(3) & 0x80 ? '-' : '+';
    f[10] = static_cast<char>('0' + exponent % 100 / 10);
    f[11] = static_cast<char>('0' + exponent % 10);
    if ((choice >> 4) == 15) f[choice % 12] = static_cast<char>(b(0));
    line.append(f, 12);
  }
  return line;
}

// Reads the line's fields as runs, going on after each bad field: values and codes.
void read_all(std::string_view text, const DataEdit& e, std::vector<float>& v, std::vector<int>& code) {
  const std::size_t count = text.size() / 12;
  v.assign(count + 1, 99.0f);
  code.assign(count, 0);
  for (std::size_t start = 0; start < count;) {
    std::size_t done = 0;
    const int rc = in_reals(text.data() + 12 * start, e, v.data() + start, count - start, done);
    if (done > count - start) __builtin_trap();
    start += done;
    if (start == count) {
      if (rc != 0) __builtin_trap();
      break;
    }
    if (rc == 0 || v[start] != 99.0f) __builtin_trap();  // a bad field is never stored
    code[start++] = rc;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned option = in.u8();
  DataEdit e;
  e.kind = 'E';
  e.width = 12;
  e.digits = static_cast<int>((option >> 2) & 7);
  e.scale = option & 0x20 ? 1 : 0;
  const std::string_view rest = in.rest();
  std::string line(option & 3, '#');  // the offset, then the line
  line += option & 0x80 ? written_fields(rest) : std::string(rest);
  const std::string_view text = std::string_view(line).substr(option & 3);

  std::vector<float> want, got;
  std::vector<int> want_code, got_code;
  set_scan_path(ScanPath::scalar);
  read_all(text, e, want, want_code);
  for (const ScanPath p : {ScanPath::avx2, ScanPath::avx512}) {
    if (!set_scan_path(p)) continue;
    read_all(text, e, got, got_code);
    if (got_code != want_code ||
        std::memcmp(got.data(), want.data(), sizeof(float) * want.size()) != 0)
      __builtin_trap();
  }
  // The same fields as lines of `per` fields, each followed by a line feed: every line the
  // vectors take holds the scalar path's values of good fields only.
  if (set_scan_path(ScanPath::avx512)) {
    const std::size_t per = 8 + text.size() % 5, lines = want_code.size() / per;
    std::string joined;
    for (std::size_t j = 0; j < lines; ++j) joined.append(text.substr(12 * per * j, 12 * per)).push_back('\n');
    std::vector<float> v(per * lines + 1, 99.0f);
    const std::size_t taken = scan_lines(joined.data(), per, lines, v.data());
    if (taken > lines) __builtin_trap();
    for (std::size_t i = 0; i < per * taken; ++i)
      if (want_code[i] != 0 || std::bit_cast<std::uint32_t>(v[i]) != std::bit_cast<std::uint32_t>(want[i]))
        __builtin_trap();
    if (v[per * lines] != 99.0f) __builtin_trap();
  }
  set_scan_path(best_scan_path());
  return 0;
}
