// kvax.out as a process: the usage text, the end of the option list and the failures
// of numerical option values, byte for byte.
#include <gtest/gtest.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::run_kvax;
using test::ScratchDir;
using test::start_line;

const std::string usage_text =
    "\n"
    " USAGE:   kvax.out [options] [-o outputfile ] inputfile\n"
    "\n"
    " PURPOSE: VARN type complex array copy \n"
    "          formatted to unformatted\n"
    "       or unformatted to formatted\n"
    "\n"
    " OPTIONS:\n"
    " -l#s     - character length of tide symbols [default s=2]\n"
    " -r       - reverse latitude order north-south\n"
    " -ch      - rotate cylindrically one half turn\n"
    " -c#n     - rotate cylindrically n towards west\n"
    " -v#n     - output array version number\n"
    " -o file  - output file name\n"
    " -f2u[s]  - formatted to unformatted, [default s='t']\n"
    " -u2f[s]  - unformatted to formatted, [default s='f']\n"
    "            s - (string) for output, use input file name and\n"
    "                replace tail with s.\n"
    " -BE      - read unformatted data with CONVERT=BIG ENDIAN\n"
    "\n"
    " OBS! No blanks in options except after -o\n"
    "\n";

TEST(CommandLineRun, HelpWritesTheUsageTextAndStops) {
  ScratchDir d;
  // --help adds the options that begin with "--" after the usage text, which stays as it is.
  const std::string more =
      " MORE OPTIONS:\n"
      " --all     - convert every section of the input, each with its own\n"
      "             element type (CMPX, FLAG, REAL, DBLE, LOG1)\n"
      " --tag=T   - convert the complex section whose tag is T\n"
      " --list    - list the sections of the input; write no file\n"
      " --version - write the version and stop\n"
      " --help    - write this text and stop\n"
      "\n";
  for (const auto& [args, text] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-h"}, usage_text},
           {{"-help"}, usage_text},
           {{"-r", "-v5", "-u2f", "-h", "m2.u"}, usage_text},
           {{"m2.u", "-hx"}, usage_text},
           {{"--help"}, usage_text + more},
           {{"--help", "--unknown", "m2.u"}, usage_text + more}}) {
    SCOPED_TRACE(args.front());
    const auto r = run_kvax(args, d.path());
    EXPECT_EQ(r.out, std::string(start_line) + text);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

TEST(CommandLineRun, VersionWritesOneLineAndStops) {
  ScratchDir d;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--version"}, {"-r", "--version", "m2.u"}, {"m2.u", "-h", "--version"}}) {
    SCOPED_TRACE(args.front());
    const auto r = run_kvax(args, d.path());
    EXPECT_EQ(r.out, "kvax " KVAX_VERSION_TEXT "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  // After the end of the option list it is an argument like any other.
  const auto r = run_kvax({"", "--version"}, d.path());
  EXPECT_EQ(r.out, std::string(start_line) +
                       " <Main-->T> No input file name; give one, and -o for the output\n");
}

TEST(CommandLineRun, AnEmptyArgumentEndsTheList) {
  ScratchDir d;
  const auto r = run_kvax({"", "-h"}, d.path());
  EXPECT_EQ(r.out, std::string(start_line) +
                       " <Main-->T> No input file name; give one, and -o for the output\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

TEST(CommandLineRun, NumericalValuesOfOptions) {
  ScratchDir d;
  struct Row {
    int line;
    std::vector<std::string> args;
    std::string out, err;
    int status;
  } rows[] = {
      {__LINE__, {"-v", "m2.u"}, " <Main-->T> Numerical argument required\n", "", 1},
      {__LINE__, {"-vabc", "m2.u"}, "",
       "? FORTRAN Runtime Error:\n? Illegal character in numeric input\n? READ(UNIT=*,...\n", 255},
      {__LINE__, {"-l", "m2.u"}, "",
       "? FORTRAN Runtime Error:\n? Attempt to read past end of record\n? READ(UNIT=*,...\n", 255},
      {__LINE__, {"-l2.5", "m2.u"}, "",
       "? FORTRAN Runtime Error:\n? Illegal character in numeric input\n? READ(UNIT=*,...\n", 255},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_kvax(r.args, d.path());
    EXPECT_EQ(p.out, std::string(start_line) + r.out);
    EXPECT_EQ(p.err, r.err);
    EXPECT_EQ(p.status, r.status);
  }
}

// Every argument that begins with "--" is ours: one that is not exactly an option is
// refused before anything is opened, with a hint, and the input is left alone.
TEST(CommandLineRun, OwnOptionsMisspeltAreRefused) {
  ScratchDir d;
  test::write_file(d.file("m2.u"), test::Section{}.unformatted());
  const std::string all =
      "the options of kvax that begin with -- are --all, --list, --tag=T, --help and --version";
  struct Row {
    int line;
    std::vector<std::string> args;
    std::string refused;
  } rows[] = {
      {__LINE__, {"--tag", "K1"}, "--tag: write --tag=K1"},
      {__LINE__, {"--tag"}, "--tag: write --tag=T, T the tag"},
      {__LINE__, {"--Tag=K1"}, "--Tag=K1: write --tag=K1"},
      {__LINE__, {"--tags=K1"}, "--tags=K1: write --tag=K1"},
      {__LINE__, {"--tag="}, "--tag=: write --tag=T, T the tag"},
      {__LINE__, {"--tag=ABCDEFGHIJKLMNOPQ"}, "--tag=ABCDEFGHIJKLMNOPQ: write --tag=T, T of at most 16 characters"},
      {__LINE__, {"--al"}, "--al: write --all"},
      {__LINE__, {"--ALL"}, "--ALL: write --all"},
      {__LINE__, {"---list"}, "---list: write --list"},
      {__LINE__, {"--lsit"}, "--lsit: write --list"},
      {__LINE__, {"--list=m2.u"}, "--list=m2.u: write --list"},
      {__LINE__, {"--verison"}, "--verison: write --version"},
      {__LINE__, {"--"}, "--: " + all},
      {__LINE__, {"--unknown", "--help"}, "--unknown: " + all},
      {__LINE__, {"-r", "--xyz", "-h"}, "--xyz: " + all},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    auto args = r.args;
    args.insert(args.end(), {"-o", "out.f", "m2.u"});
    const auto p = run_kvax(args, d.path());
    EXPECT_EQ(p.out, std::string(start_line) + " <Main-->T> Refused option " + r.refused + "\n");
    EXPECT_EQ(p.err, "");
    EXPECT_EQ(p.status, 1);
    EXPECT_FALSE(test::file_exists(d.file("out.f")));
  }
  // A tag of 16 characters is one.
  const auto p = run_kvax({"--tag=ABCDEFGHIJKLMNOP", "-o", "out.f", "m2.u"}, d.path());
  EXPECT_EQ(p.out.find("Refused"), std::string::npos) << p.out;
}

// Single-dash arguments that are no option, and input names that a later one replaces,
// are ignored as before, each with a warning on standard error; standard output and the
// output file are as without them.
TEST(CommandLineRun, IgnoredArgumentsAreNamedOnStandardError) {
  ScratchDir d, plain_dir;
  test::write_file(d.file("m2.u"), test::Section{}.unformatted());
  test::write_file(plain_dir.file("m2.u"), test::Section{}.unformatted());
  const auto plain = run_kvax({"-o", "out.f", "m2.u"}, plain_dir.path());
  const auto p = run_kvax({"-R", "first.u", "-tag=K1", "-all", "-x", "second.u", "-o", "out.f", "m2.u"}, d.path());
  EXPECT_EQ(p.err,
            " <Main-->W> Ignored argument: -R\n"
            " <Main-->W> Ignored argument: -tag=K1 (did you mean --tag=K1?)\n"
            " <Main-->W> Ignored argument: -all (did you mean --all?)\n"
            " <Main-->W> Ignored argument: -x\n"
            " <Main-->W> Input name first.u ignored: the input is m2.u\n"
            " <Main-->W> Input name second.u ignored: the input is m2.u\n");
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, plain.out);
  EXPECT_EQ(test::read_file(d.file("out.f")), test::read_file(plain_dir.file("out.f")));
}

// --list writes no file, so it derives no output name: not even one equal to the input.
TEST(CommandLineRun, ListingNeedsNoOutputName) {
  ScratchDir d;
  test::write_file(d.file("m2.f"), test::Section{}.unformatted());
  auto p = run_kvax({"--list", "m2.f"}, d.path());
  EXPECT_EQ(p.status, 0) << p.out;
  EXPECT_TRUE(p.out.ends_with(" <List-->>> sections:      1\n")) << p.out;
  p = run_kvax({"--list"}, d.path());
  EXPECT_EQ(p.out, std::string(start_line) + " <Main-->T> No input file name; give one\n");
  EXPECT_EQ(p.status, 1);
}

}  // namespace
}  // namespace kvax
