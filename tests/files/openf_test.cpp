// The file opener: the attribute and action tables, DIR and the derived names, the report
// and failure lines, instruction mode with its error count, and the positioning of unit 4.
#include <kvax/files/openf.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "scoped_env.h"
#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::file_exists;
using test::read_file;
using test::ScopedEnv;
using test::ScratchDir;
using test::write_file;

std::string blanks(std::size_t n) { return std::string(n, ' '); }

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string registered_name(int unit) {
  Text t(64, ' ');
  get_file_name(unit, t);
  return std::string(trimmed(t));
}

// Every test runs in a scratch directory of its own, as the current directory, with the
// opener and the registry as at program load.
class OpenfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    openf_reset_for_tests();
    registry_reset_for_tests();
  }
  void TearDown() override {
    out_.clear();
    close_all_units();
    openf_reset_for_tests();
    registry_reset_for_tests();
    EXPECT_EQ(::chdir(cwd_), 0);
  }
  // An instruction file on unit 10.
  void instructions(std::string_view text) {
    write_file(dir_.file("run.ins"), text);
    ASSERT_EQ(open_unit(10, OpenSpec{.file = dir_.file("run.ins"), .status = "OLD"}), 0);
    save_file_name(10, dir_.file("run.ins"));
  }

  char cwd_[PATH_MAX];
  ScratchDir dir_;
  ScopedEnv dbg_{"openf_dbg", nullptr};
  ScopedEnv tty_{"tty", nullptr};
  ScopedEnv home_{"HOME", "/home/u"};
  CapturedOutput out_;
};

TEST_F(OpenfTest, AttributesFollowTheOptionLetter) {
  struct Row {
    int line;
    char opt;
    std::string status;  // NEW refuses an existing file, OLD a missing one
    bool formatted;
    bool read_only;
    bool at_end;
  } rows[] = {
      {__LINE__, 'N', "NEW", true, false, false},   {__LINE__, 'n', "NEW", true, false, false},
      {__LINE__, '+', "NEW", false, false, false},  {__LINE__, 'O', "OLD", true, false, false},
      {__LINE__, 'o', "OLD", true, false, false},   {__LINE__, 'R', "OLD", true, true, false},
      {__LINE__, 'r', "OLD", true, true, false},    {__LINE__, 'E', "OLD", true, false, true},
      {__LINE__, 'e', "OLD", true, false, true},    {__LINE__, 'V', "OLD", false, false, true},
      {__LINE__, 'v', "OLD", false, false, true},   {__LINE__, '^', "OLD", false, true, false},
      {__LINE__, '#', "OLD", false, false, false},  {__LINE__, '%', "OLD", false, false, false},
      {__LINE__, 'A', "UNKNOWN", true, false, true}, {__LINE__, 'a', "UNKNOWN", true, false, true},
      {__LINE__, 'U', "UNKNOWN", false, false, true}, {__LINE__, 'u', "UNKNOWN", false, false, true},
      {__LINE__, '>', "UNKNOWN", false, false, true}, {__LINE__, '<', "UNKNOWN", false, false, false},
      {__LINE__, 'B', "UNKNOWN", true, false, false}, {__LINE__, 'W', "UNKNOWN", true, false, false},
      {__LINE__, 'F', "UNKNOWN", true, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const std::string opt(1, r.opt);
    close_all_units();
    std::filesystem::remove(dir_.file("f.dat"));

    // A missing file: OLD fails (and shows the read-only flag), the others create it.
    out_.clear();
    const int rc = openfs_e("21 " + opt + " f.dat");
    if (r.status == "OLD") {
      EXPECT_EQ(rc, 1);
      EXPECT_EQ(out_.text(), " <OPENF->T> 21 " + opt + " File ->f.dat<- Status=OLD         2 READONLY=" +
                                 (r.read_only ? "T" : "F") + "\n <OPENF->I> DFN ->f.dat" + blanks(123) + "<-\n");
      write_file(dir_.file("f.dat"), "");
      out_.clear();
      ASSERT_EQ(openfs_e("21 " + opt + " f.dat"), 0);
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_TRUE(file_exists(dir_.file("f.dat")));
    }
    EXPECT_EQ(unit_is_formatted(21), r.formatted);
    const std::string skipped = r.at_end && (std::isupper(r.opt) || r.opt == '>')
                                    ? std::string(" <SKIPTE>>> 21:        0 ") + (r.formatted ? "ASC" : "BIN") + " records\n"
                                    : "";
    EXPECT_EQ(out_.text(), skipped + " <OPENF->3> 21:" + opt + " f.dat" +
                               (r.at_end ? blanks(31) + ">>\n" : blanks(32) + "-\n"));

    // An existing file: NEW refuses it.
    close_unit(21);
    out_.clear();
    const int again = openfs_e("21 " + opt + " f.dat");
    EXPECT_EQ(again, r.status == "NEW" ? 1 : 0);
    if (r.status == "NEW") {
      EXPECT_EQ(first_line(out_.text()), " <OPENF->T> 21 " + opt + " File ->f.dat<- Status=NEW     10032 READONLY=F");
    }
  }
}

TEST_F(OpenfTest, ByteOrderOfUnformattedLetters) {
  // One record holding the integer 7, big-endian.
  write_file(dir_.file("be.bin"), std::string("\0\0\0\4\0\0\0\7\0\0\0\4", 12));
  struct Row {
    int line;
    std::string spec;
    Io io;
    std::int32_t value;
  } rows[] = {
      {__LINE__, "21 % be.bin", Io::ok, 7},
      {__LINE__, "21 # be.bin", Io::end, 0},  // read little-endian the marker runs past the end
      {__LINE__, "21 ^ be.bin", Io::end, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ASSERT_EQ(openfs(r.spec), 0);
    std::int32_t v = 0;
    UnformattedRead rd(21, want_both);
    rd.item(v);
    EXPECT_EQ(rd.finish(), r.io);
    EXPECT_EQ(v, r.value);
  }
}

TEST_F(OpenfTest, ReportLineColumnsAndRegistry) {
  write_file(dir_.file("input.dat"), "x\n");
  ASSERT_EQ(openfs("21 R input.dat"), 0);
  const std::string line = " <OPENF->3> 21:R input.dat" + blanks(28) + "-\n";
  EXPECT_EQ(out_.text(), line);
  EXPECT_EQ(line.rfind('-'), 54u);  // column 55
  EXPECT_TRUE(unit_is_formatted(21));
  EXPECT_EQ(registered_name(21), "input.dat");

  struct Row {
    int line;
    std::string spec, report, registered;
  } rows[] = {
      // "!" in the comment: the first one shows as a blank, and the derived name follows.
      {__LINE__, "21 R input.dat keep! this!",
       " <OPENF->3> 21:R input.dat" + blanks(28) + "- keep  this!\n <OPENF->4>   =  input.dat\n",
       "input.dat keep! this!"},
      {__LINE__, "21 R input.dat  which?",
       " <OPENF->3> 21:R input.dat" + blanks(28) + "- which?\n <OPENF->4>   =  input.dat\n", "input.dat which?"},
      // A long name moves the comment to 5 columns after it.
      {__LINE__, "22 W " + std::string(40, 'n') + " c",
       " <OPENF->3> 22:W " + std::string(40, 'n') + blanks(2) + "- c\n", std::string(40, 'n') + " c"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    out_.clear();
    const int unit = std::stoi(r.spec.substr(0, 2));
    close_unit(unit);
    ASSERT_EQ(openfs(r.spec), 0);
    EXPECT_EQ(out_.text(), r.report);
    Text t(64, ' ');
    get_file_name(unit, t);
    Text c(64, ' ');
    get_file_comment(unit, c);
    EXPECT_EQ(std::string(trimmed(t)) + (trim_len(c) ? " " + std::string(trimmed(c)) : ""), r.registered);
  }
}

TEST_F(OpenfTest, FailedOpenLines) {
  const std::string lines =
      " <OPENF->T> 21 R File ->input.dat<- Status=OLD         2 READONLY=T\n"
      " <OPENF->I> DFN ->input.dat" + blanks(119) + "<-\n";
  EXPECT_THROW(openfs("21 R input.dat"), StopRun);
  EXPECT_EQ(out_.text(), lines);
  out_.clear();
  EXPECT_EQ(openfs_e("21 R input.dat"), 1);
  EXPECT_EQ(out_.text(), lines);
  EXPECT_FALSE(is_connected(21));

  struct Row {
    int line;
    std::string spec, first;
  } rows[] = {
      // The modifier "." asks for a record framing the record layer refuses.
      {__LINE__, "31 <.out.bin", " <OPENF->T> 31 < File ->out.bin<- Status=UNKNOWN 10035 READONLY=F"},
      // A file name longer than 64 characters is refused whole, never cut into another name.
      {__LINE__, "21 O " + std::string(70, 'a') + " comment",
       " <OPENF->T> 21 File name longer than 64 characters: " + std::string(70, 'a')},
      {__LINE__, "21 O nodir/x.dat", " <OPENF->T> 21 O File ->nodir/x.dat<- Status=OLD         2 READONLY=F"},
      // A name field that begins with a blank has no file name.
      {__LINE__, "07 W  x.dat", " <OPENF->T>  7 W File -><- Status=UNKNOWN     2 READONLY=F"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    out_.clear();
    EXPECT_EQ(openfs_e(r.spec), 1);
    EXPECT_EQ(first_line(out_.text()), r.first);
  }
  // The modifier "." leaves a formatted open alone.
  out_.clear();
  EXPECT_EQ(openfs("31 W.out.txt"), 0);
  EXPECT_TRUE(unit_is_formatted(31));
}

TEST_F(OpenfTest, ReopeningAConnectedUnitClosesItFirst) {
  write_file(dir_.file("a.dat"), "");
  write_file(dir_.file("b.dat"), "");
  ASSERT_EQ(openfs("21 R a.dat"), 0);
  out_.clear();
  ASSERT_EQ(openfs("21 R b.dat"), 0);
  EXPECT_EQ(out_.text(), " <OPENF->>> Close 21\n <OPENF->3> 21:R b.dat" + blanks(32) + "-\n");
  EXPECT_EQ(file_of_unit(21), "b.dat");
  EXPECT_EQ(registered_name(21), "b.dat");
}

TEST_F(OpenfTest, EndPositioningAppends) {
  std::string twelve;
  for (int k = 1; k <= 12; ++k) twelve += "line\n";
  write_file(dir_.file("log.txt"), twelve);
  ASSERT_EQ(openfs("21 E log.txt"), 0);
  EXPECT_EQ(out_.text(), " <SKIPTE>>> 21:       12 ASC records\n <OPENF->3> 21:E log.txt" + blanks(29) + ">>\n");
  write_fmt(21, "(A)", "more");
  close_unit(21);
  EXPECT_EQ(read_file(dir_.file("log.txt")), twelve + "more\n");

  out_.clear();
  ASSERT_EQ(openfs("21 e log.txt"), 0);
  EXPECT_EQ(out_.text(), " <OPENF->3> 21:e log.txt" + blanks(29) + ">>\n");
}

TEST_F(OpenfTest, LinesThatOpenNothing) {
  struct Row {
    int line;
    std::string spec, out;
  } rows[] = {
      {__LINE__, "21   x", ""},
      {__LINE__, "21 Q x", ""},
      {__LINE__, "21 q x", ""},
      {__LINE__, "21 _ x", ""},
      {__LINE__, "21 - x", ""},
      {__LINE__, "21 @ x", ""},
      {__LINE__, "21 . x", ""},
      {__LINE__, "21 / x", ""},
      {__LINE__, "", ""},
      {__LINE__, "-1 R x", " <OPENF->>> Return due to IU=-1\n"},
      {__LINE__, "-5 W x", " <OPENF->>> Return due to IU=-1\n"},
      {__LINE__, "21 C a note   here", " Comment>>> a note   here\n"},
      {__LINE__, "21 * x", ""},
      {__LINE__, "21 L x", ""},
      {__LINE__, "21 ? x", " <OPENF->3> 21:? x" + blanks(36) + "-\n"},  // "?" only asks when interactive
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    out_.clear();
    close_all_units();
    EXPECT_EQ(openfs(r.spec), 0);
    EXPECT_EQ(out_.text(), r.out);
    EXPECT_EQ(is_connected(21), r.spec == "21 ? x");
  }
  out_.clear();
  EXPECT_THROW(openfs("21 } x"), StopRun);
  EXPECT_EQ(out_.text(), " <OPENF->S>\n");
}

TEST_F(OpenfTest, DirectoryPrefixForms) {
  // The D line in string mode: the new DIR and its report line, " - " in columns 54 to 56.
  struct Row {
    int line;
    std::string name, dir;
  } rows[] = {
      {__LINE__, "/data", "/data/"},
      {__LINE__, "/data/", "/data/"},
      {__LINE__, "data", "data/"},
      {__LINE__, "~/data", "/home/u/data/"},
      {__LINE__, "~kpl/x", "/home/kpl/x/"},
      {__LINE__, "&/sub", "sub/"},  // no instruction file in string mode
      {__LINE__, ".", ""},
      {__LINE__, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    out_.clear();
    EXPECT_EQ(openfs("21 D " + r.name + "  its comment"), 0);
    std::string line = " <OPENF->>> DIR  " + r.dir;
    line.resize(53, ' ');
    EXPECT_EQ(out_.text(), line + " - its comment\n");
  }
  // A prefix past column 53 is written over.
  out_.clear();
  EXPECT_EQ(openfs("21 D /" + std::string(50, 'd')), 0);
  EXPECT_EQ(out_.text(), " <OPENF->>> DIR  /" + std::string(35, 'd') + " - \n");
}

TEST_F(OpenfTest, DerivedFileNames) {
  // The failure line shows DFN whole; DIR applies to every later open of the run.
  ScopedEnv var{"KVAX_T_DIR", "/env/dir"};
  ASSERT_EQ(openfs("21 D /pre"), 0);
  struct Row {
    int line;
    std::string name, dfn;
  } rows[] = {
      {__LINE__, "a.dat", "/pre/a.dat"},
      {__LINE__, "sub/a.dat", "/pre/sub/a.dat"},
      {__LINE__, "./a.dat", "a.dat"},
      {__LINE__, "/tmp/none/a.dat", "/tmp/none/a.dat"},
      {__LINE__, "~/a.dat", "/home/u/a.dat"},
      {__LINE__, "~kpl/a.dat", "/home/kpl/a.dat"},
      {__LINE__, "&/a.dat", "a.dat"},
      {__LINE__, "${KVAX_T_DIR}/a.dat", "/env/dir/a.dat"},
      {__LINE__, "$KVAX_T_DIR/a.dat", "/env/dir/a.dat"},
      {__LINE__, "\\$KVAX_T_DIR/a.dat", "/pre/$KVAX_T_DIR/a.dat"},  // the escape survives
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    out_.clear();
    EXPECT_EQ(openfs_e("21 O " + r.name), 1);
    const std::string& t = out_.text();
    EXPECT_EQ(t.substr(t.find("DFN ->")), "DFN ->" + r.dfn + blanks(128 - r.dfn.size()) + "<-\n");
  }
  // A derived name that does not fit is refused, never cut into another name.
  ScopedEnv home{"HOME", ("/" + std::string(126, 'h')).c_str()};
  out_.clear();
  EXPECT_EQ(openfs_e("21 W ~/a.dat"), 1);
  EXPECT_EQ(first_line(out_.text()), " <OPENF->T> 21 W File ->~/a.dat<- Status=UNKNOWN    36 READONLY=F");
  EXPECT_THROW(openfs("21 D ~/more"), StopRun);
  EXPECT_EQ(out_.text().substr(out_.text().find(" <OPENF->T> DIR")),
            " <OPENF->T> DIR too long: /" + std::string(126, 'h') + "/more/\n");
}

TEST_F(OpenfTest, ShellCommandRunsInDir) {
  ASSERT_EQ(openfs("21 S touch made.txt"), 0);
  EXPECT_EQ(out_.text(), " <OPENF->>> $ touch made.txt\n");
  EXPECT_TRUE(file_exists(dir_.file("made.txt")));

  std::filesystem::create_directory(dir_.file("sub"));
  ASSERT_EQ(openfs("21 D sub"), 0);
  out_.clear();
  ASSERT_EQ(openfs("21 S touch there.txt"), 0);
  EXPECT_EQ(out_.text(), " <OPENF->>> $ cd sub/; touch there.txt\n");
  EXPECT_TRUE(file_exists(dir_.file("sub/there.txt")));
}

// A value in the environment reaches the shell as a value: the line is not substituted
// first, so its text is never parsed as shell syntax.
TEST_F(OpenfTest, ShellLinesLeaveTheEnvironmentToTheShell) {
  const ScopedEnv x{"X", "a;touch canary"};
  for (const bool from_instructions : {false, true}) {
    SCOPED_TRACE(from_instructions);
    out_.clear();
    if (from_instructions) {
      instructions("21 S echo $X >said.txt\n   Q\n");
      ASSERT_EQ(openf(10), 0);
    } else {
      ASSERT_EQ(openfs("21 S echo $X >said.txt"), 0);
    }
    EXPECT_EQ(out_.text(), " <OPENF->>> $ echo $X >said.txt\n");
    EXPECT_EQ(read_file(dir_.file("said.txt")), "a;touch canary\n");
    EXPECT_FALSE(file_exists(dir_.file("canary")));
  }
}

TEST_F(OpenfTest, InstructionModeOpensLineAfterLine) {
  std::filesystem::create_directory(dir_.file("data"));
  write_file(dir_.file("data/a.dat"), "");
  write_file(dir_.file("a.dat"), "");
  instructions("21 C two inputs\n"
               "21 D &/data   data files\n"
               "21 R a.dat\n"
               "22 R ./a.dat\n"
               "23 < " + dir_.file("out.bin") + "\n"
               "21 * ignored\n"
               "   Q\n"
               "24 R never.dat\n");
  ASSERT_EQ(openf(10), 0);
  const std::string d = dir_.path();
  std::string dirline = " <OPENF->>> DIR  " + d + "/data/";
  dirline.resize(53, ' ');
  EXPECT_EQ(out_.text(), " Comment>>> two inputs\n" + dirline + " - data files\n" +
                             " <OPENF->3> 21:R a.dat" + blanks(32) + "-\n" +
                             " <OPENF->3> 22:R ./a.dat" + blanks(30) + "-\n" +
                             " <OPENF->3> 23:< " + d + "/out.bin" + blanks(29 - d.size()) + "-\n");
  EXPECT_EQ(file_of_unit(21), d + "/data/a.dat");
  EXPECT_EQ(file_of_unit(22), "a.dat");
  EXPECT_FALSE(unit_is_formatted(23));
  EXPECT_FALSE(is_connected(24));

  // The instruction unit stays where the sequence ended.
  Text rest(20, ' ');
  ASSERT_EQ(read_fmt(10, want_both, "(A)", rest), Io::ok);
  EXPECT_EQ(trimmed(rest), "24 R never.dat");
}

TEST_F(OpenfTest, InstructionModeCountsFailures) {
  write_file(dir_.file("a.dat"), "");
  instructions("21 R a.dat\n"
               "22 R missing.dat\n"
               "23 O gone.dat\n"
               "24 R a.dat\n"
               "-1 R end\n");
  EXPECT_THROW(openf(10), StopRun);
  EXPECT_EQ(out_.text(), " <OPENF->3> 21:R a.dat" + blanks(32) + "-\n" +
                             " <OPENF->E> 22 R File ->missing.dat<- Status=OLD         2 READONLY=T\n" +
                             " <OPENF->I> DFN ->missing.dat" + blanks(117) + "<-\n" +
                             " <OPENF->E> 23 O File ->gone.dat<- Status=OLD         2 READONLY=F\n" +
                             " <OPENF->I> DFN ->gone.dat" + blanks(120) + "<-\n" +
                             " <OPENF->3> 24:R a.dat" + blanks(32) + "-\n" + " <OPENF->>> Return due to IU=-1\n" +
                             " <OPENF->T> Error count:  2\n");
  EXPECT_TRUE(is_connected(24));

  // A later call starts counting anew.
  out_.clear();
  instructions("21 R a.dat\n\n");
  EXPECT_EQ(openf(10), 0);
}

TEST_F(OpenfTest, InstructionUnitNumbersAndEnd) {
  EXPECT_THROW(openf(0), StopRun);
  EXPECT_THROW(openf(100), StopRun);
  EXPECT_EQ(out_.text(),
            " <OPENF->T> Bad file unit number:          0\n"
            " <OPENF->T> Bad file unit number:        100\n");
  // A sequence without an end line runs into the end of the file: the record layer's report.
  instructions("21 C only a comment\n");
  try {
    openf(10);
    ADD_FAILURE() << "no fatal report";
  } catch (const FatalIo& e) {
    EXPECT_EQ(e.status(), 255);
  }
}

TEST_F(OpenfTest, UnitFourIsPositionedAtItsSpecificationLines) {
  write_file(dir_.file("a.dat"), "");
  write_file(dir_.file("job.4"),
             "Title line of the job\n"
             "xx ignored\n"
             "210R not shaped\n"
             "21 R a.dat\n"
             "   \n");
  ASSERT_EQ(open_unit(4, OpenSpec{.file = dir_.file("job.4"), .status = "OLD"}), 0);
  ASSERT_EQ(openf(4), 0);
  EXPECT_EQ(out_.text(), " <OPENF->3> 21:R a.dat" + blanks(32) + "-\n");

  // At the end of unit 4 the search starts once more from its start.
  out_.clear();
  ASSERT_EQ(openf(4), 0);
  EXPECT_EQ(out_.text(), " <OPENF->T> EOF while positioning file unit 4\n <OPENF->>> Close 21\n <OPENF->3> 21:R a.dat" +
                             blanks(32) + "-\n");

  // A second end of file ends the run.
  write_file(dir_.file("none.4"), "no line\nof the shape\n");
  ASSERT_EQ(open_unit(4, OpenSpec{.file = dir_.file("none.4"), .status = "OLD"}), 0);
  out_.clear();
  EXPECT_THROW(openf(4), StopRun);
  EXPECT_EQ(out_.text(),
            " <OPENF->T> EOF while positioning file unit 4\n"
            " <OPENF->T> EOF while positioning file unit 4\n");
}

TEST_F(OpenfTest, InteractiveInstructionsFromStandardInput) {
  ScopedEnv tty{"tty", "/dev/pts/9"};
  write_file(dir_.file("a.dat"), "");
  feed_standard_input("21 R a.dat\n22 W b.dat\n \n");
  ASSERT_EQ(openf(5), 0);
  const std::string header = " <OPENF->I> IU O File_Name" + std::string(55, '_') + "\n <OPENF->?> ";
  EXPECT_EQ(out_.text(), header + " <OPENF->1> 21 R a.dat OLD FORMATTED READONLY\n" + header +
                             " <OPENF->2> 22 W b.dat UNKNOWN FORMATTED\n" + header);
  feed_standard_input("");
}

TEST_F(OpenfTest, TraceGoesToStandardOutputUntilOpenfNamesAUnit) {
  write_file(dir_.file("a.dat"), "");
  {
    ScopedEnv dbg{"openf_dbg", "1"};
    ASSERT_EQ(openfs("21 O a.dat"), 0);
    EXPECT_EQ(out_.text(),
              " openf: PRMPTM(4:4)=O::21 O a.dat\n"
              " <openf->d> qprmpt,qfs,qia5,    iuu,iun,iupr= F T F          -1          -1           5\n"
              " <OPENF->d> 21 O a.dat OLD FORMATTED\n"
              " <OPENF->3> 21:O a.dat" + blanks(32) + "-\n");
  }
  // openf_dbg that names no unit leaves 99, which is not connected: the lines still come out.
  ScopedEnv dbg{"openf_dbg", "yes"};
  instructions("  \n");
  out_.clear();
  ASSERT_EQ(openf(10), 0);
  EXPECT_EQ(out_.text(), " <openf->d> qprmpt,qfs,qia5,    iuu,iun,iupr= F F F          -1          10           5\n");
}

}  // namespace
}  // namespace kvax
