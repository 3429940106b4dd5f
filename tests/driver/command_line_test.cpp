// The option loop and the derivation of the output name.
#include <gtest/gtest.h>

#include <kvax/io/iostat.h>

#include "driver/command_line.h"
#include "test_support.h"

namespace kvax {
namespace {

struct Parsed {
  RunSettings settings;
  bool stopped = false;
  std::string out;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "kvax.out");
  set_program_arguments(static_cast<int>(args.size()), args.data());
  Parsed p;
  test::CapturedOutput out;
  try {
    p.settings = read_command_line();
  } catch (const StopRun&) {
    p.stopped = true;
  }
  p.out = out.text();
  return p;
}

TEST(CommandLine, OutputNameDerivation) {
  struct Row {
    int line;
    std::vector<const char*> args;
    std::string_view output;  // "" when the run stops
    std::string_view message;
  } rows[] = {
      {__LINE__, {"-u2f", "m2.u"}, "m2.f", ""},
      {__LINE__, {"-f2u", "m2_cmp.f"}, "m2_cmp.t", ""},
      {__LINE__, {"-f2u", "m2_z.f"}, "m2_z.t", ""},
      {__LINE__, {"-u2fasc", "m2.bin"}, "m2.asc", ""},
      {__LINE__, {"-u2u", "a.bin"}, "a.biu", ""},
      {__LINE__, {"-f2f", "a.f"}, "a.a", ""},
      {__LINE__, {"m2.u"}, "m2.f", ""},  // no direction option: the default suffix "f"
      {__LINE__, {"-o", "-odd", "m2.u"}, "-odd", ""},
      {__LINE__, {"-oname", "m2.u"}, "name", ""},
      {__LINE__, {"-u2fu", "a.u"}, "", " <Main-->T> Output name equals the input name; use -o: a.u\n"},
      {__LINE__, {"-u2f"}, "", " <Main-->T> No input file name; give one, and -o for the output\n"},
      {__LINE__, {"-u2fasc", "ab"}, "", " <Main-->T> Input file name shorter than the output suffix; use -o\n"},
      {__LINE__,
       {"-u2f", "a123456789b123456789c123456789d123456789e123456789f123456789g123"},
       "",
       " <Main-->T> Input file name too long to derive the output name; use -o\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const Parsed p = parse(r.args);
    EXPECT_EQ(p.stopped, r.output.empty());
    if (!p.stopped) {
      EXPECT_EQ(trimmed(p.settings.output), r.output);
    }
    EXPECT_EQ(p.out, r.message);
  }
}

TEST(CommandLine, OptionsSetTheRunSettings) {
  const Parsed p = parse({"-r", "-c-5", "-BE", "-l4", "-v7", "-u2u", "-f2f", "-ox.f", "in.u", "later.u"});
  ASSERT_FALSE(p.stopped);
  const RunSettings& s = p.settings;
  EXPECT_TRUE(s.reverse);
  EXPECT_TRUE(s.rotate);
  EXPECT_EQ(s.rotation, "-5      ");
  EXPECT_EQ(s.byte_order, "% ");
  EXPECT_EQ(s.tag_length, 4);
  EXPECT_EQ(s.version, 7);
  EXPECT_TRUE(s.unformatted_to_unformatted);  // -f2f does not clear it
  EXPECT_TRUE(s.formatted_to_formatted);
  EXPECT_FALSE(s.formatted_to_unformatted);
  EXPECT_EQ(trimmed(s.input), "later.u");  // a later name replaces an earlier one
  EXPECT_EQ(trimmed(s.output), "x.f");

  const Parsed q = parse({"-f2f", "-f2u", "-ch", "-xyz", "in.f"});
  EXPECT_TRUE(q.settings.formatted_to_formatted);  // never cleared by another option
  EXPECT_TRUE(q.settings.formatted_to_unformatted);
  EXPECT_EQ(q.settings.rotation, "h       ");
  EXPECT_EQ(trimmed(q.settings.output), "in.t");
}

TEST(CommandLine, FileNamesThatDoNotFitOrHoldABlankAreRefused) {
  // Cut at 64, or cut at the blank, a name would name another file.
  const std::string n64(64, 'n'), n65(65, 'n'), o64 = "-o" + n64, o65 = "-o" + n65;
  struct Row {
    int line;
    std::vector<const char*> args;
    std::string message;  // "" when the names are taken
  } rows[] = {
      {__LINE__, {"-o", n64.c_str(), n64.c_str()}, ""},
      {__LINE__, {"-o", n65.c_str(), "m2.u"}, " <Main-->T> File name longer than 64 characters: " + n65 + "\n"},
      {__LINE__, {o65.c_str(), "m2.u"}, " <Main-->T> File name longer than 64 characters: " + n65 + "\n"},
      {__LINE__, {o64.c_str(), "m2.u"}, ""},
      {__LINE__, {"-o", "x.f", n65.c_str()}, " <Main-->T> File name longer than 64 characters: " + n65 + "\n"},
      {__LINE__, {"-o", "out put.f", "m2.u"}, " <Main-->T> File name holds a blank: out put.f\n"},
      {__LINE__, {"-o", "x.f", "in put.u"}, " <Main-->T> File name holds a blank: in put.u\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const Parsed p = parse(r.args);
    EXPECT_EQ(p.stopped, !r.message.empty());
    EXPECT_EQ(p.out, r.message);
  }
}

}  // namespace
}  // namespace kvax
