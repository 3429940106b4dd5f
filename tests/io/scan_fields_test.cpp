// Runs of 12-column fields on every scan path the machine has, against one exact read
// per field: values bit for bit, codes, where a run stops and what it leaves untouched.
#include "io/scan_fields.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>

#include "io/edit_input.h"
#include "io/edit_output.h"

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

// Every path up to the machine's best, the path in force put back afterwards.
std::vector<ScanPath> paths() {
  std::vector<ScanPath> p;
  for (const ScanPath q : {ScanPath::scalar, ScanPath::avx2, ScanPath::avx512})
    if (static_cast<int>(q) <= static_cast<int>(best_scan_path())) p.push_back(q);
  return p;
}
struct RestorePath {
  ~RestorePath() { set_scan_path(best_scan_path()); }
};

TEST(ScanFields, PathsUpToTheMachinesBest) {
  RestorePath restore;
  for (const ScanPath p : {ScanPath::scalar, ScanPath::avx2, ScanPath::avx512}) {
    const bool runs = static_cast<int>(p) <= static_cast<int>(best_scan_path());
    EXPECT_EQ(runs, set_scan_path(p)) << static_cast<int>(p);
    if (runs) {
      EXPECT_EQ(p, scan_path());
    }
  }
}

// Fields at the edges of the written shapes: taken by the vectors, or not quite of the
// shape, or of the shape with a value the vectors must leave (overflow, subnormal, zero).
const char* const edge_fields[] = {
    "  1.2345E+01", " -1.2345E-03", "  0.0000E+00", " -0.0000E+00", " -0.0000E-00",
    "  9.9999E+99", "  1.0000E-99", "  1.4013E-45", "  7.0065E-46", "  1.1755E-38",
    "  1.1754E-38", "  3.4028E+38", "  3.4029E+38", "  1.2345e+01", "  1.2345D+01",
    " -1.2345d-01", "0.123456E+01", "-.123456E-03", "0.000000E+00", "-.000000E+00",
    "0.340282E+39", "0.340283E+39", "0.140130E-44", "-.999999E-99", "0.999999e+38",
    " +1.2345E+01", "+.123456E+01", "  1.2345Q+01", "  1.2345E 01", "  1.2345+001",
    " 1.23456E+01", "  1.2 45E+00", "  1.234xE+00", "  -.2345E+00", "1.0123456E+0",
    "  1.2345E+0:", "  1.2345E+/0", "  1.2345E,00", "  1.2345F+00", "  1.2345E+1 ",
    "  NaN       ", "            ", "  1.234\xca" "E+00", " \xad" "1.2345E+00", "1.2345E+01  ",
    "9.123456E+01", "-1.123456E+0", "  1.2345E-1x", "..123456E+01", " -1.2345E+0-",
};

// One row of fields: written ones of both shapes, with values of any bit pattern or grid
// magnitudes, and edge fields between them.
std::string make_row(std::mt19937& rng, std::size_t count) {
  std::string text;
  char field[16];
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned pick = rng() % 10;
    if (pick < 2) {
      text += edge_fields[rng() % std::size(edge_fields)];
      continue;
    }
    float x = rng() % 3 ? std::pow(10.0f, static_cast<float>(rng() % 2000) / 250 - 4)
                        : std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (rng() % 10 == 0 || !std::isfinite(x)) x = 0;
    if (rng() & 1) x = -x;
    out_real(field, pick < 7 ? edit(4, 1) : edit(6), x);
    text.append(field, 12);
  }
  return text;
}

// Reads count fields from text as one run per path and compares with one in_real per
// field: the values up to the first bad field, its code, and nothing stored after it.
void expect_same_as_one_field_at_a_time(const std::string& text, const DataEdit& e) {
  const std::size_t count = text.size() / 12;
  std::vector<float> one(count);
  std::size_t first_bad = count;
  int code = 0;
  for (std::size_t i = 0; i < count && first_bad == count; ++i)
    if ((code = in_real(std::string_view(text).substr(12 * i, 12), e, one[i])) != 0) first_bad = i;
  for (const ScanPath p : paths()) {
    SCOPED_TRACE(static_cast<int>(p));
    ASSERT_TRUE(set_scan_path(p));
    std::vector<float> run(count + 1, 99.0f);
    std::size_t done = 12345;
    EXPECT_EQ(code, in_reals(text.data(), e, run.data(), count, done));
    ASSERT_EQ(first_bad, done);
    for (std::size_t i = 0; i < done; ++i)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(one[i]), std::bit_cast<std::uint32_t>(run[i]))
          << i << " \"" << text.substr(12 * i, 12) << '"';
    for (std::size_t i = done; i <= count; ++i) ASSERT_EQ(99.0f, run[i]) << i;
  }
}

// Rows of every length up to three blocks and beyond, so that every field position in a
// block, every tail and every mix of shapes and fallbacks is met on each path.
TEST(ScanFields, RowsMatchOneFieldAtATime) {
  RestorePath restore;
  std::mt19937 rng(2040);
  for (int i = 0; i < 3000; ++i) {
    const std::size_t count = 1 + static_cast<std::size_t>(i % 40);
    const std::string text = make_row(rng, count);
    SCOPED_TRACE(text);
    expect_same_as_one_field_at_a_time(text, i % 3 ? edit(6) : edit(2, 1));
  }
}

// Each edge field alone, and at each position of a block of written fields.
TEST(ScanFields, EdgeFieldsAtEveryPosition) {
  RestorePath restore;
  std::string written;
  char field[16];
  for (int i = 0; i < 17; ++i) {
    out_real(field, i % 4 ? edit(4, 1) : edit(6), (i & 1 ? -1.0f : 1.0f) * std::ldexp(1.3f, 7 * i - 60));
    written.append(field, 12);
  }
  for (const char* edge : edge_fields) {
    SCOPED_TRACE(edge);
    expect_same_as_one_field_at_a_time(edge, edit(6));
    for (std::size_t at = 0; at < 17; ++at) {
      std::string text = written;
      text.replace(12 * at, 12, edge);
      expect_same_as_one_field_at_a_time(text, edit(6));
    }
  }
}

// A run that ends at the end of the readable memory: no path reads past its last field.
TEST(ScanFields, NoReadPastTheRun) {
  RestorePath restore;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* const map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(MAP_FAILED, map);
  char* const end = static_cast<char*>(map) + page;
  ASSERT_EQ(0, mprotect(end, page, PROT_NONE));
  for (std::size_t count = 1; count <= 20; ++count) {
    char* const text = end - 12 * count;
    for (std::size_t i = 0; i < count; ++i) std::memcpy(text + 12 * i, i % 2 ? " -1.2345E-03" : "0.123456E+01", 12);
    for (const ScanPath p : paths()) {
      ASSERT_TRUE(set_scan_path(p));
      std::vector<float> v(count);
      std::size_t done = 0;
      ASSERT_EQ(0, in_reals(text, edit(6), v.data(), count, done));
      ASSERT_EQ(count, done);
      EXPECT_EQ(1.23456f, v[0]);
      if (count > 1) {
        EXPECT_EQ(-1.2345e-3f, v[1]);
      }
    }
  }
  munmap(map, 2 * page);
}

}  // namespace
}  // namespace kvax
