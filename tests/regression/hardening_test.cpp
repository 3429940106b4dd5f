// Faults found by the fuzz targets and the bad-input suite, each pinned by the smallest
// case that showed it. Several show only under the sanitizers (the CI's second run).
#include <gtest/gtest.h>
#include <malloc.h>

#include <complex>
#include <memory>
#include <span>
#include <vector>

#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::hex;
using test::read_file;
using test::ScratchDir;

// A row of no cells (a header with K = 0 or below, copied unformatted) handed the record
// layer an empty item list without an address, which went on to memcpy.
TEST(Hardening, EmptyItemListMakesAnEmptyRecord) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unit(31, OpenSpec{.file = d.file("e.u"), .form = "UNFORMATTED"}), 0);
  {
    UnformattedWrite w(31);
    w.items(std::span<const std::complex<float>>());
    w.finish();
  }
  outzm(31, {}, 0, 1, "M", "M2");
  close_unit(31);
  EXPECT_EQ(hex(read_file(d.file("e.u")).substr(0, 8)), "00 00 00 00 00 00 00 00");
  EXPECT_EQ(read_file(d.file("e.u")).size(), 8u + 27u + 8u);
}

// The writers reported a section as written while its bytes were still in the unit's
// buffer; a device that refuses them failed only at the close, after the report line.
TEST(Hardening, WritersReportOnlyWhatReachedTheFile) {
  const std::complex<float> grid[4] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  for (const bool formatted : {true, false}) {
    SCOPED_TRACE(formatted ? "formatted" : "unformatted");
    CapturedOutput out;
    ASSERT_EQ(open_unit(31, OpenSpec{.file = "/dev/full", .form = formatted ? "FORMATTED" : "UNFORMATTED"}), 0);
    try {
      if (formatted) {
        outzm_f(31, grid, 2, 2, "M", "M2");
      } else {
        outzm(31, grid, 2, 2, "M", "M2");
      }
      ADD_FAILURE() << "the write to /dev/full did not fail";
    } catch (const FatalIo& f) {
      EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? No space left on device\n? WRITE(UNIT=31,...\n");
    }
    EXPECT_EQ(out.text().find("CMPX array"), std::string::npos) << out.text();
  }
}

// A statement that begins with an empty record, in a state fresh from the pool (nine
// statements at once: the pool keeps eight), handed the unit a record without an address.
TEST(Hardening, EmptyRecordsFromFreshStatements) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unit(31, OpenSpec{.file = d.file("e.f")}), 0);
  {
    std::vector<std::unique_ptr<OutputStatement>> at_once;
    for (int n = 0; n < 9; ++n) at_once.push_back(std::make_unique<OutputStatement>(31, "(/)"));
    for (auto it = at_once.rbegin(); it != at_once.rend(); ++it) (*it)->finish();
  }
  close_unit(31);
  EXPECT_EQ(read_file(d.file("e.f")), std::string(18, '\n'));
}

std::string fatal_text(void (*statement)()) {
  try {
    statement();
  } catch (const FatalIo& f) {
    return f.report();
  }
  return "no fatal report";
}

// Nested repeat counts multiply control edits: a billion records before the first value
// kept a statement busy for hours, and a billion blanks of nX asked for memory that is
// not there. Both are now errors of the statement, found within moments.
TEST(Hardening, FormatsThatExpandWithoutEnd) {
  CapturedOutput out;
  EXPECT_EQ(fatal_text([] { write_fmt(6, "(1000(1000(1000/)),I2)", std::int32_t{1}); }),
            "? FORTRAN Runtime Error:\n? Error in format\n? WRITE(UNIT=*,...\n");
  EXPECT_EQ(fatal_text([] { write_fmt(6, "(I2,1000(1000(1000/)))", std::int32_t{1}); }),
            "? FORTRAN Runtime Error:\n? Error in format\n? WRITE(UNIT=*,...\n");
  EXPECT_EQ(fatal_text([] { write_fmt(6, "(1000(1000000X),I2)", std::int32_t{1}); }),
            "? FORTRAN Runtime Error:\n? Output exceeds the record length\n? WRITE(UNIT=*,...\n");
  EXPECT_EQ(fatal_text([] {
              Text field = text("", 10);
              write_fmt_text(field, "(1000(1000000X),I2)", std::int32_t{1});
            }),
            "? FORTRAN Runtime Error:\n? Output exceeds the record length\n? WRITE(UNIT=*,...\n");
  std::int32_t v = 0;
  EXPECT_EQ(read_fmt_text("  42", want_err, "(1000(1000(1000X)),I2)", v), Io::err);
  EXPECT_EQ(v, 0);

  // Formats of ordinary size are not touched by the bound: a hundred groups of a blank,
  // and a million values ten a line.
  Text field = text("", 101);
  write_fmt_text(field, "(10(10(1X)),'|')");
  EXPECT_EQ(field, std::string(100, ' ') + "|");
  std::vector<float> row(1000000, 1.5f);
  out.clear();
  OutputStatement st(6, "(1p,10e12.4,:)");
  st.items(std::span<const float>(row));
  st.finish();
  EXPECT_EQ(out.text().size(), 100000u * 121u);
}

// Statement states are pooled with their record buffers; a long record's buffer stayed
// allocated, and in the fuzz runs the resident memory rose step by step. (Under the
// sanitizers the C library's allocator counts nothing and this shows nothing.)
TEST(Hardening, LongRecordsDoNotStayAllocated) {
  CapturedOutput out;
  ASSERT_EQ(open_unit(31, OpenSpec{.file = "/dev/null"}), 0);
  auto in_use = [] {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  write_fmt(31, "(A)", "a short record first");
  const std::size_t before = in_use();
  write_fmt(31, "(30(1000000X),A)", "x");  // a record of 30 MB
  EXPECT_LT(in_use(), before + (std::size_t{4} << 20));
  close_unit(31);
}

}  // namespace
}  // namespace kvax
