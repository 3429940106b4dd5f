// Label location: the one rewind, options N and B, the end-of-input marker, the columns
// of options A, C, O and U, labels with trailing blanks, the trace lines and the settings.
#include <kvax/scan/label_location.h>

#include <gtest/gtest.h>

#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::ScratchDir;
using test::write_file;

class LabelLocation : public ::testing::Test {
 protected:
  void SetUp() override { label_location_reset_for_tests(); }
  void TearDown() override {
    close_all_units();
    label_location_reset_for_tests();
  }
  // The text as a file on unit 10, read from its start.
  void file(std::string_view text) {
    write_file(dir_.file("f.txt"), text);
    ASSERT_EQ(open_unit(10, OpenSpec{.file = dir_.file("f.txt"), .status = "OLD"}), 0);
  }
  // The next line of unit 10, or "<end>".
  std::string next_line() {
    Text line(32, ' ');
    if (read_fmt(10, want_end, "(A)", line) == Io::end) return "<end>";
    return std::string(trimmed(line));
  }
  void skip_lines(int n) {
    for (int i = 0; i < n; ++i) next_line();
  }

  ScratchDir dir_;
  CapturedOutput out_;
};

TEST_F(LabelLocation, ReadsOnThenRewindsOnce) {
  const std::string lines = "one\nSTART\ntwo\nthree\nfour\n";
  struct Row {
    int line;
    int skipped;
    std::string options;
    bool found;
    int located;
    std::string next;
  } rows[] = {
      {__LINE__, 0, " ", true, 2, "two"},
      {__LINE__, 0, "B", true, 2, "START"},
      {__LINE__, 0, "b", true, 2, "START"},
      // Only before the current position: found after the rewind, counted from the start.
      {__LINE__, 3, " ", true, 2, "two"},
      {__LINE__, 3, "B", true, 2, "START"},
      {__LINE__, 3, "N", false, 2, "<end>"},
      {__LINE__, 3, "n", false, 2, "<end>"},
      {__LINE__, 5, "N", false, 0, "<end>"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    file(lines);
    skip_lines(r.skipped);
    EXPECT_EQ(qloc_in_file(10, "START", r.options), r.found);
    EXPECT_EQ(located_in_file(), r.located);
    EXPECT_EQ(next_line(), r.next);
  }
  // Absent: the unit is left at its end, the lines read since the rewind counted.
  file(lines);
  skip_lines(2);
  EXPECT_FALSE(qloc_in_file(10, "STOP", ""));
  EXPECT_EQ(located_in_file(), 5);
  EXPECT_EQ(next_line(), "<end>");
  EXPECT_EQ(out_.text(), "");
}

TEST_F(LabelLocation, EndOfInputMarkerEndsTheSearchLikeTheEnd) {
  EXPECT_FALSE(qeoi_in_file("EOI", 1));  // the column was -1
  EXPECT_TRUE(qeoi_in_file("EOI  ", 1));
  // Behind the marker: not found, even after the rewind; the next read is after the marker.
  file("one\nEOI\nSTART\n");
  EXPECT_FALSE(qloc_in_file(10, "START", ""));
  EXPECT_EQ(located_in_file(), 1);
  EXPECT_EQ(next_line(), "START");
  // Before it, found; the marker only counts at its column.
  file("one\n EOI\nSTART\n");
  EXPECT_TRUE(qloc_in_file(10, "START", ""));
  EXPECT_EQ(located_in_file(), 3);
  EXPECT_FALSE(qeoi_in_file("EOI", 2));
  file("x EOI EOI\nSTART\n");  // only the first occurrence counts
  EXPECT_TRUE(qloc_in_file(10, "START", ""));
  EXPECT_FALSE(qeoi_in_file("EOI", 0));  // switched off
  file("one\nEOI\nSTART\n");
  EXPECT_TRUE(qloc_in_file(10, "START", ""));
}

TEST_F(LabelLocation, WhereInTheLineTheLabelMayStand) {
  struct Row {
    int line;
    std::string text, label, options;
    int column;
    bool found;
  } rows[] = {
      {__LINE__, "LABEL rest", "LABEL", " ", 0, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", " ", 0, false},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "A", 0, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "C", 3, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "c", 3, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "C", 10, false},  // only the first occurrence
      {__LINE__, "xxLABELxxLABEL", "LABEL", "C", 0, false},   // column never set
      {__LINE__, "xxLABELxxLABEL", "LABEL", "AC", 2, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "ac", 3, true},
      {__LINE__, "xxLABELxxLABEL", "LABEL", "AC", 4, false},
      {__LINE__, "LABEL", "LABEL", "AC", 0, true},
      // Option U compares the line raised to upper case.
      {__LINE__, "label x", "LABEL", " ", 0, false},
      {__LINE__, "label x", "LABEL", "U", 0, true},
      {__LINE__, "label x", "label", "U", 0, false},
      // Option O searches "   L " and the label.
      {__LINE__, "   L START", "START", " ", 0, false},
      {__LINE__, "   L START", "START", "O", 0, true},
      {__LINE__, "    L START", "START", "O", 0, false},
      // A label field's trailing blanks must be matched by blanks (or the line's end).
      {__LINE__, "ABC", "AB ", " ", 0, false},
      {__LINE__, "AB", "AB ", " ", 0, true},
      {__LINE__, "AB x", "AB ", " ", 0, true},
      {__LINE__, "anything", "", " ", 0, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    file(r.text + "\n");
    qcolloc_in_file(r.column);
    EXPECT_EQ(qloc_in_file(10, r.label, r.options), r.found);
    close_unit(10);
  }
  // qcolloc_in_file compares with the column of the last match.
  file("xxLABEL\n");
  EXPECT_TRUE(qloc_in_file(10, "LABEL", "A"));
  EXPECT_TRUE(qcolloc_in_file(3));
  EXPECT_FALSE(qcolloc_in_file(1));
}

TEST_F(LabelLocation, TraceLines) {
  file("one\nxSTART\n");
  qcolloc_in_file(2);
  qeoi_in_file("END", 4);
  EXPECT_TRUE(qloc_in_file(10, "START", "PCB"));
  EXPECT_EQ(out_.text(),
            " <QInFil>>> LT,IUN,QPRPP,QRWD,QUC,QANYWH,QCOL,QOF,QBCK\n"
            " <QInFil>>>     5 10 F T F F T F T\n"
            " <QinFil>>> ::START::\n"
            " <QInFil>>> COLLOC enabled at column     2\n"
            " <QInFil>>> EOI    enabled at column     4 for string\n"
            " <QInFil>>> ::END::\n"
            " <QInFil>>> right at ->START<->xSTART\n");
  out_.clear();
  // The switches stay on; PP adds a line per line read, and the search text with O.
  file("one\n");
  EXPECT_FALSE(qloc_in_file(10, "AB", "PPO"));
  EXPECT_EQ(out_.text(),
            " <QInFil>>> LT,IUN,QPRPP,QRWD,QUC,QANYWH,QCOL,QOF,QBCK\n"
            " <QInFil>>>     7 10 T T F F F T F\n"
            " <QinFil>>> ::  ::\n"  // the search text cut at the label's trimmed length
            " <QInFil>>> EOI    enabled at column     4 for string\n"
            " <QInFil>>> ::END::\n"
            " <QlocIF>d>    L AB->one<-    0    7\n"
            " <QInFil>>> Rwd 10\n"
            " <QlocIF>d>    L AB->one<-    0    7\n"
            " <QInFil>E> 10 F failed    L AB\n");
  out_.clear();
  file("AB\n");
  EXPECT_TRUE(qloc_in_file(10, "AB", ""));
  EXPECT_EQ(out_.text(),
            " <QInFil>>> LT,IUN,QPRPP,QRWD,QUC,QANYWH,QCOL,QOF,QBCK\n"
            " <QInFil>>>     2 10 T T F F F F F\n"
            " <QinFil>>> ::AB::\n"
            " <QInFil>>> EOI    enabled at column     4 for string\n"
            " <QInFil>>> ::END::\n"
            " <QlocIF>d> AB->AB<-    1    2\n"
            " <QInFil>>> after    ->AB<->AB\n");
  out_.clear();
  // Q switches both off (before P applies); lower-case q does not.
  file("AB\n");
  EXPECT_TRUE(qloc_in_file(10, "AB", "Q"));
  EXPECT_EQ(out_.text(), "");
  EXPECT_TRUE(qloc_in_file_dbg("xpx"));
  file("AB\n");
  EXPECT_TRUE(qloc_in_file(10, "AB", "q"));
  EXPECT_NE(out_.text(), "");
  EXPECT_FALSE(qloc_in_file_dbg(" "));
  EXPECT_TRUE(qloc_in_file_dbg("PP"));
  EXPECT_TRUE(qloc_in_file_dbg("pp"));  // P either case; only upper-case PP is the line trace
  out_.clear();
  file("AB\n");
  EXPECT_TRUE(qloc_in_file(10, "AB", ""));
  EXPECT_EQ(out_.text().find("<QlocIF>"), std::string::npos);
}

TEST_F(LabelLocation, LongLinesAreComparedInTheirFirst256Characters) {
  file(std::string(300, 'x') + "START\n" + std::string(251, 'y') + "START\n");
  EXPECT_TRUE(qloc_in_file(10, "START", "A"));
  EXPECT_EQ(located_in_file(), 2);
}

}  // namespace
}  // namespace kvax
