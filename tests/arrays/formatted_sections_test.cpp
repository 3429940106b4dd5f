// Formatted complex sections: the header and data lines column for column, read-back,
// status codes and messages.
#include <gtest/gtest.h>

#include <vector>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/units.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::ScratchDir;
using test::write_file;

class FormattedSections : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_reset_for_tests();
    set_length_tag_tide(2);
    setver(-1);
    out_.clear();
  }
  void TearDown() override { set_length_tag_tide(2); }

  std::string write_section(int k, int l, std::string_view tag, int version, std::string_view typ = "M") {
    const std::string file = dir_.file("s.f");
    EXPECT_EQ(open_unit(31, OpenSpec{.file = file}), 0);
    save_file_name(31, "out.f");
    setver(version);
    const auto g = test::sample_grid(k, l);
    outzm_f(31, g, k, l, typ, tag);
    close_unit(31);
    return read_file(file);
  }
  void open_in(const std::string& file) {
    ASSERT_EQ(open_unit(21, OpenSpec{.file = file, .status = "OLD"}), 0);
    save_file_name(21, "in.f");
  }

  ScratchDir dir_;
  CapturedOutput out_;
};

TEST_F(FormattedSections, HeaderAndRowsColumnForColumn) {
  EXPECT_EQ(write_section(3, 2, "M2", 7),
            "         3         2 M CMPX M2          7\n"
            "  4.0000E+00 -1.5000E+00  5.0000E+00 -2.0000E+00  6.0000E+00 -2.5000E+00\n"
            "  1.0000E+00  0.0000E+00  2.0000E+00 -5.0000E-01  3.0000E+00 -1.0000E+00\n");
  EXPECT_EQ(out_.text(), " <OutzmF>>> CMPX array, grid M, f.unit 31: out.f -->M2  #     7 \n");

  const std::string five = write_section(5, 1, "M2", -1);
  EXPECT_EQ(five.substr(42).size(), 121u);
  const std::string six = write_section(6, 1, "M2", -1);
  EXPECT_EQ(six.substr(42).find('\n'), 120u);
  EXPECT_EQ(six.substr(42 + 121).size(), 25u);
  EXPECT_EQ(write_section(0, 2, "M2", -1), "         0         2 M CMPX M2         -1\n\n\n");
  EXPECT_EQ(write_section(2, 0, "M2", -1), "         2         0 M CMPX M2         -1\n");
  set_length_tag_tide(4);
  EXPECT_EQ(write_section(1, 1, "K1", 3).substr(0, 44), "         1         1 M CMPX K1            3\n");
}

TEST_F(FormattedSections, RoundTripForTagLengthsOneTwoAndFour) {
  for (auto [n, tag] : {std::pair{1, "Q"}, std::pair{2, "M2"}, std::pair{4, "M2AB"}}) {
    SCOPED_TRACE(n);
    set_length_tag_tide(n);
    write_section(4, 3, tag, 11, "Z");
    open_in(dir_.file("s.f"));
    int k = 0, l = 0;
    getsiz_f(21, k, l);
    std::vector<Cell> g(static_cast<std::size_t>(k * l));
    Text typ = text(".", 1), got = text("..", static_cast<std::size_t>(n));
    getzm_f(21, g, k, l, typ, got);
    int version = 0;
    getver_f(version);
    close_unit(21);
    EXPECT_EQ(got, tag);
    EXPECT_EQ(typ, "Z");
    EXPECT_EQ(version, 11);
    EXPECT_EQ(g, test::sample_grid(4, 3));  // these values have five significant digits
  }
}

TEST_F(FormattedSections, ValuesKeepFiveSignificantDigits) {
  const std::vector<Cell> g = {Cell(1.234567f, -9.876543e-20f), Cell(3.14159265e30f, 0.0f)};
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("v.f")}), 0);
  outzm_f(31, g, 2, 1, "M", "M2");
  close_unit(31);
  open_in(dir_.file("v.f"));
  std::vector<Cell> back(2);
  Text typ = text(".", 1), tag = text("..", 2);
  getzm_f(21, back, 2, 1, typ, tag);
  EXPECT_EQ(back[0], Cell(1.2346f, -9.8765e-20f));
  EXPECT_EQ(back[1], Cell(3.1416e30f, 0.0f));
}

TEST_F(FormattedSections, EmptyFileAndHeaderStatusCodes) {
  write_file(dir_.file("e.f"), "");
  open_in(dir_.file("e.f"));
  int k = 4, l = 5;
  getsiz_f(21, k, l);
  std::vector<Cell> g(1);
  Text typ = text(".", 1), tag = text("..", 2);
  getzm_f(21, g, 1, 1, typ, tag);
  int version = 0;
  getver_f(version);
  close_unit(21);
  EXPECT_EQ(k * 10 + l, 45);
  EXPECT_EQ(tag, "EF");
  EXPECT_EQ(version, -1);
  EXPECT_EQ(out_.text(), " <GetsiF>E> End of file, log.unit 21\n"
                         " <GetzmF>E> End of file, log.unit 21. Sections read:     0\n"
                         " <GetveF>W> Bad version number due to recent read problem.\n");
  struct Row {
    int line;
    std::string file;
    std::string_view typ_in;
    std::string_view code;
    std::string_view message;
  } rows[] = {
      {__LINE__, "        ER         1 M CMPX M2          0\n", ".", "ER", " <GetzmF>E> Cannot recognize data\n"},
      {__LINE__, "         1         1 M FLAG M2          0\n  1.0000E+00\n", ".", "EC",
       " <GetzmF>E> Requested data CMPX Encountered FLAG\n"},
      {__LINE__, "         1         1 M CMPX M2          0\n", "Z", "ET",
       " <GetzmF>E> Requested grid \"Z\", encountered \"M\"\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    write_file(dir_.file("h.f"), r.file);
    open_in(dir_.file("h.f"));
    out_.clear();
    Text t = text(r.typ_in, 1);
    assign(tag, "..");
    getzm_f(21, g, 1, 1, t, tag);
    close_unit(21);
    EXPECT_EQ(tag, r.code);
    EXPECT_EQ(t, r.typ_in);
    EXPECT_EQ(out_.text(), r.message);
  }
}

TEST_F(FormattedSections, ShortLinesTruncationAndBadData) {
  // A short data line reads as padded with blanks: the missing values are zero.
  write_file(dir_.file("p.f"), "         2         2 M CMPX M2          1\n  1.0000E+00\n         2.0         3.0         4.0         5.0\n");
  open_in(dir_.file("p.f"));
  std::vector<Cell> g(4, Cell(7, 7));
  Text typ = text(".", 1), tag = text("..", 2);
  getzm_f(21, g, 2, 2, typ, tag);
  close_unit(21);
  EXPECT_EQ(g[2], Cell(1, 0));
  EXPECT_EQ(g[3], Cell(0, 0));
  EXPECT_EQ(g[0], Cell(2, 3));

  write_file(dir_.file("t.f"), "         1         5 M CMPX M2          1\n     1.0E+00     2.0E+00\n     1.0E+00\n");
  open_in(dir_.file("t.f"));
  out_.clear();
  std::vector<Cell> g5(5);
  EXPECT_THROW(getzm_f(21, g5, 1, 5, typ, tag), StopRun);
  EXPECT_EQ(out_.text(), " <GetzmF>T> Data truncated after    2 operations.\n");
  close_unit(21);

  write_file(dir_.file("b.f"), "         1         1 M CMPX M2          1\n     1.0E+00     x.0E+00\n");
  open_in(dir_.file("b.f"));
  try {
    getzm_f(21, g5, 1, 1, typ, tag);
    FAIL();
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Illegal character in numeric input\n? READ(UNIT=21,...\n");
  }
}

TEST_F(FormattedSections, TagRequestsAndTheSearch) {
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("two.f")}), 0);
  const std::vector<Cell> a = {Cell(1, 2)}, b = {Cell(3, 4)};
  setver(1);
  outzm_f(31, a, 1, 1, "M", "M2");
  setver(2);
  outzm_f(31, b, 1, 1, "M", "S2");
  close_unit(31);
  open_in(dir_.file("two.f"));
  out_.clear();
  std::vector<Cell> g(1);
  Text typ = text(".", 1), tag = text("S2", 2);
  getzm_f(21, g, 1, 1, typ, tag);
  EXPECT_EQ(tag, "M2");
  EXPECT_EQ(out_.text(), " <GetzmF>E> Requested tag S2, encountered M2\n"
                         " <GetzmF>>> CMPX array, grid M, f.unit 21: in.f -->M2  #     1 \n");
  rewind_unit(21);
  int version = 0;
  assign(tag, "S2");
  lgetzm_f(21, g, 1, 1, typ, tag, version);
  EXPECT_EQ(tag, "S2");
  EXPECT_EQ(g[0], b[0]);
  rewind_unit(21);
  out_.clear();
  assign(tag, "O1");
  lgetzm_f(21, g, 1, 1, typ, tag, version);
  EXPECT_EQ(tag, "EV");
  EXPECT_EQ(version, 2);
  EXPECT_EQ(out_.text(), " <Lgetzm>W> End of file, log.unit 21. Sections read:     2\n"
                         " <  \"   >>> CMPX array, grid M, f.unit 21: in.f -->O1  #     2 \n");
}

TEST_F(FormattedSections, ScalingAndAReplacedFormat) {
  ASSERT_EQ(open_unit(31, OpenSpec{.file = dir_.file("n.f")}), 0);
  const std::vector<Cell> g = {Cell(2, -4)};
  outzmn_f(31, g, 0.0f, 1, 1, "M", "M2");
  outzmn_f(31, g, 1.0e-31f, 1, 1, "M", "M2");
  EXPECT_EQ(out_.text(), " <OutzNF>E> Scaling by zero. No output.\n <OutzNF>E> Scaling by zero. No output.\n");
  outzmn_f(31, g, 2.0f, 1, 1, "M", "M2");
  outzm_fmt("(1p,5e24.4)");
  outzm_f(31, g, 1, 1, "M", "M2");
  outzm_fmt("(1p,10e12.4,:)");
  close_unit(31);
  EXPECT_EQ(read_file(dir_.file("n.f")),
            "         1         1 M CMPX M2         -1\n"
            "  1.0000E+00 -2.0000E+00\n"
            "         1         1 M CMPX M2         -1\n"
            "              2.0000E+00             -4.0000E+00\n");
}

}  // namespace
}  // namespace kvax
