// Every field of the written shapes read by each vector path against the scalar path:
// values bit for bit and codes. Not a test (it takes minutes); run it after a change to
// src/io/scan_fields.cpp:
//
//   build/bench/exhaustive_scan          # both shapes, every path the machine has
//   build/bench/exhaustive_scan 1p       # "  1.2345E+01" only (2 x 10^5 x 200 fields)
//   build/bench/exhaustive_scan 0p       # "0.123456E+01" only (2 x 10^6 x 200 fields)
//
// The fields are every sign column (blank or "-"; "0" or "-" for 0P), every digit string
// and every exponent from E-99 to E+99 (E+00 and E-00 both), in rows of 1000 fields read
// as runs, so that every position in a vector block and every kind of fallback (midpoints,
// subnormals, overflow, zeros) is met. Every 997th field is also checked against strtof.
// Exit status 0 when nothing differs.
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>

#include "io/edit_input.h"
#include "io/scan_fields.h"

namespace {

using kvax::ScanPath;

constexpr std::size_t row = 1000;

// Reads a row as the row statements do, going on after a bad field: value and code of
// every field.
void read_row(const std::string& text, std::vector<float>& v, std::vector<int>& code) {
  kvax::DataEdit e;
  e.kind = 'E';
  e.width = 12;
  e.digits = 6;
  const std::size_t count = text.size() / 12;
  for (std::size_t start = 0; start < count;) {
    std::size_t done = 0;
    const int rc = kvax::in_reals(text.data() + 12 * start, e, v.data() + start, count - start, done);
    for (std::size_t i = start; i < start + done; ++i) code[i] = 0;
    start += done;
    if (start < count) {
      code[start] = rc == 0 ? -1 : rc;  // -1: a run that stopped without a code
      v[start] = 0;
      ++start;
    }
  }
}

struct Shape {
  const char* name;
  char leads[2];      // the sign column's two characters
  int sign_column;
  int digits;         // digit string length
  const char* layout; // the field with '#' for digits, 's' for the sign column
};

// "  1.2345E+01" and "0.123456E+01"
constexpr Shape shapes[] = {
    {"1p", {' ', '-'}, 1, 5, " s#.####E"},
    {"0p", {'0', '-'}, 0, 6, "s.######E"},
};

long long check(const Shape& s, const std::vector<ScanPath>& paths) {
  long long differences = 0, fields = 0;
  std::vector<float> ref(row), got(row);
  std::vector<int> ref_code(row), got_code(row);
  std::string text(12 * row, ' ');
  long long total = 1;
  for (int i = 0; i < s.digits; ++i) total *= 10;
  for (char lead : s.leads) {
    for (int exponent = -99; exponent <= 99; ++exponent) {
      for (const bool minus_zero : {false, true}) {
        if (minus_zero && exponent != 0) continue;
        char ex[4];
        std::snprintf(ex, sizeof ex, "%c%02d", exponent < 0 || minus_zero ? '-' : '+', std::abs(exponent));
        for (long long base = 0; base < total; base += static_cast<long long>(row)) {
          for (std::size_t f = 0; f < row; ++f) {
            char* p = &text[12 * f];
            std::memcpy(p, s.layout, 9);
            p[s.sign_column] = lead;
            long long m = base + static_cast<long long>(f);
            for (int c = 8; c >= 0; --c)
              if (p[c] == '#') {
                p[c] = static_cast<char>('0' + m % 10);
                m /= 10;
              }
            std::memcpy(p + 9, ex, 3);
          }
          kvax::set_scan_path(ScanPath::scalar);
          read_row(text, ref, ref_code);
          for (const ScanPath path : paths) {
            kvax::set_scan_path(path);
            read_row(text, got, got_code);
            for (std::size_t f = 0; f < row; ++f) {
              if (got_code[f] == ref_code[f] &&
                  std::bit_cast<std::uint32_t>(got[f]) == std::bit_cast<std::uint32_t>(ref[f]))
                continue;
              if (++differences <= 20)
                std::printf("DIFFERENT path %d \"%.12s\": scalar %a (%d), vector %a (%d)\n",
                            static_cast<int>(path), &text[12 * f], static_cast<double>(ref[f]),
                            ref_code[f], static_cast<double>(got[f]), got_code[f]);
            }
          }
          for (std::size_t f = (997 - static_cast<std::size_t>(fields % 997)) % 997; f < row; f += 997) {
            const std::string field = text.substr(12 * f, 12);
            const float want = std::strtof(field.c_str(), nullptr);
            const bool same = std::isinf(want) ? ref_code[f] == kvax::iostat::numeric_overflow
                                               : ref_code[f] == 0 && std::bit_cast<std::uint32_t>(want) ==
                                                                         std::bit_cast<std::uint32_t>(ref[f]);
            if (!same && ++differences <= 20)
              std::printf("DIFFERENT from strtof \"%s\": scalar %a (%d), strtof %a\n", field.c_str(),
                          static_cast<double>(ref[f]), ref_code[f], static_cast<double>(want));
          }
          fields += static_cast<long long>(row);
        }
      }
    }
  }
  std::printf("%s: %lld fields, %lld differences\n", s.name, fields, differences);
  return differences;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  std::vector<ScanPath> paths;
  for (const ScanPath p : {ScanPath::avx2, ScanPath::avx512})
    if (static_cast<int>(p) <= static_cast<int>(kvax::best_scan_path())) paths.push_back(p);
  std::printf("vector paths on this machine:");
  for (const ScanPath p : paths) std::printf(" %s", p == ScanPath::avx2 ? "AVX2" : "AVX-512");
  std::printf("%s\n", paths.empty() ? " none (nothing to compare)" : "");
  const auto start = std::chrono::steady_clock::now();
  long long differences = 0;
  for (const Shape& s : shapes)
    if (only.empty() || only == s.name) differences += check(s, paths);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s in %.0f s\n", differences ? "DIFFERENCES FOUND" : "no differences", seconds);
  kvax::set_scan_path(kvax::best_scan_path());
  return differences ? 1 : 0;
}
