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
           {{"--unknown", "--help", "m2.u"}, usage_text + more}}) {
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

}  // namespace
}  // namespace kvax
