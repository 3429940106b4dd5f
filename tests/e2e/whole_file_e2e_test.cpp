// kvax.out on files of several sections: --all, --tag=T, --list, and the warning when
// sections are left out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::run_kvax;
using test::ScratchDir;

const std::string more = " <Main-->W> The input holds more sections; only the first was converted (use --all)\n";

// A file of mixed sections built with the library's own writers, section by section:
// complex M2 (3 x 2), FLAG (4 x 2), complex S2 (2 x 3, version 5), REAL (3 x 1),
// DBLE (2 x 2), LOG1 (5 x 2).
std::string build_file(const ScratchDir& d, const std::string& name, bool formatted, bool reversed = false) {
  CapturedOutput out;
  EXPECT_EQ(open_unit(31, OpenSpec{.file = d.file(name), .form = formatted ? "FORMATTED" : "UNFORMATTED"}), 0);
  auto rows_reversed = [&](auto grid, int k, int l) {
    if (!reversed) return grid;
    auto r = grid;
    for (int j = 0; j < l; ++j)
      for (int i = 0; i < k; ++i) r[static_cast<std::size_t>(i + k * j)] = grid[static_cast<std::size_t>(i + k * (l - 1 - j))];
    return r;
  };
  // Values that text keeps exactly (no negative zero, five digits).
  auto grid = [](int k, int l) {
    std::vector<Cell> g(static_cast<std::size_t>(k * l));
    for (int n = 0; n < k * l; ++n) g[static_cast<std::size_t>(n)] = {1.0f + static_cast<float>(n), -0.5f * static_cast<float>(n + 1)};
    return g;
  };
  const auto m2 = rows_reversed(grid(3, 2), 3, 2);
  const auto s2 = rows_reversed(grid(2, 3), 2, 3);
  const auto flags = rows_reversed(std::vector<Flag>{1, -2, 3, 40, 5, 6, -7, 8}, 4, 2);
  const std::vector<float> reals{1.5f, -2.25f, 3.0f};
  const auto dbles = rows_reversed(std::vector<double>{0.5, 1.0e10, -3.0, 4.25}, 2, 2);
  const auto logs = rows_reversed(std::vector<Logical1>{1, 0, 1, 1, 0, 0, 0, 1, 1, 1}, 5, 2);
  setver(1);
  if (formatted) {
    outzm_f(31, m2, 3, 2, "M", "M2");
    outim_f(31, flags, 4, 2, "M");
    setver(5);
    outzm_f(31, s2, 2, 3, "M", "S2");
    outrm_f(31, reals, 3, 1, "M");
    outdm_f(31, dbles, 2, 2, "M");
    outlm_f(31, logs, 5, 2, "M");
  } else {
    outzm(31, m2, 3, 2, "M", "M2");
    outim(31, flags, 4, 2, "M");
    setver(5);
    outzm(31, s2, 2, 3, "M", "S2");
    outrm(31, reals, 3, 1, "M");
    outdm(31, dbles, 2, 2, "M");
    outlm(31, logs, 5, 2, "M");
  }
  close_all_units();
  return read_file(d.file(name));
}

TEST(WholeFiles, AllSectionsConvertedByteForByte) {
  ScratchDir d;
  const std::string u = build_file(d, "mix.u", false), f = build_file(d, "mix.f", true);
  const std::string ur = build_file(d, "rev.u", false, true), fr = build_file(d, "rev.f", true, true);
  struct Row {
    int line;
    std::vector<std::string> args;
    std::string expected;
  } rows[] = {
      {__LINE__, {"--all", "-u2f", "-o", "o1.f", "mix.u"}, f},
      {__LINE__, {"--all", "-f2u", "-o", "o2.u", "mix.f"}, u},
      {__LINE__, {"--all", "-u2u", "-o", "o3.u", "mix.u"}, u},
      {__LINE__, {"--all", "-f2f", "-o", "o4.f", "mix.f"}, f},
      // The same reversal of rows for every element type.
      {__LINE__, {"--all", "-r", "-u2u", "-o", "o5.u", "mix.u"}, ur},
      {__LINE__, {"--all", "-r", "-u2f", "-o", "o6.f", "mix.u"}, fr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_kvax(r.args, d.path());
    EXPECT_EQ(p.status, 0) << p.out;
    EXPECT_EQ(read_file(d.file(r.args[r.args.size() - 2])), r.expected);
    EXPECT_EQ(p.out.find(more), std::string::npos);
  }
}

TEST(WholeFiles, OneSectionWarnsWhenMoreFollow) {
  ScratchDir d;
  build_file(d, "mix.u", false);
  auto p = run_kvax({"-o", "first.f", "mix.u"}, d.path());
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.out.ends_with(" <OutzmF>>> CMPX array, grid M, f.unit 31: first.f -->M2  #     1 \n" + more)) << p.out;
  // A file of one section: no warning.
  test::write_file(d.file("one.u"), test::Section{}.unformatted());
  p = run_kvax({"-o", "one.f", "one.u"}, d.path());
  EXPECT_EQ(p.out.find(more), std::string::npos);
}

TEST(WholeFiles, SectionByTag) {
  ScratchDir d;
  build_file(d, "mix.u", false);
  build_file(d, "mix.f", true);
  for (const char* input : {"mix.u", "mix.f"}) {
    SCOPED_TRACE(input);
    const bool formatted = std::string(input).ends_with(".f");
    const std::string dir = formatted ? "-f2u" : "-u2u";
    auto p = run_kvax({dir, "--tag=S2", "-o", "s2.u", input}, d.path());
    EXPECT_EQ(p.status, 0) << p.out;
    EXPECT_NE(p.out.find("-->S2  #     5"), std::string::npos) << p.out;
    p = run_kvax({dir, "--tag=M2", "-o", "m2.u", input}, d.path());
    EXPECT_EQ(p.status, 0) << p.out;
    EXPECT_NE(p.out.find("-->M2  #     1"), std::string::npos) << p.out;
    // An absent tag: the readers' end-of-file lines, then the sections looked at.
    p = run_kvax({dir, "--tag=K1", "-o", "k1.u", input}, d.path());
    EXPECT_EQ(p.status, 1);
    EXPECT_NE(p.out.find("Sections read:     0"), std::string::npos) << p.out;
    EXPECT_TRUE(p.out.ends_with(" <Main-->T> No complex section tagged K1 among 6 sections\n")) << p.out;
  }
}

TEST(WholeFiles, ListingOfEachRepresentation) {
  ScratchDir d;
  build_file(d, "mix.u", false);
  build_file(d, "mix.f", true);
  const std::string listing =
      " <List-->>> section  type  grid         K         L  tag                version\n"
      " <List-->>>       1  CMPX  M            3         2  M2                       1\n"
      " <List-->>>       2  FLAG  M            4         2\n"
      " <List-->>>       3  CMPX  M            2         3  S2                       5\n"
      " <List-->>>       4  REAL  M            3         1\n"
      " <List-->>>       5  DBLE  M            2         2\n"
      " <List-->>>       6  LOG1  M            5         2\n"
      " <List-->>> sections:      6\n";
  for (const auto& [args, open_line] :
       {std::pair{std::vector<std::string>{"--list", "mix.u"}, test::opened("21:^", "mix.u")},
        std::pair{std::vector<std::string>{"--list", "-f2u", "mix.f"}, test::opened("21:R", "mix.f")}}) {
    SCOPED_TRACE(args.back());
    const auto p = run_kvax(args, d.path());
    EXPECT_EQ(p.out, std::string(test::start_line) + test::tag_line + open_line + listing);
    EXPECT_EQ(p.status, 0);
  }
  // A last section cut short is listed up to where it breaks.
  const std::string whole = read_file(d.file("mix.u"));
  test::write_file(d.file("cut.u"), whole.substr(0, whole.size() - 5));
  const auto p = run_kvax({"--list", "cut.u"}, d.path());
  EXPECT_TRUE(p.out.ends_with(" <List-->>>       6  LOG1  M            5         2\n"
                              " <List-->E> Section      6 ends after         1 of         2 rows\n"
                              " <List-->>> sections:      6\n"))
      << p.out;
  EXPECT_EQ(p.status, 1);
}

TEST(WholeFiles, ADamagedSectionStopsTheRunAndLeavesNoOutput) {
  ScratchDir d;
  const std::string whole = build_file(d, "mix.u", false);
  test::write_file(d.file("cut.u"), whole.substr(0, whole.size() - 5));
  test::write_file(d.file("old.f"), "old\n");
  const auto p = run_kvax({"--all", "-o", "old.f", "cut.u"}, d.path());
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(read_file(d.file("old.f")), "old\n");
}

// A file is at its end only where a next section would begin and no byte follows: one
// cut inside the next header stops --all (the old output kept), --tag=T and --list.
TEST(WholeFiles, AFileCutInsideAHeaderIsNoCleanEnd) {
  ScratchDir d;
  const std::string m2 = test::Section{}.unformatted();
  const std::string s2 = test::Section{.tag = "S2", .version = 5}.unformatted();
  struct Row {
    int line;
    std::string tail;  // what follows the first section
  } rows[] = {
      {__LINE__, s2.substr(0, 2)},   // part of a length marker
      {__LINE__, s2.substr(0, 10)},  // inside the header record
      {__LINE__, s2.substr(0, 23)},  // the header record without its closing marker
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    test::write_file(d.file("cut.u"), m2 + r.tail);
    test::write_file(d.file("old.f"), "old\n");
    auto p = run_kvax({"--all", "-o", "old.f", "cut.u"}, d.path());
    EXPECT_TRUE(p.out.ends_with(" <Main-->T> The input ends inside the header of section   2\n")) << p.out;
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(read_file(d.file("old.f")), "old\n");
    p = run_kvax({"--tag=S2", "-o", "old.f", "cut.u"}, d.path());
    EXPECT_TRUE(p.out.ends_with(" <Main-->T> The input ends inside the header of section   2\n")) << p.out;
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(read_file(d.file("old.f")), "old\n");
    p = run_kvax({"--list", "cut.u"}, d.path());
    EXPECT_TRUE(p.out.ends_with(" <List-->>>       1  CMPX  M            3         2  M2                       7\n"
                                " <List-->E> The file ends inside the header of section      2\n"
                                " <List-->>> sections:      1\n"))
        << p.out;
    EXPECT_EQ(p.status, 1);
  }
  // A text file listed as unformatted holds no section and is no clean end either.
  test::write_file(d.file("one.u"), m2);
  ASSERT_EQ(run_kvax({"-o", "one.f", "one.u"}, d.path()).status, 0);
  const auto p = run_kvax({"--list", "one.f"}, d.path());
  EXPECT_TRUE(p.out.ends_with(" <List-->E> The file ends inside the header of section      1\n"
                              " <List-->>> sections:      0\n"
                              " <Main-->I> The input looks formatted: try -f2u or -f2f\n"))
      << p.out;
  EXPECT_EQ(p.status, 1);
}

// After --tag=T the warning names the section converted; a tag that no section carries
// names the sections looked at.
TEST(WholeFiles, TaggedRunsNameTheirSection) {
  ScratchDir d;
  build_file(d, "mix.u", false);
  build_file(d, "mix.f", true);
  test::write_file(d.file("one.u"), test::Section{}.unformatted());
  struct Row {
    int line;
    std::vector<std::string> args;
    std::string last;  // "": no warning
    int status;
  } rows[] = {
      {__LINE__, {"--tag=S2", "-o", "o.f", "mix.u"},
       " <Main-->W> The input holds more sections; converted section 3 (S2) only (use --all)\n", 0},
      {__LINE__, {"-f2f", "--tag=S2", "-o", "o.f", "mix.f"},
       " <Main-->W> The input holds more sections; converted section 3 (S2) only (use --all)\n", 0},
      {__LINE__, {"--tag=M2", "-o", "o.f", "mix.u"},
       " <Main-->W> The input holds more sections; converted section 1 (M2) only (use --all)\n", 0},
      {__LINE__, {"--tag=M2", "-o", "o.f", "one.u"}, "", 0},
      {__LINE__, {"--tag=Q1", "-o", "o.f", "mix.u"}, " <Main-->T> No complex section tagged Q1 among 6 sections\n", 1},
      {__LINE__, {"--tag=Q1", "-o", "o.f", "one.u"}, " <Main-->T> No complex section tagged Q1 among 1 section\n", 1},
      // A tag is compared whole, never as a prefix.
      {__LINE__, {"--tag=S", "-o", "o.f", "mix.u"}, " <Main-->T> No complex section tagged S among 6 sections\n", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_kvax(r.args, d.path());
    if (r.last.empty()) {
      EXPECT_EQ(p.out.find("<Main-->"), std::string::npos) << p.out;
    } else {
      EXPECT_TRUE(p.out.ends_with(r.last)) << p.out;
    }
    EXPECT_EQ(p.status, r.status);
  }
}

// The header tells its tag length: --list shows every tag and version right whatever -l
// says, and a conversion with another -l stops before it reads, saying which to use.
TEST(WholeFiles, TheHeaderTellsItsTagLength) {
  ScratchDir d;
  test::write_file(d.file("l4.u"), test::Section{.tag = "K1  ", .version = 3}.unformatted() +
                                       test::Section{.tag = "O1xy", .version = 489592}.unformatted());
  ASSERT_EQ(run_kvax({"-l4", "-o", "l4.f", "l4.u"}, d.path()).status, 0);
  const std::string listing =
      " <List-->>>       1  CMPX  M            3         2  K1                       3\n"
      " <List-->>>       2  CMPX  M            3         2  O1xy                489592\n"
      " <List-->>> sections:      2\n";
  for (const auto& args : std::vector<std::vector<std::string>>{{"--list", "l4.u"}, {"--list", "-l6", "l4.u"}}) {
    const auto p = run_kvax(args, d.path());
    EXPECT_TRUE(p.out.ends_with(listing)) << p.out;
    EXPECT_EQ(p.status, 0);
  }
  auto p = run_kvax({"--list", "-f2f", "l4.f"}, d.path());
  EXPECT_TRUE(p.out.ends_with(" <List-->>>       1  CMPX  M            3         2  K1                       3\n"
                              " <List-->>> sections:      1\n"))
      << p.out;
  // A shorter -l would read a wrong version without a failure: stopped before the read. A
  // longer one fails in the reader, and the hint follows its lines.
  const std::string hint = " <Main-->I> The header holds a tag of 4 characters: try -l4\n";
  for (const auto& [args, ending] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-o", "x.f", "l4.u"}, " <Main-->T> Bad input; tag length 2 does not fit the header\n"},
           {{"-f2u", "-o", "x.u", "l4.f"}, " <Main-->T> Bad input; tag length 2 does not fit the header\n"},
           {{"-l6", "-o", "x.f", "l4.u"}, " <Main-->T> Bad input; tide$, ver.# ER     -1\n"}}) {
    SCOPED_TRACE(args.back() + " " + args.front());
    p = run_kvax(args, d.path());
    EXPECT_TRUE(p.out.ends_with(ending + hint)) << p.out;
    EXPECT_EQ(p.status, 1);
  }
}

// --all into text: a grid of another element type whose K or L its header (I5) cannot
// hold stops the run before it is written, instead of being left out.
TEST(WholeFiles, AGridItsTextHeaderCannotHoldStopsTheRun) {
  ScratchDir d;
  CapturedOutput out;
  ASSERT_EQ(open_unit(31, OpenSpec{.file = d.file("wide.u"), .form = "UNFORMATTED"}), 0);
  setver(1);
  const std::vector<Cell> m2(2, Cell{1.0f, 2.0f});
  const std::vector<Flag> flags(100000, 1);
  outzm(31, m2, 2, 1, "M", "M2");
  outim(31, flags, 100000, 1, "M");
  close_all_units();
  test::write_file(d.file("old.f"), "old\n");
  const auto p = run_kvax({"--all", "-o", "old.f", "wide.u"}, d.path());
  EXPECT_TRUE(p.out.ends_with(" <Main-->T> Grid does not fit the output header:      100000           1\n")) << p.out;
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(read_file(d.file("old.f")), "old\n");
  EXPECT_EQ(run_kvax({"--all", "-u2u", "-o", "wide2.u", "wide.u"}, d.path()).status, 0);
}

}  // namespace
}  // namespace kvax
