// FLAG, REAL, DBLE and LOG1 sections in both representations: exact bytes and lines, round
// trips of every element type, the peeks, the point list, header failures and refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

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

// The writers and readers of one element type, unformatted and formatted.
template <class T>
struct Members {
  void (*out)(int, std::span<const T>, int, int, std::string_view);
  void (*out_f)(int, std::span<const T>, int, int, std::string_view);
  void (*get)(int, std::span<T>, int, int, Text&);
  void (*get_f)(int, std::span<T>, int, int, Text&);
};
const Members<Flag> flag_members{outim, outim_f, getim, getim_f};
const Members<float> real_members{outrm, outrm_f, getrm, getrm_f};
const Members<double> dble_members{outdm, outdm_f, getdm, getdm_f};
const Members<Logical1> log1_members{outlm, outlm_f, getlm, getlm_f};

class TypedSections : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_reset_for_tests();
    iomsg_reset_for_tests();
    out_.clear();
  }

  // Writes with the writer into a file of the scratch directory; returns its bytes.
  template <class W>
  std::string written(bool formatted, W&& write) {
    const std::string file = dir_.file(formatted ? "s.f" : "s.u");
    EXPECT_EQ(open_unit(31, OpenSpec{.file = file, .form = formatted ? "FORMATTED" : "UNFORMATTED"}), 0);
    save_file_name(31, formatted ? "out.f" : "out.u");
    write();
    close_unit(31);
    return read_file(file);
  }
  void open_in(const std::string& bytes, bool formatted) {
    const std::string file = dir_.file(formatted ? "in.f" : "in.u");
    write_file(file, bytes);
    ASSERT_EQ(open_unit(21, OpenSpec{.file = file, .status = "OLD", .form = formatted ? "FORMATTED" : "UNFORMATTED"}),
              0);
    save_file_name(21, formatted ? "in.f" : "in.u");
  }

  // Writes a K x L grid in both representations and reads it back with the readers.
  template <class T>
  void round_trip(const Members<T>& m, const std::vector<T>& g, int k, int l, const std::vector<T>& expected_f) {
    for (bool formatted : {false, true}) {
      SCOPED_TRACE(formatted ? "formatted" : "unformatted");
      const std::string bytes = written(formatted, [&] { (formatted ? m.out_f : m.out)(31, g, k, l, "Z"); });
      open_in(bytes, formatted);
      std::vector<T> back(g.size());
      Text typ = text(".", 1);
      (formatted ? m.get_f : m.get)(21, back, k, l, typ);
      close_unit(21);
      EXPECT_EQ(typ, "Z");
      EXPECT_EQ(back, formatted ? expected_f : g);
    }
  }

  ScratchDir dir_;
  CapturedOutput out_;
};

TEST_F(TypedSections, UnformattedBytesAndReportOfEveryWriter) {
  const std::string header_flag = "0D 00 00 00 03 00 00 00 02 00 00 00 4D 46 4C 41 47 0D 00 00 00";
  const std::vector<Flag> f = {1, 2, 3, 4, 5, -6};
  std::string b = written(false, [&] { outim(31, f, 3, 2, "M"); });
  EXPECT_EQ(hex(b.substr(0, 21)), header_flag);
  EXPECT_EQ(b.substr(21), record(i32(4) + i32(5) + i32(-6)) + record(i32(1) + i32(2) + i32(3)));

  const std::vector<double> d = {0.5, -0.25};
  b = written(false, [&] { outdm(31, d, 1, 2, "Z"); });
  EXPECT_EQ(b.substr(12, 5), "ZDBLE");
  EXPECT_EQ(b.substr(21), record(std::string(reinterpret_cast<const char*>(&d[1]), 8)) +
                              record(std::string(reinterpret_cast<const char*>(&d[0]), 8)));

  const std::vector<Logical1> lg = {1, 0, 0, 1};
  b = written(false, [&] { outlm(31, lg, 2, 2, "M"); });
  EXPECT_EQ(b.substr(21), record(std::string("\0\1", 2)) + record(std::string("\1\0", 2)));
  std::vector<Logical1> work(1);  // shorter than a row: used piece by piece
  EXPECT_EQ(written(false, [&] { outiml(31, f, 3, 2, "M", work); }).substr(21),
            record(std::string("\1\1\1", 3)) + record(std::string("\1\1\1", 3)));
  const std::vector<float> r = {2.0f};
  EXPECT_EQ(written(false, [&] { outrm(31, r, 1, 1, "M"); }).substr(12, 5), "MREAL");
  EXPECT_EQ(out_.text(),
            " <OUTIM->>> FLAG array, grid M 3x2, f.unit 31: out.u \n"
            " <OUTDM->>> DBLE array, grid Z 1x2, f.unit 31: out.u \n"
            " <OUTLM->>> LOG1 array, grid M, f.unit 31: out.u \n"
            " <OUTIML>>> LOG1 array, grid M 3x2, f.unit 31: out.u \n"
            " <OUTRM->>> REAL array, grid M 1x1, f.unit 31: out.u \n");
}

TEST_F(TypedSections, FormattedLinesAndReportOfEveryWriter) {
  const std::vector<Flag> f = {1, -2, 3, 40, 500000, 0};
  EXPECT_EQ(written(true, [&] { outim_f(31, f, 3, 2, "M"); }),
            "    3    2 M FLAG\n"
            "    40500000     0\n"
            "     1    -2     3\n");
  const std::vector<float> r = {1.5f, -2.0f, 1.0e-3f};
  EXPECT_EQ(written(true, [&] { outrm_f(31, r, 3, 1, "Z"); }),
            "    3    1 Z REAL\n  1.5000E+00 -2.0000E+00  1.0000E-03\n");
  const std::vector<double> d = {1.5, 123456.0};
  EXPECT_EQ(written(true, [&] { outdm_f(31, d, 1, 2, "M"); }), "    1    2 M DBLE\n  1.2346D+05\n  1.5000D+00\n");
  const std::vector<Logical1> lg = {1, 0, 3};
  EXPECT_EQ(written(true, [&] { outlm_f(31, lg, 3, 1, "M"); }), "    3    1 M LOG1\nTFT\n");
  std::vector<Logical1> work(3);
  EXPECT_EQ(written(true, [&] { outiml_f(31, f, 3, 2, "M", work); }), "    3    2 M LOG1\nTTF\nTTT\n");
  EXPECT_EQ(out_.text(),
            " <OutimF>>> FLAG array, grid M, f.unit 31: out.f \n"
            " <OutrmF>>> REAL array, grid Z, f.unit 31: out.f \n"
            " <OutdmF>>> DBLE array, grid M, f.unit 31: out.f \n"
            " <OutlmF>>> LOG1 array, grid M, f.unit 31: out.f \n"
            " <OutiLF>>> LOG1 array, grid M, f.unit 31: out.f \n"
            " <OutiLF>>> L(i,j)=I(i,j).ne.0, size:     3    2\n");

  // Twenty integers a line, 120 logicals a line; the last line of a row is not padded.
  std::vector<Flag> wide(21, 7);
  std::string text_f = written(true, [&] { outim_f(31, wide, 21, 1, "M"); });
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "     7";
  EXPECT_EQ(text_f.substr(18), twenty + "\n     7\n");
  std::vector<Logical1> row121(121, 0);
  row121[120] = 1;
  text_f = written(true, [&] { outlm_f(31, row121, 121, 1, "M"); });
  EXPECT_EQ(text_f.substr(18), std::string(120, 'F') + "\nT\n");
}

TEST_F(TypedSections, RoundTripOfEveryElementType) {
  round_trip(flag_members, {0, -1, 99999, -99999, 999999, 12}, 3, 2, {0, -1, 99999, -99999, 999999, 12});
  round_trip(real_members, {1.2345678f, -9.8765e-20f, 3.0e30f, 0.0f}, 2, 2, {1.2346f, -9.8765e-20f, 3.0e30f, 0.0f});
  round_trip(dble_members, {1.23456789012, -2.5e-300, 7.0}, 1, 3, {1.2346, -2.5e-300, 7.0});
  std::vector<Logical1> lg(121 * 2, 0);
  for (std::size_t i = 0; i < lg.size(); i += 3) lg[i] = 1;
  round_trip(log1_members, lg, 121, 2, lg);  // rows of 121: a line of 120 and a line of 1
}

TEST_F(TypedSections, NoCellsPerRowAndHeadersThatDoNotFit) {
  const std::vector<float> none;
  EXPECT_EQ(written(true, [&] { outrm_f(31, none, 0, 2, "M"); }), "    0    2 M REAL\n\n\n");
  EXPECT_EQ(written(false, [&] { outrm(31, none, -1, 2, "M"); }).substr(21), record("") + record(""));
  open_in("    0    2 M REAL\n\n\n", true);
  Text typ = text(".", 1);
  std::vector<float> g;
  getrm_f(21, g, 0, 2, typ);
  Text typ2 = text(".", 1);
  getrm_f(21, g, 0, 2, typ2);  // both empty rows were read: nothing is left
  close_unit(21);
  EXPECT_EQ(typ, "M");
  EXPECT_EQ(typ2, ".");

  out_.clear();
  const std::vector<Flag> one(1);
  std::vector<Logical1> work(1);
  write_file(dir_.file("s.f"), "");
  EXPECT_EQ(written(true,
                    [&] {
                      outim_f(31, one, 100000, 0, "M");
                      outrm_f(31, none, 1, 100000, "M");
                      outiml_f(31, one, -10000, 1, "M", work);
                    }),
            "");
  EXPECT_EQ(out_.text(),
            " <OutimF>E> Grid too large for this header:      100000          0\n"
            " <OutrmF>E> Grid too large for this header:           1     100000\n"
            " <OutiLF>E> Grid too large for this header:      -10000          1\n");
}

TEST_F(TypedSections, HeaderFailuresRefusalsAndStatusLetters) {
  struct Row {
    int line;
    bool formatted;
    std::string file;
    std::string_view typ_in;
    void (*get)(int, std::span<float>, int, int, Text&);
    std::string_view typ_out;
    std::string_view message;
  } rows[] = {
      {__LINE__, false, "", ".", getrm, "e", " <GETRM->E> EOF unit 21\n"},
      {__LINE__, false, record("short"), "M", getrm, "r", " <GETRM->E> ERR unit 21\n"},
      {__LINE__, false, record(i32(1) + i32(1) + "MDBLE"), ".", getrm, ".",
       " <GETRM->E> Requested data REAL Encountered DBLE\n"},
      {__LINE__, false, record(i32(1) + i32(1) + "MREAL"), "Z", getrm, "Z",
       " <GETRM->E> Requested grid \"Z\", encountered \"M\"\n"},
      {__LINE__, true, "", "M", getrm_f, "M", " <GetrmF>E> EOF unit 21\n"},
      {__LINE__, true, "    x    1 M REAL\n", "M", getrm_f, "M", " <GetrmF>E> ERR unit 21\n"},
      {__LINE__, true, "    1    1 M FLAG\n", ".", getrm_f, ".", " <GETRM->E> Requested data REAL Encountered FLAG\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    open_in(r.file, r.formatted);
    out_.clear();
    std::vector<float> g(1, 9.0f);
    Text typ = text(r.typ_in, 1);
    r.get(21, g, 1, 1, typ);
    close_unit(21);
    EXPECT_EQ(typ, r.typ_out);
    EXPECT_EQ(g[0], 9.0f);
    EXPECT_EQ(out_.text(), r.message);
  }
  // getlm and the formatted readers carry no status letter; getim, getdm and getlmi do.
  open_in("", false);
  Text typ = text("M", 1);
  std::vector<Logical1> lg(1);
  getlm(21, lg, 1, 1, typ);
  EXPECT_EQ(typ, "M");
  std::vector<Flag> fl(1);
  getlmi(21, fl, 1, 1, typ, lg);
  EXPECT_EQ(typ, "e");
  close_unit(21);
}

TEST_F(TypedSections, DoubleReaderTakesRealAndComplexHeaders) {
  for (std::string_view word : {"DBLE", "REAL", "CMPX"}) {
    SCOPED_TRACE(word);
    open_in("    2    1 Z " + std::string(word) + "\n  1.5000D+00 -2.5000E-01\n", true);
    out_.clear();
    std::vector<double> g(2);
    Text typ = text("?", 1);
    getdm_f(21, g, 2, 1, typ);
    close_unit(21);
    EXPECT_EQ(g, (std::vector<double>{1.5, -0.25}));
    EXPECT_EQ(out_.text(), " <GetdmF>>> " + std::string(word) + " array, grid Z, f.unit 21: in.f \n");
  }
  open_in(written(false, [&] { outdm(31, std::vector<double>{1.0}, 1, 1, "M"); }), false);
  out_.clear();
  std::vector<float> g(1);
  Text typ = text(".", 1);
  getrm(21, g, 1, 1, typ);  // only REAL
  close_unit(21);
  EXPECT_EQ(out_.text(), " <GETRM->E> Requested data REAL Encountered DBLE\n");
  EXPECT_EQ(getxxx_errno(), 2);
}

TEST_F(TypedSections, LogicalsIntoIntegerGrids) {
  open_in("    4    2 M LOG1\nTtF \nT\n", true);
  std::vector<Flag> g(8, 9);
  std::vector<Logical1> work(3);  // shorter than the row of 4
  Text typ = text(".", 1);
  getlmi_f(21, g, 4, 2, typ, work);
  close_unit(21);
  EXPECT_EQ(g, (std::vector<Flag>{1, 0, 0, 0, 1, 0, 0, 0}));  // row 2 first in the file
  EXPECT_EQ(out_.text(),
            " <Getlmi>>> LOG1 array, grid M, f.unit 21: in.f \n"
            " <Getlmi>>> {F,T}(i,j) -> {0,1}(i,j), size:     4    2 formatted, count(flg=1):         2\n");

  out_.clear();
  const std::vector<Flag> ints = {0, 5, -3, 0};
  std::vector<Logical1> row(2);
  open_in(written(false, [&] { outiml(31, ints, 2, 2, "Z", row); }), false);
  std::vector<Flag> back(4, 9);
  typ = text(".", 1);
  getlmi(21, back, 2, 2, typ, std::span<Logical1>());  // no work row: one of its own
  close_unit(21);
  EXPECT_EQ(back, (std::vector<Flag>{0, 1, 1, 0}));
  EXPECT_EQ(out_.text(),
            " <OUTIML>>> LOG1 array, grid Z 2x2, f.unit 31: out.u \n"
            " <GETLMI>>> LOG1 array, grid Z, f.unit 21: in.u \n"
            " <GETLMI>>> {F,T}(i,j) -> {0,1}(i,j), size:     2    2\n");
}

TEST_F(TypedSections, ReadersStayWithinTheGrid) {
  // Row records longer than K drop their extra elements; a grid smaller than K x L takes
  // the rows it holds.
  const std::string file =
      record(i32(3) + i32(2) + "MFLAG") + record(i32(4) + i32(5) + i32(6)) + record(i32(1) + i32(2) + i32(3));
  open_in(file, false);
  std::vector<Flag> g(4, 0);
  Text typ = text(".", 1);
  getim(21, g, 2, 2, typ);
  close_unit(21);
  EXPECT_EQ(g, (std::vector<Flag>{1, 2, 4, 5}));
  open_in(file, false);
  std::vector<Flag> small(3, 0);
  getim(21, small, 3, 2, typ);  // holds one row of 3
  close_unit(21);
  EXPECT_EQ(small, (std::vector<Flag>{4, 5, 6}));

  open_in(record(i32(2) + i32(1) + "MFLAG") + record(i32(1)), false);
  try {
    getim(21, g, 2, 1, typ);
    FAIL();
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Attempt to read past end of record\n? READ(UNIT=21,...\n");
  }
}

TEST_F(TypedSections, PeeksStepBackOverTheHeader) {
  const std::vector<float> r = {1.0f, 2.0f};
  open_in(written(false, [&] { outrm(31, r, 2, 1, "Z"); }), false);
  out_.clear();
  int k = 0, l = 0;
  Text typ = text("", 1), vartyp = text("", 4);
  getast(21, k, l, typ, vartyp);
  EXPECT_EQ(k * 10 + l, 21);
  EXPECT_EQ(typ + vartyp, "ZREAL");
  std::vector<float> back(2);
  Text want = text(".", 1);
  getrm(21, back, k, l, want);
  EXPECT_EQ(back, r);
  getast(21, k, l, typ, vartyp);
  EXPECT_EQ(typ, "e");
  close_unit(21);
  EXPECT_EQ(out_.text(),
            " <getast>>>            2           1 Z REAL\n"
            " <GETAST>>>    2   1 REAL data on grid \"Z\" on file unit 21\n"
            " <GETRM->>> REAL array, grid Z, f.unit 21: in.u \n"
            " <GETAST>E> End of file, log.unit 21\n");

  open_in(" 1440  720 M LOG1\n      1440       720 Z CMPX M2          1\n", true);
  out_.clear();
  getast_f(21, k, l, typ, vartyp);
  EXPECT_EQ(typ + vartyp, "MLOG1");
  getast_f(21, k, l, typ, vartyp);  // the same header again
  EXPECT_EQ(k, 1440);
  Text line = text("", 20);
  read_fmt(21, want_none, "(A)", line);
  getast_f(21, k, l, typ, vartyp);  // a complex header
  EXPECT_EQ(typ + vartyp, "ZCMPX");
  EXPECT_EQ(k * 10000 + l, 14400720);
  read_fmt(21, want_none, "(A)", line);
  getast_f(21, k, l, typ, vartyp);
  close_unit(21);
  EXPECT_EQ(typ, "e");
  EXPECT_EQ(out_.text(),
            " <GetasF>>>     1440     720 LOG1 data on grid \"M\" on file unit 21\n"
            " <GetasF>>>     1440     720 LOG1 data on grid \"M\" on file unit 21\n"
            " <GetasF>>>     1440     720 CMPX data on grid \"Z\" on file unit 21\n"
            " <GetasF>E> End of file, log.unit 21\n");
}

TEST_F(TypedSections, PointList) {
  const std::vector<float> r = {1.25f, -2.0f, 3.0f, 4.0f};
  const std::vector<Flag> f = {7, 8, 9, 10};
  EXPECT_EQ(written(true, [&] { outrmf_xyz(31, r, f, 2, 2, "Z"); }), "       0.5       0.5  1.250000E+00         7\n");
  EXPECT_EQ(written(true, [&] { outrmf_xyz(31, r, f, 2, 2, "M"); }),
            "       0.0       0.0  1.250000E+00         7\n"
            "       0.0       1.0 -2.000000E+00         8\n"
            "       1.0       0.0  3.000000E+00         9\n"
            "       1.0       1.0  4.000000E+00        10\n");
  // The flags of a smaller grid end the list where they end.
  EXPECT_EQ(written(true, [&] { outrmf_xyz(31, r, std::span<const Flag>(f).first(1), 2, 2, "M"); }),
            "       0.0       0.0  1.250000E+00         7\n");
  EXPECT_EQ(out_.text(), "");
}

}  // namespace
}  // namespace kvax
