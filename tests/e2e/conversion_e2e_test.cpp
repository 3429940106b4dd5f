// kvax.out as a process, converting sections: standard output, standard error, exit
// status and output files compared byte for byte with texts written out by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace kvax {
namespace {

using test::opened;
using test::tag_line;
using test::read_file;
using test::record;
using test::run_kvax;
using test::ScratchDir;
using test::Section;
using test::start_line;
using test::write_file;

// ---- input files -------------------------------------------------------------------

// The formatted form of the default 3 x 2 section, as the writer lays it out.
const std::string header_3x2 = "         3         2 M CMPX M2          7\n";
const std::string row2 = "  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00  2.3000E+01 -2.0000E+00\n";
const std::string row1 = "  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00  1.3000E+01 -1.0000E+00\n";
const std::string text_3x2 = header_3x2 + row2 + row1;

// ---- expected lines ------------------------------------------------------------------

const std::string size_u_3x2 = " <getsiz>>> K,L,TYP,VARTYP=           3           2  M CMPX\n"
                               " <GETSIZ>>>       3    2 M CMPX  array on file unit 21\n";
const std::string size_f_3x2 = " <GetsiF>>>        3       2 array on file unit 21\n";

std::string report(std::string_view routine, std::string_view grid, std::string_view unit, std::string_view file,
                   std::string_view tag = "M2", std::string_view version = "     7") {
  return " <" + std::string(routine) + ">>> CMPX array, grid " + std::string(grid) + ", f.unit " + std::string(unit) +
         ": " + std::string(file) + " -->" + std::string(tag) + "  #" + std::string(version) + " \n";
}

class Conversion : public ::testing::Test {
 protected:
  std::string file(std::string_view name) const { return dir_.file(name); }
  ScratchDir dir_;
};

TEST_F(Conversion, UnformattedToFormattedByDefault) {
  write_file(file("m2.u"), Section{}.unformatted());
  const auto r = run_kvax({"m2.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "m2.u") + opened("31:B", "m2.f") +
                       size_u_3x2 + report("GETZM-", "M", "21", "m2.u") + report("OutzmF", "M", "31", "m2.f"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(file("m2.f")), text_3x2);
}

TEST_F(Conversion, FormattedToUnformattedAndBack) {
  write_file(file("m2_z.f"), text_3x2);
  auto r = run_kvax({"-f2u", "m2_z.f"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:R", "m2_z.f") + opened("31:<", "m2_z.t") +
                       size_f_3x2 + report("GetzmF", "M", "21", "m2_z.f") + report("OUTZM-", "M 3x2", "31", "m2_z.t"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(file("m2_z.t")), Section{}.unformatted());

  r = run_kvax({"-u2u", "m2_z.t"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(file("m2_z.u")), Section{}.unformatted());
  r = run_kvax({"-f2f", "-ocopy.f", "m2_z.f"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:R", "m2_z.f") + opened("31:B", "copy.f") +
                       size_f_3x2 + report("GetzmF", "M", "21", "m2_z.f") + report("OutzmF", "M", "31", "copy.f"));
  EXPECT_EQ(read_file(file("copy.f")), text_3x2);
}

TEST_F(Conversion, BigEndianInput) {
  write_file(file("be.u"), Section{}.unformatted(true));
  const auto r = run_kvax({"-BE", "-u2u", "-o", "le.u", "be.u"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(file("le.u")), Section{}.unformatted());
  EXPECT_NE(r.out.find(opened("21:%", "be.u")), std::string::npos);
}

TEST_F(Conversion, ReversalOnMAndZGrids) {
  write_file(file("m.u"), Section{}.unformatted());
  auto r = run_kvax({"-r", "m.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "m.u") + opened("31:B", "m.f") + size_u_3x2 +
                       report("GETZM-", "M", "21", "m.u") +
                       " <ZREVO->>> Revert row order in CMPX array, grid type M, size    3    2\n" +
                       report("OutzmF", "M", "31", "m.f"));
  EXPECT_EQ(read_file(file("m.f")), header_3x2 + row1 + row2);

  Section z;
  z.typ = "Z";
  z.l = 3;
  write_file(file("z.u"), z.unformatted());
  r = run_kvax({"-r", "z.u"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  // Rows 1 and 2 change places in columns 1 and 2; column 3 and row 3 stay.
  EXPECT_EQ(read_file(file("z.f")),
            "         3         3 Z CMPX M2          7\n"
            "  3.1000E+01 -3.0000E+00  3.2000E+01 -3.0000E+00  3.3000E+01 -3.0000E+00\n"
            "  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00  2.3000E+01 -2.0000E+00\n"
            "  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00  1.3000E+01 -1.0000E+00\n");

  Section x;
  x.typ = "X";
  write_file(file("x.u"), x.unformatted());
  r = run_kvax({"-r", "x.u"}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.ends_with(" <ZREVO->T> Illegal grid type X\n"));
  EXPECT_FALSE(test::file_exists(file("x.f")));  // a failed run leaves no new file behind
}

TEST_F(Conversion, RotationByHalfATurnAndEastward) {
  write_file(file("m.u"), Section{}.unformatted());
  auto r = run_kvax({"-ch", "m.u"}, dir_.path());  // K = 3: one cell
  EXPECT_TRUE(r.out.ends_with(" <ZRCYL->>> Rotated westward     1 cells.\n" + report("OutzmF", "M", "31", "m.f")));
  EXPECT_EQ(read_file(file("m.f")),
            header_3x2 + "  2.2000E+01 -2.0000E+00  2.3000E+01 -2.0000E+00  2.1000E+01 -2.0000E+00\n" +
                "  1.2000E+01 -1.0000E+00  1.3000E+01 -1.0000E+00  1.1000E+01 -1.0000E+00\n");
  r = run_kvax({"-c-1", "-oeast.f", "m.u"}, dir_.path());
  EXPECT_NE(r.out.find(" <ZRCYL->>> Rotated westward    -1 cells.\n"), std::string::npos);
  EXPECT_EQ(read_file(file("east.f")),
            header_3x2 + "  2.3000E+01 -2.0000E+00  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00\n" +
                "  1.3000E+01 -1.0000E+00  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00\n");
  r = run_kvax({"-c", "m.u"}, dir_.path());
  EXPECT_TRUE(r.out.ends_with(" <Main-->T> Numerical argument required\n"));
  r = run_kvax({"-cx", "m.u"}, dir_.path());
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "? FORTRAN Runtime Error:\n? Illegal character in numeric input\n? READ(UNIT=*,...\n");
}

TEST_F(Conversion, VersionOverride) {
  write_file(file("m.u"), Section{}.unformatted());
  auto r = run_kvax({"-v0", "m.u"}, dir_.path());
  EXPECT_TRUE(r.out.ends_with(report("OutzmF", "M", "31", "m.f", "M2", "     0")));
  EXPECT_EQ(read_file(file("m.f")).substr(0, 42), "         3         2 M CMPX M2          0\n");
  r = run_kvax({"-v-3", "m.u"}, dir_.path());
  EXPECT_EQ(read_file(file("m.f")), text_3x2);
}

TEST_F(Conversion, TagLengthsOneAndFour) {
  Section one;
  one.tag = "Q";
  write_file(file("q.u"), one.unformatted());
  auto r = run_kvax({"-l1", "q.u"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" <SLTagT>>> Tide symbols max length=           1\n"), std::string::npos);
  EXPECT_EQ(read_file(file("q.f")), "         3         2 M CMPX Q          7\n" + row2 + row1);
  r = run_kvax({"-l1", "-f2u", "-oq2.u", "q.f"}, dir_.path());
  EXPECT_EQ(read_file(file("q2.u")), one.unformatted());

  Section four;
  four.tag = "M2AB";
  write_file(file("f.u"), four.unformatted());
  r = run_kvax({"-l4", "f.u"}, dir_.path());
  EXPECT_EQ(read_file(file("f.f")), "         3         2 M CMPX M2AB          7\n" + row2 + row1);
  Section six;
  six.tag = "M2ABCD";  // a tag longer than four characters survives whole
  write_file(file("s.u"), six.unformatted());
  r = run_kvax({"-l6", "-u2u", "-os6.u", "s.u"}, dir_.path());
  EXPECT_EQ(read_file(file("s6.u")), six.unformatted());
  r = run_kvax({"-l0", "s.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + " <Main-->T> Tag length must be 1 or more\n");
}

TEST_F(Conversion, EmptyMissingAndTruncatedInput) {
  write_file(file("e.u"), "");
  auto r = run_kvax({"e.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "e.u") + opened("31:B", "e.f") +
                       " <GETSIZ>E> End of file, log.unit 21\n"
                       " <GETZM->E> End of file, log.unit 21. Sections read:     0\n"
                       " <GETVER>W> Bad version number due to recent read problem.\n"
                       " <Main-->T> Bad input; tide$, ver.# EF     -1\n");
  EXPECT_EQ(r.status, 1);
  r = run_kvax({"-v5", "e.u"}, dir_.path());
  EXPECT_TRUE(r.out.ends_with(" <Main-->T> Bad input; tide$, ver.# EF      5\n"));

  r = run_kvax({"missing.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line +
                       " <OPENF->T> 21 ^ File ->missing.u<- Status=OLD         2 READONLY=T\n"
                       " <OPENF->I> DFN ->missing.u" +
                       std::string(119, ' ') + "<-\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(test::file_exists(file("missing.f")));

  Section five;
  five.l = 5;
  const std::string whole = five.unformatted();
  write_file(file("t.u"), whole.substr(0, 27 + 2 * 32));  // header and two rows
  r = run_kvax({"t.u"}, dir_.path());
  EXPECT_TRUE(r.out.ends_with(" <GETZM->T> Data truncated after    2 operations.\n"));
  EXPECT_EQ(r.status, 1);
  write_file(file("t.f"), "         3         5 M CMPX M2          7\n" + row2 + row1);
  r = run_kvax({"-f2f", "-ot2.f", "t.f"}, dir_.path());
  EXPECT_TRUE(r.out.ends_with(" <GetzmF>T> Data truncated after    2 operations.\n"));

  // A row record shorter than K cells is the fatal report.
  const std::string short_row = whole.substr(0, 27) + record(std::string(16, '\0'), false);
  write_file(file("s.u"), short_row);
  r = run_kvax({"s.u"}, dir_.path());
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "? FORTRAN Runtime Error:\n? Attempt to read past end of record\n? READ(UNIT=21,...\n");
}

TEST_F(Conversion, ForeignElementTypeInAFormattedHeader) {
  write_file(file("flag.f"), "         3         2 M FLAG M2          7\n");
  const auto r = run_kvax({"-f2u", "flag.f"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:R", "flag.f") + opened("31:<", "flag.t") +
                       size_f_3x2 +
                       " <GetzmF>E> Requested data CMPX Encountered FLAG\n"
                       " <GetveF>W> Bad version number due to recent read problem.\n"
                       " <Main-->T> Bad input; tide$, ver.# EC     -1\n");
}

TEST_F(Conversion, OutputThatExistsIsReplacedWhole) {
  // A longer file of the same name, as the run before may have left it: the output holds
  // the new section and nothing of the old bytes, in each direction.
  write_file(file("m2.u"), Section{}.unformatted());
  write_file(file("m2.f"), text_3x2);
  const std::string old_bytes(100000, 'x');
  for (const auto& [args, out, want] :
       {std::tuple{std::vector<std::string>{"-o", "o.f", "m2.u"}, "o.f", text_3x2},
        std::tuple{std::vector<std::string>{"-f2u", "-o", "o.u", "m2.f"}, "o.u", Section{}.unformatted()},
        std::tuple{std::vector<std::string>{"-u2u", "-o", "o2.u", "m2.u"}, "o2.u", Section{}.unformatted()}}) {
    SCOPED_TRACE(out);
    write_file(file(out), old_bytes);
    const auto r = run_kvax(args, dir_.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(file(out)), want);
  }
}

TEST_F(Conversion, NothingLost) {
  // A failed run leaves an existing output file as it was, and never changes its input.
  write_file(file("bad.u"), "garbage");
  write_file(file("bad.f"), "precious\n");
  auto r = run_kvax({"bad.u"}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(file("bad.f")), "precious\n");
  EXPECT_EQ(read_file(file("bad.u")), "garbage");

  // The input is never the output by derivation.
  write_file(file("a.u"), Section{}.unformatted());
  r = run_kvax({"-u2fu", "a.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + " <Main-->T> Output name equals the input name; use -o: a.u\n");
  EXPECT_EQ(read_file(file("a.u")), Section{}.unformatted());

  // A write that fails is the fatal report, never a success.
  r = run_kvax({"-o", "/dev/full", "a.u"}, dir_.path());
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "? FORTRAN Runtime Error:\n? No space left on device\n? WRITE(UNIT=31,...\n");
}

}  // namespace
}  // namespace kvax
