// Skipping to the end of a unit: both passes, the switch of form, the report line, the
// persistent type error and appending after the skip.
#include <kvax/files/skip_to_end.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::ScratchDir;
using test::write_file;

std::string lines(int n) {
  std::string s;
  for (int k = 1; k <= n; ++k) s += "line " + std::to_string(k) + "\n";
  return s;
}

// Little-endian length-marked records, each holding one integer.
std::string records(int n) {
  std::string s;
  for (int k = 1; k <= n; ++k) {
    const char rec[12] = {4, 0, 0, 0, static_cast<char>(k), 0, 0, 0, 4, 0, 0, 0};
    s.append(rec, 12);
  }
  return s;
}

int open_as(int unit, const std::string& file, bool formatted) {
  return open_unit(unit, OpenSpec{.file = file, .status = "OLD", .form = formatted ? "FORMATTED" : "UNFORMATTED"});
}

TEST(SkipToEnd, PassesSwitchAndReportLine) {
  struct Row {
    int line;
    std::string content;
    bool formatted;  // form of the connection
    char opt;
    std::string report;
    int count;
  } rows[] = {
      {__LINE__, lines(12), true, 'E', " <SKIPTE>>> 21:       12 ASC records\n", 12},
      {__LINE__, lines(12), true, 'e', "", 12},
      {__LINE__, lines(12), true, 'A', " <SKIPTE>>> 21:       12 ASC records\n", 12},
      {__LINE__, "no line end", true, 'E', " <SKIPTE>>> 21:        1 ASC records\n", 1},
      {__LINE__, records(3), false, 'V', " <SKIPTE>>> 21:        3 BIN records\n", 3},
      {__LINE__, records(3), false, '>', " <SKIPTE>>> 21:        3 BIN records\n", 3},
      {__LINE__, records(3), false, 'u', "", 3},
      // The letter expects the other form: the first read fails and the skip switches.
      {__LINE__, lines(12), true, 'U', " <SKIPTE>W> 21:       12 ASC records\n", 12},
      {__LINE__, records(3), false, 'E', " <SKIPTE>W> 21:        3 BIN records\n", 3},
      {__LINE__, "", true, 'A', " <SKIPTE>>> 21:        0 ASC records\n", 0},
      {__LINE__, "", false, 'U', " <SKIPTE>>> 21:        0 BIN records\n", 0},
      {__LINE__, "", false, 'E', " <SKIPTE>W> 21:        0 BIN records\n", 0},
  };
  ScratchDir d;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    write_file(d.file("f"), r.content);
    ASSERT_EQ(open_as(21, d.file("f"), r.formatted), 0);
    int count = -1;
    n_skip_to_end(21, r.opt, count);
    EXPECT_EQ(out.text(), r.report);
    EXPECT_EQ(count, r.count);
  }
}

TEST(SkipToEnd, NextRecordWrittenIsAppended) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("log.txt"), lines(2));
  ASSERT_EQ(open_as(21, d.file("log.txt"), true), 0);
  skip_to_end(21, 'e');
  write_fmt(21, "(A)", "appended");
  close_unit(21);
  EXPECT_EQ(read_file(d.file("log.txt")), "line 1\nline 2\nappended\n");

  write_file(d.file("r.bin"), records(2));
  ASSERT_EQ(open_as(22, d.file("r.bin"), false), 0);
  skip_to_end(22, 'v');
  UnformattedWrite w(22);
  w.item(std::int32_t{3});
  w.finish();
  close_unit(22);
  EXPECT_EQ(read_file(d.file("r.bin")), records(3));
}

TEST(SkipToEnd, UnconnectedUnitIsLeftAlone) {
  CapturedOutput out;
  int count = -1;
  n_skip_to_end(47, 'E', count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(out.text(), "");
}

TEST(SkipToEnd, NeitherFormReadsToTheEnd) {
  // A record whose trailing marker does not match its leading one.
  std::string damaged = records(2);
  damaged[damaged.size() - 4] = 9;
  struct Row {
    int line;
    char opt;
    std::string message;
  } rows[] = {
      {__LINE__, 'V', " <SKIPTE>T> Persistent file type error, UA\n"},
      {__LINE__, 'E', " <SKIPTE>T> Persistent file type error, AU\n"},
  };
  ScratchDir d;
  write_file(d.file("bad.bin"), damaged);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    ASSERT_EQ(open_as(21, d.file("bad.bin"), false), 0);
    int count = -1;
    EXPECT_THROW(n_skip_to_end(21, r.opt, count), StopRun);
    EXPECT_EQ(out.text(), r.message);
    EXPECT_EQ(count, 0);
  }
}

}  // namespace
}  // namespace kvax
