// Units, record framing and byte order, positioning, formats and list-directed I/O.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <limits>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "io/format.h"
#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::hex;
using test::read_file;
using test::ScratchDir;
using test::write_file;

int open_unf(int unit, const std::string& file, std::string_view order = "LITTLE_ENDIAN",
             std::string_view status = "UNKNOWN") {
  return open_unit(unit, OpenSpec{.file = file, .status = status, .form = "UNFORMATTED", .convert = order});
}

int open_fmt(int unit, const std::string& file, std::string_view status = "UNKNOWN") {
  return open_unit(unit, OpenSpec{.file = file, .status = status});
}

TEST(UnformattedRecords, FramingAndByteOrderOfOneInteger) {
  ScratchDir d;
  CapturedOutput out;
  for (auto [order, bytes] : {std::pair{"LITTLE_ENDIAN", "04 00 00 00 01 00 00 00 04 00 00 00"},
                              std::pair{"BIG_ENDIAN", "00 00 00 04 00 00 00 01 00 00 00 04"}}) {
    SCOPED_TRACE(order);
    ASSERT_EQ(open_unf(21, d.file("a.bin"), order), 0);
    UnformattedWrite w(21);
    w.item(std::int32_t{1});
    w.finish();
    close_unit(21);
    EXPECT_EQ(hex(read_file(d.file("a.bin"))), bytes);
  }
}

TEST(UnformattedRecords, ComplexSwappedPerPartAndReadBack) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unf(21, d.file("c.bin"), "BIG_ENDIAN"), 0);
  const std::complex<float> v[1] = {{1.0f, -2.0f}};
  {
    UnformattedWrite w(21);
    w.items(std::span<const std::complex<float>>(v));
    w.finish();
  }
  close_unit(21);
  EXPECT_EQ(hex(read_file(d.file("c.bin"))), "00 00 00 08 3F 80 00 00 C0 00 00 00 00 00 00 08");
  ASSERT_EQ(open_unf(21, d.file("c.bin"), "BIG_ENDIAN", "OLD"), 0);
  std::complex<float> back[1];
  UnformattedRead r(21, want_both);
  r.items(std::span<std::complex<float>>(back));
  EXPECT_EQ(r.finish(), Io::ok);
  EXPECT_EQ(back[0], v[0]);
}

TEST(UnformattedRecords, ShortRecordEndAndEmptyRecords) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unf(21, d.file("r.bin")), 0);
  {
    UnformattedWrite w(21);  // 6 bytes: an integer and two characters
    w.item(std::int32_t{7});
    w.item(std::string_view("ab"));
    w.finish();
  }
  UnformattedWrite(21).finish();  // an empty record still makes a record
  rewind_unit(21);

  std::int32_t i = 0;
  Text t = text("", 4);
  UnformattedRead r(21, want_both);
  r.item(i);
  r.item(t);
  EXPECT_EQ(r.finish(), Io::err);
  EXPECT_EQ(i, 7);

  UnformattedRead empty(21, want_both);  // the error left the unit at the next record
  EXPECT_EQ(empty.finish(), Io::ok);
  UnformattedRead eof(21, want_end);
  EXPECT_EQ(eof.finish(), Io::end);
  close_unit(21);
  EXPECT_EQ(read_file(d.file("r.bin")).size(), 14u + 8u);
}

TEST(UnformattedRecords, BackspaceRereadsTheRecordAndTruncatedRecordIsEnd) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unf(21, d.file("b.bin")), 0);
  for (std::int32_t k = 1; k <= 3; ++k) {
    UnformattedWrite w(21);
    w.item(k);
    w.item(k * 10);
    w.finish();
  }
  rewind_unit(21);
  std::int32_t a = 0, b = 0;
  auto read_one = [&] {
    UnformattedRead r(21, want_both);
    r.item(a);  // only the first item: the rest of the record is passed over
    return r.finish();
  };
  EXPECT_EQ(read_one(), Io::ok);
  EXPECT_EQ(read_one(), Io::ok);
  EXPECT_EQ(a, 2);
  backspace_unit(21);
  EXPECT_EQ(read_one(), Io::ok);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(read_one(), Io::ok);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(read_one(), Io::end);
  close_unit(21);

  // A file cut inside its last record ends where the complete records end.
  std::string bytes = read_file(d.file("b.bin"));
  write_file(d.file("cut.bin"), bytes.substr(0, bytes.size() - 3));
  ASSERT_EQ(open_unf(22, d.file("cut.bin"), "LITTLE_ENDIAN", "OLD"), 0);
  for (int k = 0; k < 2; ++k) {
    UnformattedRead r(22, want_both);
    r.item(b);
    EXPECT_EQ(r.finish(), Io::ok);
  }
  UnformattedRead r(22, want_both);
  EXPECT_EQ(r.finish(), Io::end);
  close_unit(22);

  // A record that another writer adds while the file is being read is read as well.
  ASSERT_EQ(open_unf(23, d.file("b.bin"), "LITTLE_ENDIAN", "OLD"), 0);
  EXPECT_EQ(UnformattedRead(23, want_both).finish(), Io::ok);
  const std::string more = test::record(test::le32(4u) + test::le32(40u));
  const int fd = ::open(d.file("b.bin").c_str(), O_WRONLY | O_APPEND);
  ASSERT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
  ::close(fd);
  for (std::int32_t k = 2; k <= 4; ++k) {
    UnformattedRead more_read(23, want_both);
    more_read.item(a);
    EXPECT_EQ(more_read.finish(), Io::ok);
    EXPECT_EQ(a, k);
  }
  EXPECT_EQ(UnformattedRead(23, want_both).finish(), Io::end);
  close_unit(23);
}

// Records of every size against the buffer (which starts small, grows once, and writes a
// file in pieces ending at aligned offsets, keeping the bytes past them): the file holds
// them in order, each leading marker filled in wherever its record began; and text rows
// written to a file are the bytes of the same rows written to a stream.
TEST(UnformattedRecords, RecordsOfEverySizeAroundTheBuffer) {
  ScratchDir d;
  const std::size_t sizes[] = {5,      17280, 0,      16383, 16384, 16385, 131067, 3,      163832, 163840,
                               200001, 1,     131064, 40000, 65536, 9,     300000, 131072, 7};
  std::string expected;
  ASSERT_EQ(open_unf(21, d.file("sizes.bin")), 0);
  char fill = 'a';
  for (const std::size_t n : sizes) {
    const std::string data(n, fill++);
    UnformattedWrite w(21);
    w.item(std::string_view(data));
    w.finish();
    expected += test::record(data);
  }
  close_unit(21);
  EXPECT_TRUE(read_file(d.file("sizes.bin")) == expected);

  CapturedOutput out;
  std::vector<float> row(40001);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<float>(i) * 1.25e-3f - 7.0f;
  ASSERT_EQ(open_fmt(31, d.file("rows.txt")), 0);
  for (int k = 0; k < 5; ++k) {
    write_real_row(31, "(1p,10e12.4,:)", row);
    write_real_row(6, "(1p,10e12.4,:)", row);
  }
  close_unit(31);
  EXPECT_TRUE(read_file(d.file("rows.txt")) == out.text());
}

// A trailing marker that is not the leading one is a damaged record, asked for or not.
TEST(UnformattedRecords, TrailingMarkerMustEqualTheLeadingOne) {
  ScratchDir d;
  CapturedOutput out;
  for (auto [order, bytes] : {std::pair{"LITTLE_ENDIAN", std::string("\4\0\0\0\1\0\0\0\5\0\0\0", 12)},
                              std::pair{"BIG_ENDIAN", std::string("\0\0\0\4\0\0\0\1\0\0\0\3", 12)}}) {
    SCOPED_TRACE(order);
    write_file(d.file("m.bin"), bytes);
    ASSERT_EQ(open_unf(21, d.file("m.bin"), order, "OLD"), 0);
    std::int32_t i = 0;
    UnformattedRead r(21, want_both);
    r.item(i);
    EXPECT_EQ(r.finish(), Io::err);
    EXPECT_EQ(i, 1);
    rewind_unit(21);
    try {
      UnformattedRead fatal(21, want_end);
      fatal.item(i);
      fatal.finish();
      FAIL() << "no fatal report";
    } catch (const FatalIo& f) {
      EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Unformatted record structure damaged\n? READ(UNIT=21,...\n");
    }
    close_unit(21);
    std::byte raw[12];
    ASSERT_EQ(open_unf(21, d.file("m.bin"), order, "OLD"), 0);
    EXPECT_EQ(read_unit_records(21, raw, 4, 1), 0);
    close_unit(21);
  }
}

// Records moved whole: read only when every one is a record of the length asked for (the
// unit stays where it was otherwise), written back in order, reversed, or turned.
TEST(UnformattedRecords, RawRecordsReadAndWrittenWhole) {
  ScratchDir d;
  CapturedOutput out;
  for (std::string_view order : {"LITTLE_ENDIAN", "BIG_ENDIAN"}) {
    SCOPED_TRACE(order);
    ASSERT_EQ(open_unf(21, d.file("r.bin"), order), 0);
    for (std::int32_t v : {1, 2, 3}) {
      UnformattedWrite w(21);
      w.item(v);
      w.item(v + 10);
      w.finish();
    }
    {
      UnformattedWrite w(21);
      w.item(std::int32_t{4});
      w.finish();
    }
    rewind_unit(21);
    std::byte raw[4 * 16];
    EXPECT_EQ(read_unit_records(21, std::span(raw, 32), 8, 3), 0);  // no room for three
    EXPECT_EQ(read_unit_records(21, raw, 8, 4), 0);                  // the fourth is shorter
    EXPECT_EQ(unit_position(21), 0);
    EXPECT_EQ(read_unit_records(21, raw, 4, 1), 0);                  // not 4 bytes of data
    ASSERT_EQ(read_unit_records(21, raw, 8, 3), 3);
    EXPECT_EQ(unit_position(21), 48);
    const std::string file = read_file(d.file("r.bin"));
    EXPECT_EQ(hex(std::string_view(reinterpret_cast<const char*>(raw), 48)), hex(file.substr(0, 48)));
    close_unit(21);

    ASSERT_EQ(open_unf(31, d.file("w.bin"), order), 0);
    write_unit_records(31, raw, 8, 3, RecordOrder{.reversed = true, .turn = 4});
    close_unit(31);
    // Records 3, 2, 1, each with its second integer first.
    const auto rec = [&](int i) {
      const std::string r = file.substr(16 * static_cast<std::size_t>(i - 1), 16);
      return r.substr(0, 4) + r.substr(8, 4) + r.substr(4, 4) + r.substr(12, 4);
    };
    EXPECT_EQ(hex(read_file(d.file("w.bin"))), hex(rec(3) + rec(2) + rec(1)));
  }
  const std::byte m[4] = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}};
  EXPECT_EQ(record_marker(m, false), 0x04030201u);
  EXPECT_EQ(record_marker(m, true), 0x01020304u);
}

TEST(UnformattedRecords, EndOfFileNotAskedForIsTheFatalReport) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("empty.bin"), "");
  ASSERT_EQ(open_unf(21, d.file("empty.bin"), "LITTLE_ENDIAN", "OLD"), 0);
  try {
    UnformattedRead r(21, want_err);
    FAIL() << "no fatal report";
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.status(), 255);
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Attempt to read past end of file\n? READ(UNIT=21,...\n");
  }
}

TEST(OpenStatus, TableOfStatusesAndSpecifiers) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("old.txt"), "x\n");
  struct Row {
    int line;
    std::string file;
    std::string_view status, form, convert;
    int framing;
    int expected;
  } rows[] = {
      {__LINE__, "old.txt", "NEW", "FORMATTED", "", -1, iostat::new_file_exists},
      {__LINE__, "new.txt", "NEW", "FORMATTED", "", -1, 0},
      {__LINE__, "missing.txt", "OLD", "FORMATTED", "", -1, ENOENT},
      {__LINE__, "old.txt", "OLD", "FORMATTED", "", -1, 0},
      {__LINE__, "made.txt", "UNKNOWN", "FORMATTED", "", -1, 0},
      {__LINE__, "old.txt", "UNKNOWN", "UNFORMATTED", "MIDDLE_ENDIAN", -1, iostat::bad_endian},
      {__LINE__, "old.txt", "UNKNOWN", "UNFORMATTED", "BIG_ENDIAN", 1, iostat::bad_recordtype},
      {__LINE__, "old.txt", "SOMETIMES", "FORMATTED", "", -1, iostat::bad_status},
      {__LINE__, "nodir/x.txt", "UNKNOWN", "FORMATTED", "", -1, ENOENT},
      {__LINE__, ".", "OLD", "FORMATTED", "", -1, EISDIR},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(open_unit(30, OpenSpec{.file = d.file(r.file), .status = r.status, .form = r.form,
                                     .convert = r.convert, .record_framing = r.framing}),
              r.expected);
    close_unit(30);
  }
  EXPECT_TRUE(test::file_exists(d.file("new.txt")));
  EXPECT_TRUE(test::file_exists(d.file("made.txt")));
  EXPECT_EQ(read_file(d.file("old.txt")), "x\n");  // opening never changes a file
  EXPECT_EQ(iostat_text(iostat::new_file_exists), "Status 'NEW' specified for an existing file");
  EXPECT_EQ(iostat_text(iostat::bad_endian), "Endian specifier not BIG_ENDIAN or LITTLE_ENDIAN");
}

TEST(OpenStatus, FirstWriteCutsTheFileAndReadOnlyFallback) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("f.txt"), "one\ntwo\nthree\n");
  ASSERT_EQ(open_fmt(31, d.file("f.txt")), 0);
  close_unit(31);
  EXPECT_EQ(read_file(d.file("f.txt")), "one\ntwo\nthree\n");

  ASSERT_EQ(open_fmt(31, d.file("f.txt")), 0);
  std::string_view line;
  Text t = text("", 5);
  EXPECT_EQ(read_fmt(31, want_both, "(A)", t), Io::ok);
  write_fmt(31, "(A)", "new");
  close_unit(31);
  EXPECT_EQ(read_file(d.file("f.txt")), "one\nnew\n");

  // Rewriting goes over the old bytes; their rest is gone once writing stops: at a
  // flush, before the unit reads again, at close, also past several buffers.
  write_file(d.file("g.txt"), "aaaa\nbbbb\ncccc\ndddd\n");
  ASSERT_EQ(open_fmt(33, d.file("g.txt")), 0);
  write_fmt(33, "(A)", "x");
  flush_unit(33);
  EXPECT_EQ(read_file(d.file("g.txt")), "x\n");
  write_fmt(33, "(A)", "y");
  ASSERT_EQ(rewind_unit(33), 0);
  for (const char* want : {"x", "y"}) {
    EXPECT_EQ(read_fmt(33, want_both, "(A)", t), Io::ok);
    EXPECT_EQ(trimmed(t), want);
  }
  EXPECT_EQ(read_fmt(33, want_both, "(A)", t), Io::end);
  close_unit(33);
  EXPECT_EQ(read_file(d.file("g.txt")), "x\ny\n");
  write_file(d.file("big.txt"), std::string(5 << 20, 'z'));
  ASSERT_EQ(open_fmt(33, d.file("big.txt")), 0);
  const std::string row(1000, 'n');
  for (int i = 0; i < 3000; ++i) write_fmt(33, "(A)", row);
  close_unit(33);
  EXPECT_EQ(read_file(d.file("big.txt")), [&] {
    std::string all;
    for (int i = 0; i < 3000; ++i) all += row + "\n";
    return all;
  }());

  if (::geteuid() != 0) {  // root may write anything
    write_file(d.file("ro.txt"), "keep\n");
    ::chmod(d.file("ro.txt").c_str(), 0444);
    ASSERT_EQ(open_fmt(32, d.file("ro.txt"), "OLD"), 0);
    EXPECT_THROW(write_fmt(32, "(A)", "x"), FatalIo);
    close_unit(32);
    EXPECT_EQ(read_file(d.file("ro.txt")), "keep\n");
  }
}

TEST(FormattedRecords, LinesBackspaceAndShortLines) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("l.txt"), "   12   34\n  7\nlast line without end");
  ASSERT_EQ(open_fmt(21, d.file("l.txt"), "OLD"), 0);
  std::int32_t a = -1, b = -1;
  EXPECT_EQ(read_fmt(21, want_both, "(2I5)", a, b), Io::ok);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 34);
  EXPECT_EQ(read_fmt(21, want_both, "(2I5)", a, b), Io::ok);  // blank-padded: the second is 0
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(backspace_unit(21), 0);
  EXPECT_EQ(read_fmt(21, want_both, "(I3)", a), Io::ok);
  EXPECT_EQ(a, 7);
  Text t = text("", 30);
  EXPECT_EQ(read_fmt(21, want_both, "(A)", t), Io::ok);
  EXPECT_EQ(t, text("last line without end", 30));
  EXPECT_EQ(backspace_unit(21), 0);
  EXPECT_EQ(read_fmt(21, want_both, "(A4)", t), Io::ok);
  EXPECT_EQ(trimmed(t), "last");
  EXPECT_EQ(read_fmt(21, want_end, "(A)", t), Io::end);
  close_unit(21);
}

TEST(FormattedRecords, BadFieldIsTheErrorSignalOrTheFatalReport) {
  CapturedOutput out;
  std::int32_t v = 5;
  EXPECT_EQ(read_fmt_text("  ER", want_err, "(I4)", v), Io::err);
  EXPECT_EQ(v, 5);
  try {
    read_fmt_text("  ER", want_none, "(I4)", v);
    FAIL();
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Illegal character in numeric input\n? READ(UNIT=*,...\n");
  }
  float x = 0;
  EXPECT_EQ(read_fmt_text(" 1.5E+00 ", want_err, "(E9.6)", x), Io::ok);
  EXPECT_EQ(x, 1.5f);
  EXPECT_EQ(read_fmt_text("x", want_err, "(I4", v), Io::err);  // a format that cannot be interpreted
}

std::string written(std::string_view format, std::span<const float> values) {
  CapturedOutput out;
  OutputStatement st(6, format);
  st.items(values);
  st.finish();
  return out.text();
}

// A statement keeps its format while other statements fill the format cache many times
// over with formats of their own.
TEST(EditFormats, RunningStatementKeepsItsFormat) {
  CapturedOutput out;
  {
    OutputStatement running(6, "(1P,2E12.4,' end',I3)");
    running.item(1.5f);
    for (int k = 0; k < 100; ++k) {
      Text t = text("", 16);
      write_fmt_text(t, "(I" + std::to_string(k % 7 + 2) + ",'x" + std::to_string(k) + "')", k);
    }
    running.item(-2.25f);
    running.item(std::int32_t{7});
    running.finish();
  }
  EXPECT_EQ(out.text(), "  1.5000E+00 -2.2500E+00 end  7\n");
}

TEST(EditFormats, ReversionColonAndGroups) {
  std::vector<float> v(12, 1.0f);
  std::string line10;
  for (int k = 0; k < 10; ++k) line10 += "  1.0000E+00";
  std::string line2 = "  1.0000E+00  1.0000E+00";
  EXPECT_EQ(written("(1p,10e12.4,:)", std::span<const float>(v.data(), 10)), line10 + "\n");
  EXPECT_EQ(written("(1p,10e12.4,:)", v), line10 + "\n" + line2 + "\n");
  EXPECT_EQ(written("(1p,10e12.4)", std::span<const float>(v.data(), 10)), line10 + "\n");
  EXPECT_EQ(written("(1p,10e12.4,:)", std::span<const float>()), "\n");

  CapturedOutput out;
  write_fmt(6, "(A,I7,I5,3(1X,A),I2)", " <GETSIZ>>> ", 3, 2, "M", "CMPX", " array on file unit ", 21);
  write_fmt(6, "(' <',A6,'>E> Requested grid ','\"',A1,'\"')", "GETZM-", "Z");
  write_fmt(6, "(A,(I3))", "x", 1, 2, 3);  // reversion to the last top-level group
  write_fmt(6, "(2(A,A2),'end')", "a", "bcd", "e", "f");
  write_fmt(6, "(I2.2,':',I2.2,1X,I4.4)", 5, 7, 26);
  write_fmt(6, "(A,$)", "prompt> ");
  write_fmt(6, "(A)", "answer");
  EXPECT_EQ(out.text(),
            " <GETSIZ>>>       3    2 M CMPX  array on file unit 21\n"
            " <GETZM->E> Requested grid \"Z\"\n"
            "x  1\n  2\n  3\n"
            "abce fend\n"
            "05:07 0026\n"
            "prompt> answer\n");
}

TEST(EditFormats, ExponentFormValuesThatMatter) {
  struct Row {
    int line;
    std::string_view format;
    float value;
    std::string_view expected;
  } rows[] = {
      {__LINE__, "(1p,e12.4)", 1.234567f, "  1.2346E+00"},
      {__LINE__, "(e12.4)", 1.234567f, "  0.1235E+01"},
      {__LINE__, "(1p,e12.4)", 0.0f, "  0.0000E+00"},
      {__LINE__, "(1p,e12.4)", -0.0f, "  0.0000E+00"},
      {__LINE__, "(1p,e12.4)", -1.234567f, " -1.2346E+00"},
      {__LINE__, "(1p,e12.4)", 1.0e30f, "  1.0000E+30"},
      {__LINE__, "(1p,d12.4)", 1.234567f, "  1.2346D+00"},
      {__LINE__, "(1p,e12.4)", std::numeric_limits<float>::quiet_NaN(), "         NaN"},
      {__LINE__, "(1p,e12.4)", -std::numeric_limits<float>::infinity(), "        -INF"},
      {__LINE__, "(1p,e8.4)", 1.5f, "********"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(written(r.format, std::span<const float>(&r.value, 1)), std::string(r.expected) + "\n");
  }
  CapturedOutput out;
  write_fmt(6, "(1p,e12.4,';')", 1.0e100);
  write_fmt(6, "(1p,e12.4,';')", -1.0e100);
  write_fmt(6, "(1p,e12.4,';')", 1.0e-300);
  write_fmt(6, "(I3,';',I2,';',L3,';')", 12345, -5, true);
  EXPECT_EQ(out.text(), "  1.0000+100;\n -1.0000+100;\n  1.0000-300;\n***;-5;  T;\n");
}

TEST(ListDirected, OutputSpacing) {
  CapturedOutput out;
  write_list(6, "<SLTagT>>> Tide symbols max length=", 2);
  write_list(6, 2, "x", "y", 3, 4);
  write_list(6, "openf: PRMPTM(4:4)=", "R", "::", "21 R a");
  EXPECT_EQ(out.text(),
            " <SLTagT>>> Tide symbols max length=           2\n"
            "            2 xy           3           4\n"
            " openf: PRMPTM(4:4)=R::21 R a\n");
}

// Complex values of both precisions are written and read as "(re,im)".
TEST(ListDirected, ComplexOfBothPrecisionsAsParenthesisedPairs) {
  CapturedOutput out;
  write_list(6, std::complex<float>(1.5f, -2.0f), std::complex<double>(1.5, -2.0));
  EXPECT_EQ(out.text(), " (1.5000000E+00,-2.0000000E+00) (1.5000000000000000E+00,-2.0000000000000000E+00)\n");
  std::complex<float> z;
  std::complex<double> w;
  EXPECT_EQ(read_list_text("(1.5,-2) (0.25,4e1)", want_both, z, w), Io::ok);
  EXPECT_EQ(z, std::complex<float>(1.5f, -2.0f));
  EXPECT_EQ(w, std::complex<double>(0.25, 40.0));
  EXPECT_EQ(read_list_text("1.5 -2", want_both, w), Io::err);  // two bare reals are no complex value
  Text line = text("", 64);
  write_fmt_text(line, "(2F6.2)", std::complex<double>(1.5, -2.0));  // under a format: two real items
  EXPECT_EQ(trimmed(line), "  1.50 -2.00");
}

TEST(ListDirected, InputValuesSeparatorsAndSignals) {
  std::int32_t a = -1, b = -1, c = -1;
  EXPECT_EQ(read_list_text("  3, 4 5", want_both, a, b, c), Io::ok);
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(c, 5);
  a = b = c = -1;
  EXPECT_EQ(read_list_text("7 / 8", want_both, a, b), Io::ok);  // the slash ends the list
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(read_list_text("1,,2", want_both, a, b, c), Io::ok);  // a null value keeps b
  EXPECT_EQ(b, -1);
  EXPECT_EQ(c, 2);
  a = b = -1;
  EXPECT_EQ(read_list_text("2*5", want_both, a, b), Io::ok);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 5);
  EXPECT_EQ(read_list_text("        ", want_both, a), Io::end);
  EXPECT_EQ(read_list_text("abc", want_both, a), Io::err);
  EXPECT_EQ(read_list_text("1.5", want_both, a), Io::err);
  EXPECT_EQ(read_list_text("99999999999", want_both, a), Io::err);
  float x = 0;
  std::complex<float> z;
  Text t = text("", 6);
  EXPECT_EQ(read_list_text("2.5e1 (1.5,-2) 'it''s'", want_both, x, z, t), Io::ok);
  EXPECT_EQ(x, 25.0f);
  EXPECT_EQ(z, std::complex<float>(1.5f, -2.0f));
  EXPECT_EQ(t, "it's  ");
  try {
    read_list_text("", want_none, a);
    FAIL();
  } catch (const FatalIo& f) {
    EXPECT_EQ(f.report(), "? FORTRAN Runtime Error:\n? Attempt to read past end of record\n? READ(UNIT=*,...\n");
  }
}

TEST(ListDirected, ReadsAcrossLinesOfAUnit) {
  ScratchDir d;
  CapturedOutput out;
  write_file(d.file("v.txt"), "       3       2 M CMPX\n\n  5\n");
  ASSERT_EQ(open_fmt(21, d.file("v.txt"), "OLD"), 0);
  std::int32_t k = 0, l = 0, m = 0;
  EXPECT_EQ(read_list(21, want_both, k, l), Io::ok);  // the rest of the line is dropped
  EXPECT_EQ(read_list(21, want_both, m), Io::ok);     // the empty line separates like a blank
  EXPECT_EQ(k * 100 + l * 10 + m, 325);
  EXPECT_EQ(read_list(21, want_both, m), Io::end);
  close_unit(21);
}

TEST(InternalTexts, WriteIntoAFieldPadsAndOverflowIsFatal) {
  Text g = text("", 16);
  write_fmt_text(g, "(I6,'x',I6)", 1440, 720);
  EXPECT_EQ(g, "  1440x   720   ");
  Text small = text("", 4);
  EXPECT_THROW(write_fmt_text(small, "(I6)", 1), FatalIo);
}

// STOP ends the run with the status kvax.out exits with after an orderly stop.
TEST(Stop, UnwindsAsRunEndWithStatusOne) {
  try {
    stop_run();
  } catch (const RunEnd& e) {
    EXPECT_EQ(e.status(), 1);
    EXPECT_EQ(dynamic_cast<const FatalIo*>(&e), nullptr);
  }
}

}  // namespace
}  // namespace kvax

namespace kvax {
namespace {

TEST(Inquire, ByUnitAndByFileNameAndEndfile) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_fmt(33, d.file("q.txt")), 0);
  EXPECT_TRUE(is_connected(33));
  EXPECT_TRUE(is_connected(6));
  EXPECT_FALSE(is_connected(34));
  EXPECT_EQ(unit_of_file(d.file("q.txt")), 33);
  EXPECT_EQ(unit_of_file(d.path() + "/./q.txt  "), 33);  // resolved names, trailing blanks ignored
  EXPECT_EQ(unit_of_file(d.file("other.txt")), -1);
  EXPECT_EQ(file_of_unit(33), d.file("q.txt"));
  EXPECT_TRUE(unit_is_formatted(33));
  write_fmt(33, "(A)", "one");
  write_fmt(33, "(A)", "two");
  EXPECT_EQ(backspace_unit(33), 0);
  EXPECT_EQ(endfile_unit(33), 0);  // the file ends before the line stepped back over
  close_unit(33);
  EXPECT_FALSE(is_connected(33));
  EXPECT_EQ(read_file(d.file("q.txt")), "one\n");
}

}  // namespace
}  // namespace kvax
