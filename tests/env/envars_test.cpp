// Environment-variable substitution: both reference forms, escapes, traces, the missing
// brace, field lengths and the bound on self-referring variables.
#include <kvax/env/envars.h>

#include <gtest/gtest.h>

#include <string>

#include <kvax/io/iostat.h>

#include "scoped_env.h"
#include "test_support.h"

namespace kvax {
namespace {

using namespace std::string_literals;
using test::CapturedOutput;
using test::ScopedEnv;

std::string shown(std::string_view s) { return std::string(s) + ";"; }

class EnvarsTest : public ::testing::Test {
 protected:
  ScopedEnv home_{"HOME", "/home/u"};
  ScopedEnv x_{"X", nullptr};
  ScopedEnv home_dir_{"HOME_DIR", nullptr};
  ScopedEnv xy_{"XY", "v"};
  ScopedEnv a_{"A", "1"};
  ScopedEnv v_{"V", "ab$HOME"};
  ScopedEnv blank_{"BLANK", "   "};
};

TEST_F(EnvarsTest, ReferencesEscapesAndUndefinedVariables) {
  struct Row {
    int line;
    std::string in, out64, out128;
  } rows[] = {
      {__LINE__, "${HOME}/data", "/home/u/data", "/home/u/data"},
      {__LINE__, "$HOME/data", "/home/u/data", "/home/u/data"},
      {__LINE__, "$HOME.dat", "/home/u.dat", "/home/u.dat"},
      {__LINE__, "$HOME_DIR", "", ""},
      {__LINE__, "${X}/a", "/a", "/a"},
      {__LINE__, "$X/a", "/a", "/a"},
      {__LINE__, "${BLANK}x", "x", "x"},
      {__LINE__, "\\$HOME", "$HOME", "$HOME"},
      {__LINE__, "\\${HOME}", "${HOME}", "${HOME}"},
      {__LINE__, "\\$X $HOME", "$X /home/u", "$X /home/u"},
      {__LINE__, "a$/b", "a$/b", "a$/b"},
      {__LINE__, "cost$", "cost$", "cost$"},
      {__LINE__, "${}a", "a", "a"},
      {__LINE__, "${X}${X}", "", ""},
      // The 64- and 256-character forms delete the plain reference text everywhere, also
      // at the start of a longer name; the 128-character form removes one at a time.
      {__LINE__, "$X/$XY", "/Y", "/v"},
      {__LINE__, "$X/$X", "/", "/"},
      // An adjacent reference after a short or removed value is still substituted.
      {__LINE__, "$A$HOME", "1/home/u", "1/home/u"},
      {__LINE__, "$X$HOME", "/home/u", "/home/u"},
      // After a "$" with an empty name the scan goes on two characters further, so the
      // character after it is never the start of a reference.
      {__LINE__, "$$HOME", "$$HOME", "$$HOME"},
      {__LINE__, "dd/$$HOME.f", "dd/$$HOME.f", "dd/$$HOME.f"},
      {__LINE__, "$$$HOME", "$$/home/u", "$$/home/u"},
      {__LINE__, "a$/$HOME", "a$//home/u", "a$//home/u"},
      {__LINE__, "$-$A", "$-1", "$-1"},
      // A value is scanned again from its third character.
      {__LINE__, "$V", "ab/home/u", "ab/home/u"},
      {__LINE__, "${A\0B}/z"s, "/z", "/z"},
      // A name running into a control character past the trimmed end.
      {__LINE__, "a$\t", "a$", "a"},
  };
  CapturedOutput out;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text f64 = text(r.in, 64);
    replace_envars(f64);
    EXPECT_EQ(shown(trimmed(f64)), shown(r.out64));
    Text f256 = text(r.in, 256);
    replace_envars_l(f256);
    EXPECT_EQ(shown(trimmed(f256)), shown(r.out64));
    Text f128 = text(r.in, 128);
    replace_envars_128(f128);
    EXPECT_EQ(shown(trimmed(f128)), shown(r.out128));
  }
  EXPECT_EQ(out.text(), "");
}

TEST_F(EnvarsTest, TraceLines) {
  const std::string f64 = text("f.dat", 64);
  struct Row {
    int line;
    void (*call)(Text&);
    std::string in, expected;
  } rows[] = {
      {__LINE__, replace_envars, "f.dat!!!",
       " <repenv>d>  in ->" + f64 + "\n <repenv>>> out ->" + f64 + "\n"},
      {__LINE__, replace_envars, "f!!!.dat", ""},
      {__LINE__, replace_envars, "$HOME/f!!!",
       " <repenv>d>  in ->" + text("$HOME/f", 64) + "\n <repenv>2> HOME   1 ->" + text("/home/u/f", 64) +
           "\n <repenv>>> out ->" + text("/home/u/f", 64) + "\n"},
      {__LINE__, replace_envars, "${HOME}/f!!!",
       " <repenv>d>  in ->" + text("${HOME}/f", 64) + "\n <repenv>1> ${HOME}    7    1 ->" +
           text("/home/u/f", 64) + "\n <repenv>>> out ->" + text("/home/u/f", 64) + "\n"},
      {__LINE__, replace_envars_l, "${X}$HOME!!!",
       " <repenL>d>  in ->" + text("${X}$HOME", 256) + "\n <repenL>1> ${X}    0    1 ->" +
           text("$HOME", 256) + "\n <repenL>2> HOME   1 ->" + text("/home/u", 256) +
           "\n <repenL>>> out ->" + text("/home/u", 256) + "\n"},
      {__LINE__, replace_envars_128, "${X}$HOME!!!",
       " <repenv>d>  in ->" + text("${X}$HOME", 128) + "\n <repenv>1> X   1 ->" + text("$HOME", 128) +
           "\n <repenv>2> HOME   2 ->" + text("/home/u", 128) + "\n <repenv>>> out ->" +
           text("/home/u", 128) + "\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    Text f = text(r.in, 64);
    r.call(f);
    EXPECT_EQ(out.text(), r.expected);
  }
}

TEST_F(EnvarsTest, MissingBraceStopsTheRun) {
  for (const char* in : {"${HOME", "x/${A\\}", "${HOME }"}) {
    SCOPED_TRACE(in);
    CapturedOutput out;
    Text f = text(in, 64);
    EXPECT_THROW(replace_envars(f), StopRun);
    EXPECT_EQ(out.text(), " Missing }\n");
  }
  CapturedOutput out;
  Text escaped = text("\\${HOME", 64);
  replace_envars(escaped);
  EXPECT_EQ(shown(trimmed(escaped)), "${HOME;");
  EXPECT_EQ(out.text(), "");
}

TEST_F(EnvarsTest, FieldLengthsCutValuesAndResults) {
  const std::string longv(70, 'v');
  ScopedEnv long_value("LONGV", longv.c_str());
  Text f64 = text("${LONGV}/tail", 64);
  replace_envars(f64);
  EXPECT_EQ(f64, std::string(64, 'v'));
  Text f256 = text("${LONGV}/tail", 256);
  replace_envars_l(f256);
  EXPECT_EQ(shown(trimmed(f256)), shown(longv + "/tail"));

  // The caller's field: a shorter one takes the result cut, a longer one keeps its
  // characters past the working length.
  Text shorter = "$HOME/data";
  replace_envars(shorter);
  EXPECT_EQ(shorter, "/home/u/da");
  Text longer = text("$HOME", 64) + "TAIL";
  replace_envars(longer);
  EXPECT_EQ(longer, text("/home/u", 64) + "TAIL");
}

TEST_F(EnvarsTest, SelfReferenceStopsAfterTheBound) {
  ScopedEnv self("SELF", "${SELF}");
  ScopedEnv ping("PING", "${PONG}");
  ScopedEnv pong("PONG", "${PING}");
  ScopedEnv grow("GROW", "x${GROW}");
  struct Row {
    int line;
    void (*call)(Text&);
    std::size_t length;
    std::string in, result, line_out;
  } rows[] = {
      {__LINE__, replace_envars, 64, "${SELF}/a", "${SELF}/a",
       " <repenv>W> Substitution stopped after 64 replacements (a variable refers to itself?): ${SELF}/a\n"},
      {__LINE__, replace_envars_l, 256, "${PING}", "${PING}",
       " <repenL>W> Substitution stopped after 64 replacements (a variable refers to itself?): ${PING}\n"},
      {__LINE__, replace_envars_128, 128, "${GROW}", std::string(64, 'x') + "${GROW}",
       " <repenv>W> Substitution stopped after 64 replacements (a variable refers to itself?): " +
           std::string(64, 'x') + "${GROW}\n"},
      // Bare references are left for the next call once the bound is reached.
      {__LINE__, replace_envars_l, 256, "${SELF}$HOME", "${SELF}$HOME",
       " <repenL>W> Substitution stopped after 64 replacements (a variable refers to itself?): ${SELF}$HOME\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    Text f = text(r.in, r.length);
    r.call(f);
    EXPECT_EQ(shown(trimmed(f)), shown(r.result));
    EXPECT_EQ(out.text(), r.line_out);
  }
}

}  // namespace
}  // namespace kvax
