// The opener's dialogue with scripted answers on standard input (and on a pseudo-terminal
// where the terminal matters): the unit prompt in its line and screen forms, whole lines
// under the input header, "?" in a name, the inquiry, a unit already open, the
// Abort/Retry prompt after a failed open, and the end of input at each of them.
#include <kvax/files/openf.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include <kvax/files/instruction_units.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "fake_terminal.h"
#include "scoped_env.h"
#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::Pty;
using test::read_file;
using test::ScopedEnv;
using test::ScratchDir;
using test::write_file;

const std::string underscores(55, '_');
const std::string header = " <OPENF->I> IU O File_Name" + underscores + "\n <OPENF->?> ";
const std::string not_open = " <OpenTe>>> Not open, unit was   2\n";

// The three lines of the unit prompt, the last one waiting for its answer.
std::string unit_prompt(std::string_view request, std::string_view unit) {
  return " <OPENF->!> " + std::string(request) + "\n <OPENF->I> " + std::string(unit) + ":O File_Name" + underscores +
         "\n <OPENF->?> " + std::string(unit) + ":";
}
std::string opened_read_only(std::string_view unit, std::string_view name) {
  return " <OPENF->1> " + std::string(unit) + " R " + std::string(name) + " OLD FORMATTED READONLY\n";
}
// The report line of an open that was not interactive.
std::string report(std::string_view unit_letter, std::string_view name) {
  std::string r(name);
  r.resize(std::max<std::size_t>(36, name.size() + 1), ' ');
  return " <OPENF->3> " + std::string(unit_letter) + " " + r + " -\n";
}
std::string failed(char mark, std::string_view name) {
  std::string dfn(name);
  dfn.resize(128, ' ');
  return std::string(" <OPENF->") + mark + "> 21 R File ->" + std::string(name) +
         "<- Status=OLD         2 READONLY=T\n <OPENF->I> DFN ->" + dfn + "<-\n";
}
const std::string abort_retry = " <OPENF->?> Enter: (A)bort (R)etry (I)gnore (P)rompt_again:";

class OpenDialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    reset();
    write_file(dir_.file("data.txt"), "data\n");
    write_file(dir_.file("a.dat"), "a1\na2\n");
    write_file(dir_.file("b.dat"), "b1\n");
    write_file(dir_.file("run12.dat"), "");
    write_file(dir_.file("run.dat"), "");
    write_file(dir_.file("run1.dat"), "");
    write_file(dir_.file("a1b2.dat"), "");
  }
  void TearDown() override {
    out_.clear();
    feed_standard_input("");
    reset();
    EXPECT_EQ(::chdir(cwd_), 0);
  }
  static void reset() {
    close_all_units();
    openf_reset_for_tests();
    registry_reset_for_tests();
    instruction_units_reset_for_tests();
  }
  // An instruction file on unit 10.
  void instructions(std::string_view text) {
    write_file(dir_.file("run.ins"), text);
    ASSERT_EQ(open_unit(10, OpenSpec{.file = dir_.file("run.ins"), .status = "OLD"}), 0);
  }
  // Unit 21 on a.dat, its first line read.
  void a_dat_at_its_second_line(bool read_only = false) {
    write_file(dir_.file("a.dat"), "a1\na2\n");
    ASSERT_EQ(open_unit(21, OpenSpec{.file = "a.dat", .status = "OLD", .read_only = read_only}), 0);
    save_file_name(21, "a.dat");
    ASSERT_EQ(next_line(21), "a1");
  }
  static std::string next_line(int unit) {
    Text line(16, ' ');
    if (read_fmt(unit, want_end, "(A)", line) == Io::end) return "<end>";
    return std::string(trimmed(line));
  }
  static std::string registered(int unit) {
    Text t(64, ' ');
    get_file_name(unit, t);
    return std::string(trimmed(t));
  }

  char cwd_[PATH_MAX];
  ScratchDir dir_;
  ScopedEnv dbg_{"openf_dbg", nullptr};
  ScopedEnv tty_{"tty", nullptr};
  ScopedEnv home_{"HOME", "/home/u"};
  CapturedOutput out_;
};

TEST_F(OpenDialogue, UnitPromptInInstructionMode) {
  const std::string prompt = unit_prompt("Give the input file", "21");
  const std::string long_name(65, 'x');
  struct Row {
    int line;
    std::string answers, out, file;
  } rows[] = {
      {__LINE__, "R data.txt\n", prompt + opened_read_only("21", "data.txt"), "data.txt"},
      // A blank or "*" ends prompting; the next line comes from the instruction file.
      {__LINE__, "\n", prompt, ""},
      {__LINE__, "*  data.txt\n", prompt, ""},
      // P and T ask again; a comment is shown and the prompt comes again.
      {__LINE__, "P\nT x\nR data.txt\n", prompt + prompt + prompt + opened_read_only("21", "data.txt"), "data.txt"},
      {__LINE__, "C a note\nR data.txt\n", prompt + " Comment>>> a note\n" + prompt + opened_read_only("21", "data.txt"),
       "data.txt"},
      // A name too long is refused and asked for again, never cut.
      {__LINE__, "R " + long_name + "\nR data.txt\n",
       prompt + " <OPENF->W> 21 File name longer than 64 characters: " + long_name + "\n" + prompt +
           opened_read_only("21", "data.txt"),
       "data.txt"},
      // A failed open: Ignore keeps prompting, for whole lines now, under the header.
      {__LINE__, "R missing.dat\nI\n  \n",
       prompt + failed('E', "missing.dat") + " <OPENF->I> Attention: Give the input file]\n" + abort_retry + " \n" +
           header,
       ""},
      // Prompt_again asks for the unit again.
      {__LINE__, "R missing.dat\nP\nR data.txt\n",
       prompt + failed('E', "missing.dat") + " <OPENF->I> Attention: Give the input file]\n" + abort_retry + " \n" +
           prompt + opened_read_only("21", "data.txt"),
       "data.txt"},
      // The end of input at the Abort/Retry prompt ends the sequence (the failure is not counted).
      {__LINE__, "R missing.dat\n",
       prompt + failed('E', "missing.dat") + " <OPENF->I> Attention: Give the input file]\n" + abort_retry, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    instructions("21 P Give the input file]\n  \n");
    feed_standard_input(r.answers);
    EXPECT_EQ(openf(10), 0);
    EXPECT_EQ(out_.text(), r.out);
    EXPECT_EQ(file_of_unit(21), r.file);
    if (!r.file.empty()) {
      EXPECT_EQ(registered(21), r.file);
    }
  }
  // No answer at all: the record layer's fatal report.
  reset();
  instructions("21 P Give the input file]\n");
  feed_standard_input("");
  EXPECT_THROW(openf(10), FatalIo);
  // Abort ends the run.
  reset();
  instructions("21 P Give the input file]\n");
  feed_standard_input("R missing.dat\nA\n");
  EXPECT_THROW(openf(10), StopRun);
}

TEST_F(OpenDialogue, UnitPromptInStringMode) {
  // The prompt text is the string itself, up to the "]".
  const std::string prompt = not_open + unit_prompt("21 P Give the input file", "21");
  struct Row {
    int line;
    std::string spec, answers;
    int status;
    std::string out, file;
  } rows[] = {
      {__LINE__, "21 P Give the input file]", "R data.txt\n", 0, prompt + opened_read_only("21", "data.txt"),
       "data.txt"},
      {__LINE__, "21 P Give the input file]", "\n", 0, prompt, ""},
      // "*" ends the call as a blank does: nothing opened, nothing acted on again.
      {__LINE__, "21 P Give the input file]", "*\n", 0, prompt, ""},
      {__LINE__, "21 P Give the input file]", "P\nR data.txt\n", 0,
       prompt + unit_prompt("21 P Give the input file", "21") + opened_read_only("21", "data.txt"), "data.txt"},
      // A failed open ends the call as for a string (no Abort/Retry prompt).
      {__LINE__, "21 P Give the input file]", "R missing.dat\n", 1, prompt + failed('T', "missing.dat"), ""},
      // No unit to prompt for: nothing is opened.
      {__LINE__, "-1 P Give", "", 0, not_open, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    feed_standard_input(r.answers);
    EXPECT_EQ(openfs_e(r.spec), r.status);
    EXPECT_EQ(out_.text(), r.out);
    EXPECT_EQ(file_of_unit(21), r.file);
  }
  // A unit field that cannot be read: column 4 becomes "P" and the unit is read free-format
  // from the start of the string.
  reset();
  out_.clear();
  feed_standard_input("R data.txt\n");
  EXPECT_EQ(openfs("2, R a.dat"), 0);
  EXPECT_EQ(out_.text(), not_open + unit_prompt("2, P a.dat", " 2") + opened_read_only(" 2", "data.txt"));
  EXPECT_EQ(file_of_unit(2), "data.txt");

  // A string whose start is no integer: the fatal report of the read.
  for (const char* spec : {"ab R x", "xx P a.dat"}) {
    SCOPED_TRACE(spec);
    reset();
    out_.clear();
    EXPECT_THROW(openfs(spec), FatalIo);
    EXPECT_EQ(out_.text(), not_open);
  }
}

TEST_F(OpenDialogue, ScreenFormShowsTheUnitWithALeadingZero) {
  const std::string screen =
      " <TexMod>E> Not implemented\n"
      " \n"
      " <WriStr>>>  <OPENF->!> Which file\n"
      " <WriStr>>>  <OPENF->I> 07:O File_Name\n"
      " <OPENF->?> 07: \n";
  // The name field of the answer starts in column 4.
  instructions("07 P Which file] T\n  \n");
  feed_standard_input("R  data.txt\n");
  EXPECT_EQ(openf(10), 0);
  EXPECT_EQ(out_.text(), screen + opened_read_only(" 7", "data.txt"));
  EXPECT_EQ(file_of_unit(7), "data.txt");

  std::string string_screen = screen;
  string_screen.replace(string_screen.find("Which"), 5, "07 T Which");
  reset();
  out_.clear();
  feed_standard_input("R data.txt\n");
  EXPECT_EQ(openfs_e("07 T Which file]  T  tail"), 1);
  EXPECT_EQ(out_.text(), not_open + string_screen + " <OPENF->T>  7 R File ->ata.txt<- Status=OLD         2 READONLY=T\n" +
                             " <OPENF->I> DFN ->ata.txt" + std::string(121, ' ') + "<-\n");
}

TEST_F(OpenDialogue, QuestionMarkInAName) {
  ScopedEnv number{"KVAX_T_N", "12"};
  const std::string asked = not_open + " <OPENF->>> 21 R run?.dat\n <OPENF->?> Specify \"?\" in run?.dat ->";
  struct Row {
    int line;
    std::string spec, answers, out, file;
  } rows[] = {
      {__LINE__, "21 R run?.dat", "12\n", asked + report("21:R", "run12.dat"), "run12.dat"},
      {__LINE__, "21 R run?.dat", "\n", asked + report("21:R", "run.dat"), "run.dat"},
      {__LINE__, "21 R run?.dat", "1 2\n", asked + report("21:R", "run1.dat"), "run1.dat"},
      {__LINE__, "21 R run?.dat", "$KVAX_T_N\n", asked + report("21:R", "run12.dat"), "run12.dat"},
      // A completed name too long is refused and asked for again.
      {__LINE__, "21 R run?.dat", std::string(60, 'n') + "\n12\n",
       asked + " <OPENF->W> 21 File name longer than 64 characters: run" + std::string(60, 'n') + ".dat\n" + not_open +
           " <OPENF->>> 21 R " + std::string(60, 'n') + "\n <OPENF->?> Specify \"?\" in run?.dat ->" +
           report("21:R", "run12.dat"),
       "run12.dat"},
      {__LINE__, "21 R a?b?.dat", "1\n2\n",
       not_open + " <OPENF->>> 21 R a?b?.dat\n <OPENF->?> Specify \"?\" in a?b?.dat ->" + not_open +
           " <OPENF->>> 21 R 1\n <OPENF->?> Specify \"?\" in a1b?.dat ->" + report("21:R", "a1b2.dat"),
       "a1b2.dat"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    {
      // qia5 comes from tty at the last openf: answers on standard input without a terminal.
      ScopedEnv tty{"tty", "/dev/pts/999"};
      instructions(r.spec + "\n  \n");
      feed_standard_input(r.answers);
      EXPECT_EQ(openf(10), 0);
    }
    EXPECT_EQ(out_.text(), r.out);
    EXPECT_EQ(file_of_unit(21), r.file);
    EXPECT_EQ(registered(21), r.file);
  }

  // A name that grows past 64 characters through its references is refused whole.
  reset();
  out_.clear();
  ScopedEnv longer{"KVAX_T_LONG", std::string(70, 'L').c_str()};
  {
    ScopedEnv tty{"tty", "/dev/pts/999"};
    instructions("21 R run?.dat\n  \n");
    feed_standard_input("$KVAX_T_LONG\n");
    EXPECT_THROW(openf(10), StopRun);
  }
  EXPECT_EQ(out_.text(), asked + " <OPENF->E> 21 File name longer than 64 characters: run" + std::string(70, 'L') +
                             ".dat\n <OPENF->T> Error count:  1\n");

  // No terminal and no openf with tty: the run ends.
  reset();
  out_.clear();
  EXPECT_THROW(openfs("21 R data?.dat"), StopRun);
  EXPECT_EQ(out_.text(), not_open + " Cannot interact\n");
}

TEST_F(OpenDialogue, QuestionMarkAnsweredOnTheTerminal) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  ScopedEnv tty{"tty", pty.path().c_str()};
  ScopedEnv term{"term", "vt100"};
  int unit = 0;
  open_term_q(unit);
  ASSERT_TRUE(is_connected(2));
  pty.type("12\n");
  EXPECT_EQ(openfs("21 R run?.dat"), 0);
  EXPECT_EQ(out_.text(), report("21:R", "run12.dat"));
  EXPECT_EQ(pty.screen(), " <OPENF->>> 21 R run?.dat\n <OPENF->?> Specify \"?\" in run?.dat ->");
  EXPECT_EQ(file_of_unit(21), "run12.dat");
}

TEST_F(OpenDialogue, AlreadyOpen) {
  const std::string asked = " <OPENF->W> Already open: a.dat" + std::string(59, ' ') +
                            "\n <OPENF->?> Rewind Close End_file Prompt_again21 (R/C/E/P):";
  const std::string close_and_open = " <OPENF->>> Close 21\n" + opened_read_only("21", "b.dat");
  struct Row {
    int line;
    std::string answer;
    bool read_only;
    std::string out, file, next, a_dat;
  } rows[] = {
      {__LINE__, "R", false, asked + " <OPENF->>> Rewind 21\n" + header, "a.dat", "a1", "a1\na2\n"},
      {__LINE__, "c", false, asked + close_and_open + header, "b.dat", "b1", "a1\na2\n"},
      {__LINE__, "E", false, asked + close_and_open + header, "b.dat", "b1", "a1\n"},
      {__LINE__, "E", true, asked + " <OPENF->E> End file failed/denied.\n" + close_and_open + header, "b.dat", "b1",
       "a1\na2\n"},
      {__LINE__, "X", false, asked + " <OPENF->W> Ignored. Try again ...\n" + header, "a.dat", "a2", "a1\na2\n"},
      // Prompt_again only while the instructions come from elsewhere.
      {__LINE__, "P", false, asked + header, "a.dat", "a2", "a1\na2\n"},
  };
  ScopedEnv tty{"tty", "/dev/pts/999"};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    a_dat_at_its_second_line(r.read_only);
    out_.clear();
    feed_standard_input("21 R b.dat\n" + r.answer + "\n  \n");
    EXPECT_EQ(openf(5), 0);
    EXPECT_EQ(out_.text(), header + r.out);
    EXPECT_EQ(file_of_unit(21), r.file);
    EXPECT_EQ(next_line(21), r.next);
    EXPECT_EQ(read_file(dir_.file("a.dat")), r.a_dat);
  }
  reset();
  a_dat_at_its_second_line();
  feed_standard_input("21 R b.dat\n");
  EXPECT_THROW(openf(5), FatalIo);
}

TEST_F(OpenDialogue, AlreadyOpenPromptAgainAsksForTheUnit) {
  a_dat_at_its_second_line();
  instructions("21 P Which]\n  \n");
  feed_standard_input("R b.dat\nP\nR b.dat\nC\n");
  out_.clear();
  EXPECT_EQ(openf(10), 0);
  const std::string prompt = unit_prompt("Which", "21");
  const std::string asked = " <OPENF->W> Already open: a.dat" + std::string(59, ' ') +
                            "\n <OPENF->?> Rewind Close End_file Prompt_again21 (R/C/E/P):";
  EXPECT_EQ(out_.text(), prompt + asked + prompt + asked + " <OPENF->>> Close 21\n" + opened_read_only("21", "b.dat"));
  EXPECT_EQ(file_of_unit(21), "b.dat");
}

TEST_F(OpenDialogue, AbortRetryFromTheTerminalInstructions) {
  const std::string attention = header + failed('E', "missing.dat") + " <OPENF->I> Attention: OPEN failed.\n" + abort_retry;
  struct Row {
    int line;
    std::string answers, out;
  } rows[] = {
      {__LINE__, "", attention},  // the end of input ends the sequence
      {__LINE__, "R\n", attention + " \n" + failed('E', "missing.dat") + " <OPENF->I> Attention: OPEN failed.\n" +
                            abort_retry},
      {__LINE__, "I\n  \n", attention + " \n" + header},
      {__LINE__, "x\n  \n", attention + " \n" + header},
  };
  ScopedEnv tty{"tty", "/dev/pts/999"};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    feed_standard_input("21 R missing.dat\n" + r.answers);
    EXPECT_EQ(openf(5), 0);
    EXPECT_EQ(out_.text(), r.out);
  }
  reset();
  out_.clear();
  feed_standard_input("21 R missing.dat\na\n");
  EXPECT_THROW(openf(5), StopRun);
  EXPECT_EQ(out_.text(), attention + " \n");
}

TEST_F(OpenDialogue, Inquiry) {
  ASSERT_EQ(open_unit(22, OpenSpec{.file = "a.dat", .status = "OLD"}), 0);
  save_file_name(22, "a.dat first run");
  ScopedEnv tty{"tty", "/dev/pts/999"};
  feed_standard_input("21 ?\n22 ?\n21 ? a.dat  comment\n21 ? none.dat\n21 D /data\n21 ?\n  \n");
  EXPECT_EQ(openf(5), 0);
  std::string dir_line = " <OPENF->>> DIR  /data/";
  dir_line.resize(53, ' ');
  EXPECT_EQ(out_.text(), header + " <OPENF->>> Unit available.\n" + header + " <OPENF->>> Connected to ->a.dat<-\n" +
                             header + " <OPENF->>> FileExists = T\n" + header + " <OPENF->>> FileExists = F\n" + header +
                             dir_line + " - \n" + header + "  DIR=/data/" + std::string(42, ' ') +
                             "\n <OPENF->>> Unit available.\n" + header);
  EXPECT_FALSE(is_connected(21));
}

TEST_F(OpenDialogue, TraceLinesOfPrompting) {
  ScopedEnv dbg{"openf_dbg", "yes"};  // no unit named: 99, not connected, so standard output
  instructions("21 P Which]\n  \n");
  feed_standard_input("P\nR data.txt\n");
  EXPECT_EQ(openf(10), 0);
  const std::string pass = " <openf->d> qprmpt,qfs,qia5,    iuu,iun,iupr=";
  const std::string prompt = unit_prompt("Which", "21");
  EXPECT_EQ(out_.text(), pass + " F F F          -1          10           5\n" +
                             " openf: activate prompt due to \"P\"\n" +
                             pass + " T F F          21          10           5\n" +
                             " openf:           5           5\n" + prompt +
                             " openf: activate prompt, opt=P\n" +
                             pass + " T F F          21          10           5\n" +
                             " openf:           5           5\n" + prompt +
                             " openf: activate prompt, opt=R\n" + opened_read_only("21", "data.txt") +
                             pass + " F F F          -1          10           5\n");
}

// A line may not connect the unit its own lines or the answers come from.
TEST_F(OpenDialogue, TheUnitOfTheLinesOrAnswersIsNotReopened) {
  const std::string refused = " <OPENF->E> 10 R Unit is read for the instructions or the answers: not opened\n";
  instructions("10 R data.txt\n  \n");
  EXPECT_THROW(openf(10), StopRun);
  EXPECT_EQ(out_.text(), refused + " <OPENF->T> Error count:  1\n");

  reset();
  out_.clear();
  ScopedEnv tty{"tty", "/dev/pts/999"};
  feed_standard_input("05 W x.dat\n  \n");
  EXPECT_EQ(openf(5), 0);
  EXPECT_EQ(out_.text(), header + " <OPENF->E>  5 W Unit is read for the instructions or the answers: not opened\n" +
                             header);

  reset();
  out_.clear();
  feed_standard_input("W x.dat\n");
  EXPECT_EQ(openfs_e("05 P Which]"), 1);
  EXPECT_EQ(out_.text(), not_open + unit_prompt("05 P Which", " 5") +
                             " <OPENF->T>  5 W Unit is read for the instructions or the answers: not opened\n");
  EXPECT_FALSE(test::file_exists(dir_.file("x.dat")));
}

}  // namespace
}  // namespace kvax
