// kvax.out as a process: environment references in the file names of the command line
// reach the opener as the substitution leaves them; a "?" in a name asks for nothing
// without a terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::file_exists;
using test::opened;
using test::run_kvax;
using test::run_shell;
using test::start_line;
using test::tag_line;
using test::ScratchDir;
using test::Section;
using test::write_file;

TEST(NamesRun, ReferencesInTheOutputName) {
  struct Row {
    int line;
    std::string name, opens;
  } rows[] = {
      // "$" before "$" is no reference, and the name after the pair is none either.
      {__LINE__, "dd/$$HOME.f", "dd/$$HOME.f"},
      // A reference right after a removed or short value is still replaced.
      {__LINE__, "dd/a$X$Y.f", "dd/a1.f"},
      {__LINE__, "dd/a$Y$X.f", "dd/a1.f"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ScratchDir d;
    ASSERT_EQ(::mkdir(d.file("dd").c_str(), 0755), 0);
    write_file(d.file("in.u"), Section().unformatted());
    const auto p = run_kvax({"-o", r.name, "in.u"}, d.path(), {"HOME=/home/u", "Y=1"});
    EXPECT_NE(p.out.find(opened("31:B", r.opens)), std::string::npos) << p.out;
    EXPECT_TRUE(file_exists(d.file(r.opens)));
    EXPECT_EQ(p.status, 0);
  }
}

// The converter never prompts: a "?" in a name has no terminal to be answered on, even
// with tty set and answers waiting on standard input, and the run ends before any output.
TEST(NamesRun, QuestionMarkInANameCannotInteract) {
  const std::string cannot = " <OpenTe>>> Not open, unit was   2\n Cannot interact\n";
  struct Row {
    int line;
    std::string output, input, out;
  } rows[] = {
      {__LINE__, "out.f", "in?.u", std::string(start_line) + tag_line + cannot},
      {__LINE__, "out?.f", "in.u", std::string(start_line) + tag_line + opened("21:^", "in.u") + cannot},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ScratchDir d;
    write_file(d.file("in.u"), Section().unformatted());
    const auto p = run_shell("printf '1\\n2\\n' | $KVAX -o '" + r.output + "' '" + r.input + "'", d.path(),
                             {"tty=/dev/pts/999"});
    EXPECT_EQ(p.out, r.out);
    EXPECT_EQ(p.status, 1);
    EXPECT_FALSE(file_exists(d.file("out.f")));
    EXPECT_FALSE(file_exists(d.file("out1.f")));
  }
}

}  // namespace
}  // namespace kvax
