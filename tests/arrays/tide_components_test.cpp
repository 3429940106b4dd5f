// Constituents by tag: tgetzm on files of complex sections, tgetoz on files of compact
// constituent sets, and the /COZ/ pool behind them (zoz_value, extcoz, chkcoz).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <kvax/arrays/coz.h>
#include <kvax/arrays/cver.h>
#include <kvax/arrays/tide_components.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::le32;
using test::record;
using test::ScratchDir;
using test::write_file;

// A compact constituent set. Z value q (from 1) is (base + q, -q), U value q is
// (base + 1000 + q, 1), V value q is (base + 2000 + q, 2); the last record of a region is
// padded with (-1, -1).
struct ConstituentSet {
  int n = 20, b = 10;
  std::string file_option = "F", tag = "M2";
  int m = 3;
  std::string z_letter = "Z", m_letter = "M";
  float base = 0;
  int region_records_kept = -1;  // U and V records written; -1: all

  static std::string values(int count, float first, float im) {
    std::string s, rec;
    for (int q = 1; q <= 8 * ((count + 7) / 8); ++q) {
      rec += q <= count ? le32(first + static_cast<float>(q)) + le32(im) : le32(-1.0f) + le32(-1.0f);
      if (q % 8 == 0) s += record(rec), rec.clear();
    }
    return s;
  }
  std::string bytes() const {
    std::string s = record(le32(static_cast<std::uint32_t>(n)) + le32(static_cast<std::uint32_t>(b)) + le32(0u) +
                           z_letter + file_option + tag);
    std::string z;
    for (int q = 1; q <= 8 * ((n + 7) / 8); ++q)
      z += q <= n ? le32(base + static_cast<float>(q)) + le32(static_cast<float>(-q)) : le32(-1.0f) + le32(-1.0f);
    for (std::size_t at = 0; at < z.size(); at += 64) s += record(z.substr(at, 64));
    s += record(le32(static_cast<std::uint32_t>(m)) + m_letter);
    if (m > 0) {
      std::string uv = values(m, base + 1000, 1) + values(m, base + 2000, 2);
      if (region_records_kept >= 0) uv.resize(static_cast<std::size_t>(region_records_kept) * 72);
      s += uv;
    } else {
      s += record("") + record("");
    }
    return s;
  }
};

class TideComponents : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_reset_for_tests();
    iomsg_reset_for_tests();
    coz_reset_for_tests();
    set_length_tag_tide(2);
    setver(-1);
    out_.clear();
  }
  void open_in(const std::string& bytes) {
    write_file(dir_.file("c.u"), bytes);
    ASSERT_EQ(open_unit(21, OpenSpec{.file = dir_.file("c.u"), .status = "OLD", .form = "UNFORMATTED"}), 0);
    save_file_name(21, "sets.u");
  }

  ScratchDir dir_;
  CapturedOutput out_;
};

TEST_F(TideComponents, BoundaryValuesOnlyFromAFullSet) {
  open_in(ConstituentSet{}.bytes());
  Text tag = text("M2", 2);
  tgetoz(21, "A", tag);
  EXPECT_EQ(tag, "M2");
  // Two Z records are stored, positions 1 to 16; the third is passed over.
  EXPECT_EQ(zoz_value(0, 16), Cell(16, -16));
  EXPECT_EQ(zoz_value(0, 17), Cell(0, 0));
  EXPECT_EQ(zoz_value(1, -2), Cell(1002, 1));  // the sign of a reference is ignored
  EXPECT_EQ(zoz_value(2, 3), Cell(2003, 2));
  EXPECT_EQ(zoz_value(1, -5), Cell(-1, -1));  // pool position 1005: the padding of U
  const CozControl c = cozc();
  EXPECT_EQ(c.z_need * 1000 + c.z_boundary * 10 + c.m_need, 10103);
  EXPECT_EQ(trimmed(c.tag), "M2");
  EXPECT_EQ(out_.text(),
            " <TGETOZ>>> Log.unit 21, tide M2, option A. Number of values read: \n"
            " <TGETOZ>>> Z act.bound.:  10, Z o.o.area:   0, M act.bound.:   3\n");
}

TEST_F(TideComponents, SetsByTagAnyTagAndAbsentTag) {
  ConstituentSet m2, s2, k1;
  s2.tag = "S2", s2.base = 100, s2.file_option = "A", s2.m = 0;
  k1.tag = "K1", k1.base = 200, k1.n = 9, k1.b = 9;
  open_in(m2.bytes() + s2.bytes() + k1.bytes());

  Text tag = text("K1", 2);
  tgetoz(21, "F", tag);
  EXPECT_EQ(zoz_value(0, 9), Cell(209, -9));
  EXPECT_EQ(zoz_value(2, 1), Cell(2201, 2));
  // The file is at its end: the next request rewinds once and finds S2 from the start.
  assign(tag, "S2");
  out_.clear();
  tgetoz(21, "F", tag);
  EXPECT_EQ(zoz_value(0, 20), Cell(120, -20));
  EXPECT_EQ(out_.text(),
            " <TGETOZ>>> Log.unit 21, tide S2, option F. Number of values read: \n"
            " <TGETOZ>>> Z act.bound.:  10, Z o.o.area:  10, M act.bound.:   0\n"
            " <TGETOZ>W> No O-O-area data on the file !\n");
  Text any = text("..", 2);
  tgetoz(21, "F", any);  // the next set, whatever its tag
  EXPECT_EQ(any, "K1");

  out_.clear();
  assign(tag, "O1");
  tgetoz(21, "F", tag);  // to the end, rewound, to the end again
  EXPECT_EQ(tag, "EF");
  EXPECT_EQ(out_.text(), " <TGETOZ>W> End of file, unit 21\n");
  EXPECT_EQ(trimmed(cozc().tag), "K1");
}

TEST_F(TideComponents, FailureExits) {
  ConstituentSet bad_z, bad_m, short_u, no_m;
  bad_z.z_letter = "Q";
  bad_m.m_letter = "X";
  short_u.region_records_kept = 1;  // one U record, no V record
  no_m.m = 0;
  struct Row {
    int line;
    std::string file;
    std::string_view code;
    std::string message;
  } rows[] = {
      {__LINE__, record("short"), "ED", " <TGETOZ>E> Cannot recognize data.\n"},
      {__LINE__, bad_z.bytes(), "EC", " <TGETOZ>E> Unrecognized component Q\n"},
      {__LINE__, bad_m.bytes(), "EC", " <TGETOZ>E> Unrecognized component X\n"},
      {__LINE__, ConstituentSet{}.bytes().substr(0, 24 + 3 * 72) + record("M"), "ED",
       " <TGETOZ>E> Cannot recognize data.\n"},
      {__LINE__, short_u.bytes(), "ET", " <TGETOZ>E> EOF. Truncated component: V\n"},
      {__LINE__, no_m.bytes().substr(0, no_m.bytes().size() - 8), "ET", " <TGETOZ>E> EOF. Truncated component: Z\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    open_in(r.file);
    out_.clear();
    Text tag = text("M2", 4);
    tgetoz(21, "F", tag);
    close_unit(21);
    EXPECT_EQ(tag, text(r.code, 4));
    EXPECT_EQ(out_.text(), r.message + " <TGETOZ>I> Problem file unit 21: " + text("sets.u", 32) + "\n");
  }
}

TEST_F(TideComponents, ASetTooLargeBeforeAndAfterExtcoz) {
  ConstituentSet big;
  big.n = 1001, big.b = 1001;
  open_in(big.bytes());
  Text tag = text("M2", 2);
  // The Z values do not fit at the first check already: nothing is stored past the pool.
  EXPECT_THROW(tgetoz(21, "F", tag), StopRun);
  EXPECT_EQ(out_.text(),
            " <CHKCOZ>>> Main program must include COMMON /COZ/ array(  2002)  real*4\n"
            " <CHKCOZ>T> Insufficient space in Common /COZ/.\n"
            " <CHKCOZ>I> Allocate in MAIN: COMMON /COZ/ array(  2002) and issue CALL EXTCOZ (1001,   0)\n");
  EXPECT_EQ(zoz_value(1, 1), Cell(0, 0));  // U untouched

  out_.clear();
  extcoz(1001, 100);
  rewind_unit(21);
  tgetoz(21, "F", tag);
  EXPECT_EQ(tag, "M2");
  EXPECT_EQ(zoz_value(0, 1001), Cell(1001, -1001));
  EXPECT_EQ(zoz_value(1, 3), Cell(1003, 1));
  EXPECT_EQ(zoz_value(2, 3), Cell(2003, 2));
  // chkcoz names the pool once for each pair (Z need, M need) that passes 1000 or 100.
  EXPECT_EQ(out_.text(),
            " <EXTCOZ>>> Common /COZ/ size for \"Z\" \"M\": 1001  100\n"
            " <EXTCOZ>>> Main program must include COMMON /COZ/ array(  2402)  real*4\n"
            " <CHKCOZ>>> Main program must include COMMON /COZ/ array(  2014)  real*4\n"
            " <TGETOZ>>> Log.unit 21, tide M2, option F. Number of values read: \n"
            " <TGETOZ>>> Z act.bound.:1001, Z o.o.area:   0, M act.bound.:   3\n");

  // Too many U and V values: the second check, once the M count is known, stops.
  ConstituentSet wide;
  wide.m = 101;
  close_unit(21);
  open_in(wide.bytes());
  out_.clear();
  EXPECT_THROW(tgetoz(21, "F", tag), StopRun);
  EXPECT_EQ(out_.text(),
            " <CHKCOZ>>> Main program must include COMMON /COZ/ array(   444)  real*4\n"
            " <CHKCOZ>T> Insufficient space in Common /COZ/.\n"
            " <CHKCOZ>I> Allocate in MAIN: COMMON /COZ/ array(   444) and issue CALL EXTCOZ (  20, 101)\n");
}

TEST_F(TideComponents, PoolValuesOutsideTheRegions) {
  struct Row {
    int line, component, reference;
  } rows[] = {{__LINE__, 2, 200}, {__LINE__, 3, 1}, {__LINE__, -1, 1}, {__LINE__, 0, 0}, {__LINE__, 0, -2147483647 - 1},
              {__LINE__, 1, 1101}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(zoz_value(r.component, r.reference), Cell(0, 0));
  }
  EXPECT_EQ(out_.text(),  // the first five only
            " <ZozVal>E> Out of common. Comp., stor.ref.:2       200\n"
            " <ZozVal>E> Out of common. Comp., stor.ref.:3         1\n"
            " <ZozVal>E> Out of common. Comp., stor.ref.:*         1\n"
            " <ZozVal>E> Out of common. Comp., stor.ref.:0         0\n"
            " <ZozVal>E> Out of common. Comp., stor.ref.:0**********\n");
  out_.clear();
  extcoz(1200, 100);
  extcoz(10, 5);
  EXPECT_EQ(out_.text(),
            " <EXTCOZ>>> Common /COZ/ size for \"Z\" \"M\": 1200  100\n"
            " <EXTCOZ>>> Main program must include COMMON /COZ/ array(  2800)  real*4\n"
            " <EXTCOZ>>> Common /COZ/ size for \"Z\" \"M\":   10    5\n");
  set_length_tag_tide(20);
  EXPECT_EQ(cozc().tag_length, 16);
}

TEST_F(TideComponents, BoundaryOnlyRequestOnASetWithNoBoundaryValues) {
  ConstituentSet open_ocean;
  open_ocean.b = 0;
  ConstituentSet next;
  next.tag = "S2";
  open_in(open_ocean.bytes() + next.bytes());
  Text tag = text("S2", 2);
  tgetoz(21, "A", tag);  // all three Z records of the first set are passed over
  EXPECT_EQ(tag, "S2");
  EXPECT_EQ(cozc().z_need, 10);
}

// Three sections M2 (grid M), S2 (grid Z), K1 (grid M) of 2 x 1 cells, versions 1 to 3.
std::string three_sections(std::vector<std::vector<Cell>>& grids) {
  std::string s;
  const char* tags[] = {"M2", "S2", "K1"};
  for (int q = 0; q < 3; ++q) {
    test::Section sec;
    sec.k = 2, sec.l = 1, sec.tag = tags[q], sec.version = q + 1, sec.typ = q == 1 ? "Z" : "M";
    sec.cells = {{float(q), 1.0f}, {float(q), 2.0f}};
    grids.push_back({Cell(float(q), 1), Cell(float(q), 2)});
    s += sec.unformatted();
  }
  return s;
}

TEST_F(TideComponents, ComplexSectionsByTag) {
  std::vector<std::vector<Cell>> grids;
  open_in(three_sections(grids));
  std::vector<Cell> g(2);
  Text typ = text(".", 1), tag = text("S2", 2);
  tgetzm(21, g, 2, 1, typ, tag);  // passes over M2 on grid M: each header against "."
  EXPECT_EQ(g, grids[1]);
  EXPECT_EQ(tag, "S2");
  EXPECT_EQ(typ, "Z");
  EXPECT_EQ(cver_version(), 2);
  assign(typ, "M"), assign(tag, "K1");
  tgetzm(21, g, 2, 1, typ, tag);  // rewound: M2 passes, S2 is refused
  EXPECT_EQ(tag, "ET");
  EXPECT_EQ(typ, "M");
  assign(typ, "."), assign(tag, "..");
  tgetzm(21, g, 2, 1, typ, tag);  // any tag from the start: the first
  EXPECT_EQ(g, grids[0]);
  EXPECT_EQ(tag, "..");
  EXPECT_EQ(out_.text(),
            " <TGETZM>>> CMPX array, grid Z, f.unit 21: sets.u -->S2  #     2 \n"
            " <TGETZM>E> Requested grid \"M\", encountered \"Z\"\n"
            " <TGETZM>>> CMPX array, grid M, f.unit 21: sets.u -->M2  #     1 \n");
}

TEST_F(TideComponents, AbsentTagThenTheRepeatedSearchStops) {
  std::vector<std::vector<Cell>> grids;
  open_in(three_sections(grids));
  std::vector<Cell> g(2);
  Text typ = text(".", 1), tag = text("O1", 2);
  tgetzm(21, g, 2, 1, typ, tag);
  EXPECT_EQ(tag, "EF");
  EXPECT_EQ(cver_version(), 3);
  EXPECT_THROW(tgetzm(21, g, 2, 1, typ, tag), StopRun);  // "EF" again: no rewind
  EXPECT_EQ(out_.text(),
            " <TGETZM>E> End of file, log.unit 21 after     3 sections.\n"
            " <TGETZM>E> End of file, log.unit 21 after     0 sections.\n"
            " preventing inf.loop\n");
}

}  // namespace
}  // namespace kvax
