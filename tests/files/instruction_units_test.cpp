// Instruction input and terminal units: the terminal's detection and queries, open_ins
// with scripted answers on standard input and on a pseudo-terminal, the command-line
// forms, the label dialogue, rewind_ins and the bounds of names and labels.
#include <kvax/files/instruction_units.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <string>
#include <vector>

#include <kvax/files/openf.h>
#include <kvax/files/registry.h>
#include <kvax/io/clock.h>
#include <kvax/io/iostat.h>
#include <kvax/io/program_arguments.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/scan/label_location.h>

#include "fake_terminal.h"
#include "scoped_env.h"
#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::Pty;
using test::ScopedEnv;
using test::ScratchDir;
using test::write_file;

std::tm fixed_clock() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 6;
  t.tm_min = 19;
  t.tm_sec = 18;
  return t;
}

// The two lines of an opened instruction file: on standard output with the date, on the
// prompt's unit with "INSTRUCTION FILE", both from column 54.
std::string dated(int unit, std::string_view name) {
  std::string l = " <OpenIn>>> " + std::string(unit < 10 ? " " : "") + std::to_string(unit) + ":  " + std::string(name);
  l.resize(std::max<std::size_t>(l.size(), 53), ' ');
  return l + " - on 2026-12-08 06:19:18\n";
}
std::string instruction_file(int unit, std::string_view name) {
  std::string l = " <OpenIn>>> " + std::string(unit < 10 ? " " : "") + std::to_string(unit) + ":  " + std::string(name);
  l.resize(std::max<std::size_t>(l.size(), 53), ' ');
  return l + " - INSTRUCTION FILE\n";
}

const std::string prompt = " > *.ins file (job.ins)> ";
const std::string no_tty = " <OpenIn>>> No tty declared. We will use units 5 and 6 instead of   2\n";
const std::string help =
    " <OpenIn>I> At the prompt, you have the following alternatives:\n"
    " <OpenIn>I> (1) Specify entire name of the instruction file \n"
    " <OpenIn>I>     (criterion: name contains \".\" or use ' ' as delimiters).\n"
    " <OpenIn>I> (2) Specify first part (no dot) - \".ins\" will be appended.\n"
    " <OpenIn>I> (3) Specify a path (must be right-delimited by \"/\") -\n"
    " <OpenIn>I>     the default name shown will be appended.\n"
    " <OpenIn>I> (4) Specify TER: or TRM: for terminal input;\n"
    " <OpenIn>W>     Not all programs allow that though.\n"
    " <OpenIn>I> (5) Specify \"$\"; the string alt.(1)...(4) will be\n"
    " <OpenIn>I>     from the argument list of the program launch.\n";

class InstructionUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    reset();
    set_clock_for_tests(fixed_clock);
    arguments({});
    write_file(dir_.file("run.ins"), "first\nSTART\nafter start\nlast\n");
    write_file(dir_.file("run.dat"), "dat\n");
    write_file(dir_.file("run"), "bare\n");
    write_file(dir_.file("job.ins"), "job\n");
    ASSERT_EQ(::mkdir(dir_.file("dir").c_str(), 0755), 0);
    write_file(dir_.file("dir/job.ins"), "dir job\n");
  }
  void TearDown() override {
    out_.clear();
    close_all_units();
    feed_standard_input("");
    reset();
    set_clock_for_tests(nullptr);
    arguments({});
    EXPECT_EQ(::chdir(cwd_), 0);
  }
  static void reset() {
    close_all_units();
    instruction_units_reset_for_tests();
    label_location_reset_for_tests();
    openf_reset_for_tests();
    registry_reset_for_tests();
  }
  static void arguments(std::vector<const char*> args) {
    args.insert(args.begin(), "prog");
    set_program_arguments(static_cast<int>(args.size()), args.data());
  }
  // The next line of a unit, or "<end>".
  static std::string next_line(int unit) {
    Text line(32, ' ');
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
  ScopedEnv tty_{"tty", nullptr};
  ScopedEnv term_{"term", "vt100"};
  CapturedOutput out_;
};

TEST_F(InstructionUnits, QueriesWithoutATerminal) {
  int unit = -1;
  open_term(unit);
  EXPECT_EQ(unit, -1);
  EXPECT_EQ(out_.text(), " <OpenTe>>> Not open, unit was   2\n");
  out_.clear();
  open_term_q(unit);
  EXPECT_EQ(unit, -1);
  EXPECT_EQ(out_.text(), "");

  // terminal_out asks once and keeps its answer until renewed.
  EXPECT_EQ(terminal_out(0), 6);
  EXPECT_EQ(terminal_out(0), 6);
  EXPECT_EQ(out_.text(), " <OpenTe>>> Not open, unit was   2\n");
  out_.clear();

  // Without tty the terminal is units 5 and 6.
  unit = 0;
  open_term(unit);
  EXPECT_EQ(out_.text(), no_tty);
  out_.clear();
  unit = -1;
  open_term(unit);
  EXPECT_EQ(unit, -1);
  EXPECT_EQ(out_.text(), " <OpenTe>>> Not open, unit was  -1\n");
  EXPECT_EQ(terminal_out(1), 6);

  instruction_units_reset_for_tests();
  out_.clear();
  unit = 0;
  open_term_q(unit);
  EXPECT_EQ(out_.text(), "");
}

TEST_F(InstructionUnits, TerminalOnTheDeviceNamedByTty) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  ASSERT_TRUE(pty.path().starts_with("/dev/pts/"));
  ScopedEnv tty("tty", pty.path().substr(5).c_str());  // "pts/N": /dev/ is put in front
  int unit = 0;
  open_term(unit);
  EXPECT_EQ(out_.text(), " <OpenIn>>> Your terminal: " + pty.path() + " (I suppose)\n" +
                             " <OpenIn>>> Open Terminal: " + pty.path() + ", unit was   2\n");
  EXPECT_TRUE(is_connected(2));
  out_.clear();
  // Connected: a query gives the unit, a second connection does nothing.
  unit = -1;
  open_term(unit);
  EXPECT_EQ(unit, 2);
  unit = 0;
  open_term(unit);
  EXPECT_EQ(out_.text(), "");
  EXPECT_EQ(terminal_out(0), 2);
  write_fmt(terminal_out(0), "(A)", "to the terminal");
  flush_unit(2);
  EXPECT_EQ(pty.screen(), "to the terminal\n");

  close_term();
  EXPECT_FALSE(is_connected(2));
  unit = -1;
  open_term(unit);
  EXPECT_EQ(unit, -1);
  EXPECT_EQ(out_.text(), " <OpenTe>>> Not open, unit was  -9\n");
  EXPECT_EQ(terminal_out(0), 2);  // kept until renewed
  EXPECT_EQ(terminal_out(1), 6);

  // A caller may name another unit.
  instruction_units_reset_for_tests();
  out_.clear();
  unit = 7;
  open_term_q(unit);
  EXPECT_EQ(out_.text(), " <OpenIn>>> Your terminal: " + pty.path() + " (I suppose)\n");
  EXPECT_TRUE(is_connected(7));
}

// tty naming what is no character device: no terminal, and the file keeps what it holds.
TEST_F(InstructionUnits, TtyThatIsNoTerminal) {
  test::ScratchDir d;
  test::write_file(d.file("plain.txt"), "keep\n");
  for (const std::string name : {"plain.txt", "."}) {
    SCOPED_TRACE(name);
    reset();
    out_.clear();
    const std::string device = "/dev/.." + d.file(name);
    ScopedEnv tty("tty", device.c_str());
    int unit = 0;
    open_term(unit);
    EXPECT_EQ(out_.text(), " <OpenIn>W> Not a terminal: " + device + "\n" + no_tty);
    EXPECT_EQ(terminal_out(1), 6);
  }
  EXPECT_EQ(test::read_file(d.file("plain.txt")), "keep\n");
}

TEST_F(InstructionUnits, TerminalThatCannotBeConnected) {
  const std::string advice =
      " <OpenIn>I> Issue the following unix command in this terminal window:\n"
      "            setenv term vt100\n"
      " <OpenIn>I> or anyway set term in environment.\n";
  const std::string long_tty = "/dev/" + std::string(28, 'x');
  struct Row {
    int line;
    std::string tty, term, lines;
  } rows[] = {
      {__LINE__, "pts/pts999", "xterm",
       " <OpenIn>>> Your terminal: /dev/pts/pts999 (I suppose)\n"
       " <OpenIn>T> ERR     2 Terminal unit:  2.  Name ->/dev/pts999 <&> xterm                           <-\n"},
      {__LINE__, "/dev/pty/pty9", "linux",
       " <OpenIn>E> Unknown term type: \"linux\"\n" + advice +
           " <OpenIn>T> ERR     2 Terminal unit:  2.  Name ->/dev/pty9 <&> linux                           <-\n"},
      {__LINE__, "/dev/pts/pty9", "", " <OpenIn>E> Unknown term type: \"\"\n" + advice +
           " <OpenIn>T> ERR     2 Terminal unit:  2.  Name ->/dev/pts9 <&>                                 <-\n"},
      // A device path longer than its field is refused, never cut.
      {__LINE__, long_tty, "hp2621",
       " <OpenIn>T> ERR    36 Terminal unit:  2.  Name ->" + long_tty + " <&> hp2621                          <-\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    ScopedEnv tty("tty", r.tty.c_str());
    ScopedEnv term("term", r.term.c_str());
    int unit = 0;
    EXPECT_THROW(open_term(unit), StopRun);
    EXPECT_EQ(out_.text(), r.lines);
  }
}

TEST_F(InstructionUnits, AnswersOnStandardInput) {
  ASSERT_EQ(::mkdir(dir_.file("sub.d").c_str(), 0755), 0);
  write_file(dir_.file("sub.d/run.ins"), "sub\n");
  struct Row {
    int line;
    std::string answer, opened, first_line;
  } rows[] = {
      {__LINE__, "run", "run.ins", "first"},
      {__LINE__, "run.dat", "run.dat", "dat"},
      {__LINE__, "run'", "run", "bare"},
      {__LINE__, "run\"", "run", "bare"},
      {__LINE__, "dir/", "dir/job.ins", "dir job"},
      {__LINE__, "", "job.ins", "job"},
      {__LINE__, "sub.d/run", "sub.d/run.ins", "sub"},  // a dot in the directory is no extension
      {__LINE__, "run>START", "run.ins", "after start"},
      {__LINE__, "run>START]x", "run.ins", "after start"},
      {__LINE__, "run>START$x", "run.ins", "after start"},
      // A long name is shown whole, the date after it.
      {__LINE__, std::string(44, 'n'), std::string(44, 'n') + ".ins", "long"},
  };
  write_file(dir_.file(std::string(44, 'n') + ".ins"), "long\n");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    feed_standard_input(r.answer + "\n");
    int unit = 21;
    open_ins(unit, "job.ins");
    EXPECT_EQ(unit, 21);
    EXPECT_EQ(next_line(21), r.first_line);
    EXPECT_EQ(registered(21), r.opened);
    const bool label = r.answer.find('>') != std::string::npos;
    EXPECT_EQ(out_.text(), no_tty + prompt + " \n" +
                               (label ? " <OpenIn>>> Located at START\n" : "") + dated(21, r.opened) +
                               instruction_file(21, r.opened));
    EXPECT_EQ(cncoi().located, label ? 2 : 0);
    close_unit(21);
  }
  // The label stays for the next open that names none, which does not look for it.
  reset();
  feed_standard_input("run>START\nrun.dat\n");
  int unit = 21;
  open_ins(unit, "job.ins");
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(21), "dat");
  EXPECT_EQ(cncoi().label_length, 5);
  EXPECT_EQ(cncoi().label, text("START", 16));
  EXPECT_EQ(cncoi().located, 0);
}

TEST_F(InstructionUnits, StandardUnitsAfterTheTerminalIsClosed) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  ScopedEnv tty("tty", pty.path().c_str());
  int unit = 0;
  open_term_q(unit);
  close_term();
  // The terminal is gone: answers come from standard input, prompts go to standard output.
  out_.clear();
  feed_standard_input("run\n");
  unit = 21;
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(21), "first");
  EXPECT_EQ(out_.text(), prompt + " \n" + dated(21, "run.ins") + instruction_file(21, "run.ins"));
  EXPECT_EQ(pty.screen(), "");
}

TEST_F(InstructionUnits, InstructionsFromTheTerminal) {
  for (const char* answer : {"TER:", "ter:", "TRM:x", "CON:", "tty:", ":"}) {
    SCOPED_TRACE(answer);
    reset();
    out_.clear();
    feed_standard_input(std::string(answer) + "\n");
    int unit = 21;
    open_ins(unit, "job.ins");
    EXPECT_EQ(unit, 5);
    EXPECT_EQ(out_.text(), no_tty + prompt + " <OpenIn>>> Expecting instruction input from the terminal !\n");
  }
}

TEST_F(InstructionUnits, FailedOpenOnATerminalAsksOnce) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  ScopedEnv tty("tty", pty.path().c_str());
  // A missing file, then a good one.
  pty.type("nothere\nrun\n");
  int unit = 21;
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(21), "first");
  EXPECT_EQ(out_.text(), " <OpenIn>>> Open Terminal: " + pty.path() + ", unit was   2\n \n \n" + dated(21, "run.ins"));
  EXPECT_EQ(pty.screen(), prompt + " <OpenIn>W> ERR:  nothere.ins\n" + help + prompt + instruction_file(21, "run.ins"));

  // The first failure was the only one allowed for the run.
  out_.clear();
  pty.type("nothere\n");
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text(), " \n <OpenIn>T> ERR: >" + text("nothere.ins", 64) +
                             "<  Dot, length, tail=  11   8   1\n"
                             " <OpenIn>T> ERR for the second time.\n");
  EXPECT_EQ(pty.screen(), prompt);
}

TEST_F(InstructionUnits, MissingFileTwice) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  ScopedEnv tty("tty", pty.path().c_str());
  pty.type("dir/a\nx/y.z.ins\n");
  int unit = 21;
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text(), " <OpenIn>>> Open Terminal: " + pty.path() + ", unit was   2\n \n \n <OpenIn>T> ERR: >" +
                             text("x/y.z.ins", 64) + "<  Dot, length, tail=   9   4   3\n"
                             " <OpenIn>T> ERR for the second time.\n");
  EXPECT_EQ(pty.screen(), prompt + " <OpenIn>W> ERR:  dir/a.ins\n" + help + prompt);
}

TEST_F(InstructionUnits, FailedOpenWithoutATerminalEndsTheRun) {
  feed_standard_input("nothere\nrun\n");
  int unit = 21;
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text(), no_tty + prompt + " \n <OpenIn>T> Trouble " + text("nothere.ins", 64) + text("", 32) +
                             text("", 32) + "           5           6          -1\n <OpenIn>T> Trouble\n");
}

TEST_F(InstructionUnits, NameFromTheCommandLine) {
  struct Row {
    int line;
    std::vector<const char*> args;
    std::string shown, opened, next;
  } rows[] = {
      {__LINE__, {"!job"}, "job", "job.ins", "job"},
      {__LINE__, {"!run.dat", "other"}, "run.dat", "run.dat", "dat"},
      {__LINE__, {"!run", ">START"}, "run >START", "run.ins", "after start"},
      {__LINE__, {"!dir/"}, "dir/", "dir/job.ins", "dir job"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    arguments(r.args);
    int unit = 22;
    open_ins(unit, "job.ins");
    EXPECT_EQ(next_line(22), r.next);
    const bool label = r.shown.find('>') != std::string::npos;
    EXPECT_EQ(out_.text(), " <OpenIn>>> From command line ->" + r.shown + "<-\n \n" +
                               (label ? " <OpenIn>>> Located at START\n" : "") + dated(22, r.opened) +
                               instruction_file(22, r.opened));
    close_unit(22);
  }
  // "$" at the prompt takes the name from the command line too.
  reset();
  out_.clear();
  arguments({"run", ">START"});
  feed_standard_input("$\n");
  int unit = 22;
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(22), "after start");
  EXPECT_EQ(out_.text(), no_tty + prompt + " <OpenIn>>> From command line ->run >START<-\n \n" +
                             " <OpenIn>>> Located at START\n" + dated(22, "run.ins") + instruction_file(22, "run.ins"));
}

TEST_F(InstructionUnits, CommandLineLabelNotFoundAsksOnStandardInput) {
  arguments({"!run", ">NOPE"});
  feed_standard_input(">START\n");
  int unit = 22;
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(22), "after start");
  EXPECT_EQ(out_.text(), " <OpenIn>>> From command line ->run >NOPE<-\n \n"
                         " <OpenIn>E> Not found: NOPE\n"
                         " <OpenIn>?> Stop | Rewind | Cont | >text <OpenIn>>> Located at START\n" +
                             dated(22, "run.ins") + instruction_file(22, "run.ins"));
}

TEST_F(InstructionUnits, CommandLineNameThatCannotBeOpened) {
  arguments({"!nothere"});
  int unit = 22;
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  const std::string from = " <OpenIn>>> From command line ->nothere<-\n \n";
  EXPECT_EQ(out_.text(), from + " <OpenIn>W> ERR:  nothere.ins\n" + help + from + " <OpenIn>T> ERR: >" +
                             text("nothere.ins", 64) + "<  Dot, length, tail=  11   8   1\n" +
                             " <OpenIn>T> ERR for the second time.\n");
}

TEST_F(InstructionUnits, ProgramCommentBlock) {
  write_file(dir_.file("prog.f"), "c Usage: prog [!name]\nC  second line\n      x = 1\nc\nc_ end of block\nc after\n");
  save_file_name(0, "prog.f");
  arguments({"!?"});
  int unit = 22;
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text(), " <OPENF->3> 21:R prog.f" + std::string(31, ' ') + "-\n"
                         " Usage: prog [!name]\n"
                         "  second line\n"
                         "\n");
  // "?" at the prompt; without the program's file the opener's failure ends the run.
  reset();
  out_.clear();
  arguments({});
  save_file_name(0, "noprog.f");
  feed_standard_input("?\n");
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text().substr(0, (no_tty + prompt).size()), no_tty + prompt);
  EXPECT_NE(out_.text().find(" <OPENF->T> 21 R File ->noprog.f<- Status=OLD     "), std::string::npos);
}

TEST_F(InstructionUnits, LabelNotFound) {
  const std::string head = no_tty + prompt + " \n <OpenIn>E> Not found: NOPE\n <OpenIn>?> Stop | Rewind | Cont | >text";
  struct Row {
    int line;
    std::string answers, next, lines;
    int located;
  } rows[] = {
      {__LINE__, "run>NOPE\n>START\n", "after start", head + " <OpenIn>>> Located at START\n", 2},
      {__LINE__, "run>NOPE\n>START]x\n", "after start", head + " <OpenIn>>> Located at START\n", 2},
      {__LINE__, "run>NOPE\nc\n", "first", head, 0},
      {__LINE__, "run>NOPE\nRewind\n", "first", head, 0},
      // A label too long for its field is refused and asked for again.
      {__LINE__, "run>NOPE\n>ABCDEFGHIJKLMNOPQ\n>START\n", "after start",
       head + " <OpenIn>W> Label longer than  16 characters; give a shorter one.\n"
              " <OpenIn>?> Stop | Rewind | Cont | >text <OpenIn>>> Located at START\n",
       2},
      {__LINE__, "run>NOPE\n>OTHER\nr\n", "first",
       head + " <OpenIn>E> Not found: OTHER\n <OpenIn>?> Stop | Rewind | Cont | >text", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    feed_standard_input(r.answers);
    int unit = 21;
    open_ins(unit, "job.ins");
    EXPECT_EQ(next_line(21), r.next);
    EXPECT_EQ(out_.text(), r.lines + dated(21, "run.ins") + instruction_file(21, "run.ins"));
    EXPECT_EQ(cncoi().located, r.located);
    close_unit(21);
  }
  // Any other answer ends the run; so does the end of the input.
  reset();
  out_.clear();
  feed_standard_input("run>NOPE\nstop\n");
  int unit = 21;
  EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
  EXPECT_EQ(out_.text(), head + " <OpenIn>T> USER\n");
  reset();
  feed_standard_input("run>NOPE\n");
  EXPECT_THROW(open_ins(unit, "job.ins"), FatalIo);
}

TEST_F(InstructionUnits, NamesAndLabelsLongerThanTheirFields) {
  const std::string refused_name = " <OpenIn>W> Name longer than  64 characters; give a shorter one.\n";
  const std::string long_dir = std::string(60, 'd') + "/";
  struct Row {
    int line;
    std::string answers, lines;
  } rows[] = {
      {__LINE__, std::string(65, 'a') + "\nrun\n", refused_name + prompt},
      {__LINE__, long_dir + "\nrun\n", refused_name + prompt},  // with the default name added
      {__LINE__, std::string(61, 'r') + "\nrun\n", " \n" + refused_name + prompt},  // with ".ins" added
      {__LINE__, "run>ABCDEFGHIJKLMNOPQ\nrun\n",
       " <OpenIn>W> Label longer than  16 characters; give a shorter one.\n" + prompt},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    reset();
    out_.clear();
    feed_standard_input(r.answers);
    int unit = 21;
    open_ins(unit, "job.ins");
    EXPECT_EQ(next_line(21), "first");
    EXPECT_EQ(out_.text(), no_tty + prompt + r.lines + " \n" + dated(21, "run.ins") + instruction_file(21, "run.ins"));
    close_unit(21);
  }
  // From the command line the run ends.
  for (const auto& args : std::vector<std::vector<std::string>>{{"!" + std::string(64, 'a')},
                                                                  {"!run", ">" + std::string(64, 'L')},
                                                                  {"!" + std::string(60, 'a'), ">LABEL"},
                                                                  {"!run", ">ABCDEFGHIJKLMNOPQ"}}) {
    SCOPED_TRACE(args.back());
    reset();
    out_.clear();
    std::vector<const char*> a;
    for (const auto& s : args) a.push_back(s.c_str());
    arguments(a);
    int unit = 21;
    EXPECT_THROW(open_ins(unit, "job.ins"), StopRun);
    EXPECT_NE(out_.text().find(" from the command line longer than "), std::string::npos) << out_.text();
    EXPECT_FALSE(is_connected(21));
  }
}

TEST_F(InstructionUnits, IllegalDefaultNamesAndTheEndOfInput) {
  int unit = 21;
  EXPECT_THROW(open_ins(unit, "dir/"), StopRun);
  EXPECT_EQ(out_.text(), " <OpenIn>T> Illegal default name\n");
  out_.clear();
  EXPECT_THROW(open_ins(unit, std::string(33, 'j')), StopRun);
  EXPECT_EQ(out_.text(), " <OpenIn>T> Default name longer than 32 characters\n");
  reset();
  out_.clear();
  feed_standard_input("");
  EXPECT_THROW(open_ins(unit, "job.ins"), FatalIo);
}

TEST_F(InstructionUnits, RewindInsFindsTheLabelAgain) {
  feed_standard_input("run>START\n");
  int unit = 21;
  open_ins(unit, "job.ins");
  EXPECT_EQ(next_line(21), "after start");
  EXPECT_EQ(next_line(21), "last");
  out_.clear();
  EXPECT_EQ(rewind_ins(21), 0);
  EXPECT_EQ(next_line(21), "after start");
  EXPECT_EQ(cncoi().located, 2);
  EXPECT_EQ(out_.text(), "");

  // A unit that cannot be rewound, and a label that is gone.
  EXPECT_EQ(rewind_ins(33), 1);
  EXPECT_EQ(out_.text(), " <RewIns>E> Cannot rewind #33\n");
  out_.clear();
  write_file(dir_.file("run.ins"), "first\nlast\n");
  EXPECT_THROW(rewind_ins(21), StopRun);
  EXPECT_EQ(out_.text(), " <RewIns>T> Unit #21 Cannot locate label: \"START\"\n");
}

}  // namespace
}  // namespace kvax
