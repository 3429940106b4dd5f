// Unformatted complex sections: exact bytes, round trips, every status code and message.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/units.h>
#include <kvax/transforms/grid_transforms.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::hex;
using test::read_file;
using test::record;
using test::ScratchDir;
using test::write_file;


std::string i32(std::int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

std::string header(int k, int l, std::string_view typ_vartyp_tag, int version) {
  return record(i32(k) + i32(l) + std::string(typ_vartyp_tag) + i32(version));
}

class UnformattedSections : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_reset_for_tests();
    set_length_tag_tide(2);
    setver(-1);
    out_.clear();
  }
  void TearDown() override { set_length_tag_tide(2); }

  void write_section(const std::string& file, int k, int l, std::string_view tag, int version,
                     std::string_view order = "LITTLE_ENDIAN", std::string_view typ = "M") {
    ASSERT_EQ(open_unit(31, OpenSpec{.file = file, .form = "UNFORMATTED", .convert = order}), 0);
    save_file_name(31, "out.u");
    setver(version);
    const auto g = test::sample_grid(k, l);
    outzm(31, g, k, l, typ, tag);
    close_unit(31);
  }
  void open_in(const std::string& file, std::string_view order = "LITTLE_ENDIAN") {
    ASSERT_EQ(open_unit(21, OpenSpec{.file = file, .status = "OLD", .form = "UNFORMATTED", .convert = order}), 0);
    save_file_name(21, "in.u");
  }

  ScratchDir dir_;
  CapturedOutput out_;
};

TEST_F(UnformattedSections, ExactBytesOfASmallSection) {
  write_section(dir_.file("s.u"), 3, 2, "M2", 7);
  const std::string bytes = read_file(dir_.file("s.u"));
  ASSERT_EQ(bytes.size(), 91u);
  EXPECT_EQ(hex(bytes.substr(0, 27)),
            "13 00 00 00 03 00 00 00 02 00 00 00 4D 43 4D 50 58 4D 32 07 00 00 00 13 00 00 00");
  // Row 2 first: cells 4, 5, 6 of the grid.
  const auto g = test::sample_grid(3, 2);
  EXPECT_EQ(bytes.substr(31, 24), std::string(reinterpret_cast<const char*>(&g[3]), 24));
  EXPECT_EQ(bytes.substr(63, 24), std::string(reinterpret_cast<const char*>(&g[0]), 24));
  EXPECT_EQ(out_.text(), " <OUTZM->>> CMPX array, grid M 3x2, f.unit 31: out.u -->M2  #     7 \n");
}

TEST_F(UnformattedSections, RoundTripInBothByteOrders) {
  for (std::string_view order : {"LITTLE_ENDIAN", "BIG_ENDIAN"}) {
    SCOPED_TRACE(order);
    write_section(dir_.file("r.u"), 4, 3, "S2", 12, order, "Z");
    open_in(dir_.file("r.u"), order);
    int k = 0, l = 0;
    EXPECT_EQ(getsiz(21, k, l), 0);
    EXPECT_EQ(k * 10 + l, 43);
    std::vector<Cell> g(12);
    Text typ = text(".", 1), tag = text("..", 2);
    getzm(21, g, k, l, typ, tag);
    int version = 0;
    getver(version);
    close_unit(21);
    EXPECT_EQ(g, test::sample_grid(4, 3));
    EXPECT_EQ(typ, "Z");
    EXPECT_EQ(tag, "S2");
    EXPECT_EQ(version, 12);
  }
  out_.clear();
  open_in(dir_.file("r.u"), "BIG_ENDIAN");
  int k = 0, l = 0;
  getsiz(21, k, l);
  EXPECT_EQ(out_.text(), " <getsiz>>> K,L,TYP,VARTYP=           4           3  Z CMPX\n"
                         " <GETSIZ>>>       4    3 Z CMPX  array on file unit 21\n");
}

TEST_F(UnformattedSections, EmptyFileGivesEFAndBadVersion) {
  write_file(dir_.file("e.u"), "");
  open_in(dir_.file("e.u"));
  int k = 5, l = 6;
  EXPECT_EQ(getsiz(21, k, l), 0);
  EXPECT_EQ(getsiz_e(21, k, l), 1);
  EXPECT_EQ(k * 10 + l, 56);
  std::vector<Cell> g(1);
  Text typ = text(".", 1), tag = text("..", 4);
  getzm(21, g, 1, 1, typ, tag);
  int version = 0;
  getver(version);
  EXPECT_EQ(tag, "EF  ");
  EXPECT_EQ(version, -1);
  EXPECT_EQ(out_.text(), " <GETSIZ>E> End of file, log.unit 21\n"
                         " <GETSIZ>E> End of file, log.unit 21\n"
                         " <GETZM->E> End of file, log.unit 21. Sections read:     0\n"
                         " <GETVER>W> Bad version number due to recent read problem.\n");
}

TEST_F(UnformattedSections, HeaderChecksGiveERETAndEC) {
  struct Row {
    int line;
    std::string bytes;
    std::string_view typ_in;
    std::string_view code;
    std::string_view message;
  } rows[] = {
      {__LINE__, record("short"), ".", "ER",
       " <GETZM->E> Cannot recognize data\n"},
      {__LINE__, record(i32(1) + i32(1) + "MCMPXM2"), ".", "ER", " <GETZM->E> Cannot recognize data\n"},
      {__LINE__, header(1, 1, "MCMPXM2", 0), "Z", "ET", " <GETZM->E> Requested grid \"Z\", encountered \"M\"\n"},
      {__LINE__, header(1, 1, "MFLAGM2", 0), "?", "EC", " <GETZM->E> Requested data CMPX Encountered FLAG\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    write_file(dir_.file("h.u"), r.bytes);
    open_in(dir_.file("h.u"));
    out_.clear();
    std::vector<Cell> g(1);
    Text typ = text(r.typ_in, 1), tag = text("..", 2);
    getzm(21, g, 1, 1, typ, tag);
    close_unit(21);
    EXPECT_EQ(tag, r.code);
    EXPECT_EQ(typ, r.typ_in);
    EXPECT_EQ(out_.text(), r.message);
  }
}

TEST_F(UnformattedSections, TruncatedRowsStopAndShortRowIsFatal) {
  const std::string row = record(std::string(16, '\0'));
  write_file(dir_.file("t.u"), header(2, 5, "MCMPXM2", 1) + row + row);
  open_in(dir_.file("t.u"));
  std::vector<Cell> g(10);
  Text typ = text(".", 1), tag = text("..", 2);
  EXPECT_THROW(getzm(21, g, 2, 5, typ, tag), StopRun);
  EXPECT_EQ(out_.text(), " <GETZM->T> Data truncated after    2 operations.\n");
  close_unit(21);

  write_file(dir_.file("s.u"), header(2, 1, "MCMPXM2", 1) + record(std::string(12, '\0')));
  open_in(dir_.file("s.u"));
  try {
    getzm(21, g, 2, 1, typ, tag);
    FAIL();
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Attempt to read past end of record\n? READ(UNIT=21,...\n");
  }
}

// Rows moved as their records: taken whole where every record is one row, refused (the
// unit left where it was) where one is not, and written turned and mirrored with the
// bytes the row writer gives.
TEST_F(UnformattedSections, RowRecordsMoveWholeOrNotAtAll) {
  const int k = 5, l = 7;
  const std::size_t size = 8 + 8 * k;
  write_section(dir_.file("g.u"), k, l, "M2", 3);
  const std::string good = read_file(dir_.file("g.u"));
  const std::string head = good.substr(0, 27), rows = good.substr(27);
  std::string bad_row = rows;
  bad_row[3 * size] = 39;  // the fourth record's leading marker
  struct Case {
    std::string name, file, order;
    int taken;  // of the first block of 4 rows
  } cases[] = {{"whole", head + rows, "LITTLE_ENDIAN", 4},
               {"fourth record of another length", head + bad_row, "LITTLE_ENDIAN", 0},
               {"file ends in the block", head + rows.substr(0, 3 * size + 20), "LITTLE_ENDIAN", 0},
               {"other byte order", test::Section{.k = k, .l = l}.unformatted(true), "BIG_ENDIAN", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir_.file("in.u"), c.file);
    open_in(dir_.file("in.u"), c.order);
    Text typ = text(".", 1), tag = text("..", 2);
    int version = 0;
    ASSERT_TRUE(getzm_begin(21, k, l, typ, tag, version));
    const std::int64_t at = unit_position(21);
    std::vector<std::byte> block(4 * size + 3);
    EXPECT_EQ(getzm_row_records(block, 4), c.taken);
    if (c.taken == 0) {
      EXPECT_EQ(unit_position(21), at);
      std::vector<Cell> row(k);
      getzm_row(row);  // the rows are then read one at a time, from the first
      EXPECT_EQ(row[0], (c.order == "BIG_ENDIAN" ? Cell(1 + 10 * l, -l) : test::sample_grid(k, l)[k * (l - 1)]));
    } else {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data()), 4 * size), rows.substr(0, 4 * size));
    }
    close_unit(21);
  }

  // Written: the pieces give what outzm_row gives for the rows turned and in that order.
  std::vector<std::byte> held(l * size);
  std::memcpy(held.data(), rows.data(), held.size());
  for (const bool reversed : {false, true}) {
    for (const int n : {0, 2, 5, -1}) {
      SCOPED_TRACE(testing::Message() << "reversed " << reversed << " rotation " << n);
      ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("p.u"), .form = "UNFORMATTED"}), 0);
      EXPECT_TRUE(outzm_row_records(31, held, k, l, reversed, zrcyl_first(n, k)));
      close_unit(31);
      ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("r.u"), .form = "UNFORMATTED"}), 0);
      const auto g = test::sample_grid(k, l);
      std::vector<Cell> turned(k);
      for (int t = 0; t < l; ++t) {
        const int j = reversed ? 1 + t : l - t;  // the rows in the order written
        zrcyl_row(std::span<const Cell>(g).subspan(static_cast<std::size_t>(k * (j - 1)), k), n, turned);
        outzm_row(31, turned);
      }
      close_unit(31);
      EXPECT_EQ(hex(read_file(dir_.file("p.u"))), hex(read_file(dir_.file("r.u"))));
    }
  }
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("b.u"), .form = "UNFORMATTED", .convert = "BIG_ENDIAN"}), 0);
  EXPECT_FALSE(outzm_row_records(31, held, k, l, false, 0));
  close_unit(31);
  EXPECT_EQ(read_file(dir_.file("b.u")), "");
}

TEST_F(UnformattedSections, TagRequestsAndTheSearch) {
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("two.u"), .form = "UNFORMATTED"}), 0);
  const auto a = test::sample_grid(2, 1);
  const std::vector<Cell> b = {Cell(9, 9), Cell(8, 8)};
  setver(3);
  outzm(31, a, 2, 1, "M", "M2");
  setver(4);
  outzm(31, b, 2, 1, "M", "S2");
  close_unit(31);

  open_in(dir_.file("two.u"));
  out_.clear();
  std::vector<Cell> g(2);
  Text typ = text(".", 1), tag = text("S2", 2);
  getzm(21, g, 2, 1, typ, tag);  // another tag: reported, returned all the same
  EXPECT_EQ(tag, "M2");
  EXPECT_EQ(g, a);
  EXPECT_EQ(out_.text(), " <GETZM->E> Requested tag S2, encountered M2\n"
                         " <GETZM->>> CMPX array, grid M, f.unit 21: in.u -->M2  #     3 \n");
  rewind_unit(21);
  out_.clear();
  int version = 0;
  assign(tag, "S2");
  lgetzm(21, g, 2, 1, typ, tag, version);
  EXPECT_EQ(tag, "S2");
  EXPECT_EQ(version, 4);
  EXPECT_EQ(g, b);
  EXPECT_EQ(out_.text(), " <lgetzm>>> S2 M2\n <lgetzm>>> S2 S2\n"
                         " <LGETZM>>> CMPX array, grid M, f.unit 21: in.u -->S2  #     4 \n");
  rewind_unit(21);
  out_.clear();
  assign(tag, "K1");
  version = 0;
  lgetzm(21, g, 2, 1, typ, tag, version);
  EXPECT_EQ(tag, "EV");
  EXPECT_EQ(version, 4);
  EXPECT_EQ(out_.text(), " <lgetzm>>> K1 M2\n <lgetzm>>> K1 S2\n"
                         " <LGETZM>W> End of file, log.unit 21. Sections read:     2\n"
                         " <  \"   >>> CMPX array, grid M, f.unit 21: in.u -->K1  #     4 \n");
  rewind_unit(21);
  assign(tag, "..");
  version = 3;  // a requested version passes over the other sections
  lgetzm(21, g, 2, 1, typ, tag, version);
  EXPECT_EQ(tag, "M2");
}

TEST_F(UnformattedSections, TagLengthMustMatchTheFile) {
  set_length_tag_tide(4);
  write_section(dir_.file("l4.u"), 1, 1, "M2AB", 9);
  std::vector<Cell> g(1);
  Text typ = text(".", 1), tag = text("..", 4);
  set_length_tag_tide(2);
  open_in(dir_.file("l4.u"));
  getzm(21, g, 1, 1, typ, tag);
  int version = 0;
  getver(version);
  EXPECT_EQ(tag, "M2  ");
  EXPECT_NE(version, 9);  // taken from the tag's bytes
  close_unit(21);
  set_length_tag_tide(6);
  open_in(dir_.file("l4.u"));
  tag = text("..", 6);
  getzm(21, g, 1, 1, typ, tag);
  EXPECT_EQ(trimmed(tag), "ER");
  close_unit(21);
  set_length_tag_tide(20);
  EXPECT_EQ(length_tag_tide(0), 16);
}

TEST_F(UnformattedSections, ScaledWriterAndScalingByZero) {
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("n.u"), .form = "UNFORMATTED"}), 0);
  const std::vector<Cell> g = {Cell(2, -4), Cell(1, 0)};
  outzmn(31, g, 2.0f, 2, 1, "M", "M2");
  out_.clear();
  outzmn(31, g, 0.0f, 2, 1, "M", "M2");
  close_unit(31);
  EXPECT_EQ(out_.text(), " <OUTZMN>E> Scaling by zero. No output.\n");
  open_in(dir_.file("n.u"));
  std::vector<Cell> back(2);
  Text typ = text(".", 1), tag = text("..", 2);
  getzm(21, back, 2, 1, typ, tag);
  EXPECT_EQ(back, (std::vector<Cell>{Cell(1, -2), Cell(0.5f, 0)}));
  int k = 0, l = 0;
  EXPECT_EQ(getsiz_e(21, k, l), 1);  // nothing after it
}

}  // namespace
}  // namespace kvax
