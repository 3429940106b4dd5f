// The section format module: element traits, tags, header bytes and lines, and the sizes,
// checked against what the writers of the units put into files.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/section_layout.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::ScratchDir;

TEST(SectionLayout, ElementTraitsAndWords) {
  struct Row {
    Element e;
    std::string_view word;
    std::size_t bytes;
    int values, per_line, width;
  };
  for (const Row& r : {Row{Element::cmpx, "CMPX", 8, 2, 10, 12}, Row{Element::real, "REAL", 4, 1, 10, 12},
                       Row{Element::dble, "DBLE", 8, 1, 10, 12}, Row{Element::flag, "FLAG", 4, 1, 20, 6},
                       Row{Element::log1, "LOG1", 1, 1, 120, 1}}) {
    SCOPED_TRACE(r.word);
    const ElementTraits& t = traits(r.e);
    EXPECT_EQ(t.element, r.e);
    EXPECT_EQ(t.word, r.word);
    EXPECT_EQ(t.bytes, r.bytes);
    EXPECT_EQ(t.values, r.values);
    EXPECT_EQ(t.values_per_line, r.per_line);
    EXPECT_EQ(t.field_width, r.width);
    Element back = Element::log1;
    EXPECT_TRUE(element_of_word(r.word, back));
    EXPECT_EQ(back, r.e);
  }
  Element e = Element::cmpx;
  EXPECT_FALSE(element_of_word("cmpx", e));
  EXPECT_FALSE(element_of_word("CMP", e));
  static_assert(element_of<Cell> == Element::cmpx && element_of<double> == Element::dble);
  static_assert(std::is_same_v<element_value_t<Element::log1>, Logical1>);
  EXPECT_EQ(traits(Element::dble).write_format, initial_dfmt);
  EXPECT_EQ(traits(Element::dble).read_format, initial_efmt);
  EXPECT_EQ(traits(Element::cmpx).read_format, "(10e12.6)");
}

TEST(SectionLayout, TagsCompareOverTheTagLength) {
  struct Row {
    int line;
    std::string_view requested, read;
    int n;
    bool same;
  };
  for (const Row& r : {Row{__LINE__, "M2", "M2", 2, true}, Row{__LINE__, "M2", "M4", 2, false},
                       Row{__LINE__, "M4", "M2", 2, false}, Row{__LINE__, "MS4", "MS2", 3, false},
                       Row{__LINE__, "MS2", "MS4", 3, false}, Row{__LINE__, "MS4 ", "MS4", 4, true},
                       Row{__LINE__, "MS4", "MS4x", 4, true},  // a request shorter than n: its own length
                       Row{__LINE__, "M2  ", "M2", 4, true}, Row{__LINE__, "M2  ", "M2x", 4, false},
                       Row{__LINE__, "K1", "k1", 2, false}, Row{__LINE__, "O1", "O1", 0, true}}) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(same_tag(r.requested, r.read, r.n), r.same);
  }
  // The first two characters, blank-padded, anywhere in "  ..??**".
  for (std::string_view any : {"..", "  ", "??", "**", " .", ".?", "?*", "", "..M2"})
    EXPECT_TRUE(any_tag_request(any)) << any;
  for (std::string_view some : {"M2", ".M", "*.", ". ", " ?", "M"}) EXPECT_FALSE(any_tag_request(some)) << some;
}

TEST(SectionLayout, HeaderRecordsInBothByteOrders) {
  SectionHeader h;
  h.k = 3;
  h.l = -2;
  h.typ = 'M';
  h.vartyp = "CMPX";
  h.tag = "S2";
  h.version = 0x01020304;
  std::byte buf[64];
  for (bool big : {false, true}) {
    SCOPED_TRACE(big);
    const std::size_t n = format_header_record(h, 4, big, buf);
    ASSERT_EQ(n, 21u);
    const std::string_view k = big ? std::string_view("\0\0\0\3", 4) : std::string_view("\3\0\0\0", 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf), n).substr(0, 4), k);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf) + 8, 9), "MCMPXS2  ");
    SectionHeader back;
    ASSERT_EQ(parse_header_record(std::span(buf, n), big, 4, back), HeaderParse::ok);
    EXPECT_EQ(back.k, 3);
    EXPECT_EQ(back.l, -2);
    EXPECT_EQ(back.typ, 'M');
    EXPECT_EQ(back.vartyp, "CMPX");
    EXPECT_EQ(back.tag, "S2  ");
    EXPECT_EQ(back.version, 0x01020304);
    EXPECT_EQ(parse_header_record(std::span(buf, n - 1), big, 4, back), HeaderParse::short_data);
  }
  // The other types: 13 bytes, no tag and no version, whatever the tag length.
  h.vartyp = "FLAG";
  ASSERT_EQ(format_header_record(h, 16, false, buf), 13u);
  SectionHeader back;
  ASSERT_EQ(parse_header_record(std::span(buf, 13), false, 16, back), HeaderParse::ok);
  EXPECT_EQ(back.vartyp, "FLAG");
  EXPECT_EQ(back.tag, "");
  EXPECT_EQ(back.version, 0);
  EXPECT_EQ(parse_header_record(std::span(buf, 12), false, 16, back), HeaderParse::short_data);
}

TEST(SectionLayout, HeaderLinesReadAndWritten) {
  struct Row {
    int line;
    std::string_view text;
    int n;
    HeaderParse result;
    int k, l;
    char typ;
    std::string_view vartyp, tag;
    int version;
  };
  for (const Row& r : {
           Row{__LINE__, "         3         2 M CMPX M2         -1", 2, HeaderParse::ok, 3, 2, 'M', "CMPX", "M2", -1},
           Row{__LINE__, "      2160      1080 Z CMPX MS4        12", 4, HeaderParse::ok, 2160, 1080, 'Z', "CMPX",
               "MS4 ", 12},
           Row{__LINE__, "    5   -7 Z LOG1", 2, HeaderParse::ok, 5, -7, 'Z', "LOG1", "", 0},
           // "CMPX" beyond column 32 does not make a complex header.
           Row{__LINE__, "    5    7 Z REAL                     CMPX", 2, HeaderParse::ok, 5, 7, 'Z', "REAL", "", 0},
           // A short line reads as if padded with blanks.
           Row{__LINE__, "         3         2 M CMPX", 2, HeaderParse::ok, 3, 2, 'M', "CMPX", "  ", 0},
           Row{__LINE__, "         x         2 M CMPX M2         -1", 2, HeaderParse::bad_field, 0, 0, ' ', "", "", 0},
       }) {
    SCOPED_TRACE(r.line);
    SectionHeader h;
    ASSERT_EQ(parse_header_line(r.text, r.n, h), r.result);
    if (r.result != HeaderParse::ok) continue;
    EXPECT_EQ(h.k, r.k);
    EXPECT_EQ(h.l, r.l);
    EXPECT_EQ(h.typ, r.typ);
    EXPECT_EQ(h.vartyp, r.vartyp);
    EXPECT_EQ(h.tag, r.tag);
    EXPECT_EQ(h.version, r.version);
    if (r.text.size() >= 17 && r.text.find("CMPX") == std::string_view::npos) {
      EXPECT_EQ(format_header_line(h, r.n), r.text.substr(0, 17));
    }
  }
  // A line read under the layout a reader expects, whatever its word: the header of
  // another type is no complex header.
  SectionHeader h;
  EXPECT_EQ(parse_header_line("    5    7 Z REAL", Element::cmpx, 2, h), HeaderParse::bad_field);
  EXPECT_EQ(parse_header_line("         5         7 Z REAL", Element::cmpx, 2, h), HeaderParse::ok);
  EXPECT_EQ(h.vartyp, "REAL");
}

// What a complex header tells by its own size, and the look of a complex header line.
TEST(SectionLayout, TagLengthsAndTheLookOfAHeaderLine) {
  EXPECT_EQ(tag_length_of_record(19), 2);
  EXPECT_EQ(tag_length_of_record(33), 16);
  EXPECT_EQ(tag_length_of_record(34), 0);
  EXPECT_EQ(tag_length_of_record(17), 0);
  EXPECT_EQ(tag_length_of_record(13), 0);
  EXPECT_EQ(tag_length_of_line("         3         2 M CMPX M2         -1"), 2);
  EXPECT_EQ(tag_length_of_line("         3         2 M CMPX MS4          7   "), 3);
  EXPECT_EQ(tag_length_of_line("         3         2 M CMPX"), 0);
  struct Row {
    int line;
    std::string_view text;
    bool looks;
  };
  for (const Row& r : {Row{__LINE__, "         3         2 M CMPX M2         -1", true},
                       Row{__LINE__, "        -3        +2   Xabc", true}, Row{__LINE__, "         3         2 M 1MPX", false},
                       Row{__LINE__, "                   2 M CMPX", false}, Row{__LINE__, "    5    7 Z REAL", false},
                       Row{__LINE__, "         3         2 MMCMPX", false}, Row{__LINE__, "         3         2 M CMP", false},
                       Row{__LINE__, "         3         2 M C", false}, Row{__LINE__, "         3         2 M ", false}}) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(starts_as_complex_header(r.text), r.looks);
  }
}

// Tags that share their first characters are told apart by the readers of both
// representations: a search passes over the first section, a plain read names both tags.
TEST(SectionLayout, ReadersTellTagsApartByEveryCharacter) {
  ScratchDir d;
  CapturedOutput out;
  struct Row {
    int line;
    int n;
    std::string_view first, second;
  };
  const std::string name = d.file("t");
  for (bool formatted : {false, true}) {
    for (const Row& r : {Row{__LINE__, 2, "M4", "M2"}, Row{__LINE__, 2, "M2", "M4"}, Row{__LINE__, 3, "MS2", "MS4"},
                         Row{__LINE__, 3, "MS4", "MS2"}}) {
      SCOPED_TRACE(testing::Message() << r.line << (formatted ? " formatted" : " unformatted"));
      set_length_tag_tide(r.n);
      const OpenSpec spec{.file = name, .form = formatted ? "FORMATTED" : "UNFORMATTED"};
      ASSERT_EQ(open_unit(31, spec), 0);
      const std::vector<Cell> a = {Cell(1, 2)}, b = {Cell(3, 4)};
      setver(1);
      formatted ? outzm_f(31, a, 1, 1, "M", r.first) : outzm(31, a, 1, 1, "M", r.first);
      setver(2);
      formatted ? outzm_f(31, b, 1, 1, "M", r.second) : outzm(31, b, 1, 1, "M", r.second);
      close_unit(31);
      ASSERT_EQ(open_unit(21, OpenSpec{.file = name, .status = "OLD", .form = spec.form}), 0);
      std::vector<Cell> g(1);
      Text typ = text(".", 1), tag = text(r.second, static_cast<std::size_t>(r.n));
      int version = 0;
      formatted ? lgetzm_f(21, g, 1, 1, typ, tag, version) : lgetzm(21, g, 1, 1, typ, tag, version);
      EXPECT_EQ(tag, r.second);
      EXPECT_EQ(version, 2);
      EXPECT_EQ(g, b);
      rewind_unit(21);
      out.clear();
      formatted ? getzm_f(21, g, 1, 1, typ, tag) : getzm(21, g, 1, 1, typ, tag);
      EXPECT_EQ(tag, r.first);
      EXPECT_NE(out.text().find("E> Requested tag "), std::string::npos) << out.text();
      close_unit(21);
    }
  }
  set_length_tag_tide(2);
}

// The sizes are those of what the writers write, for both representations and all types.
TEST(SectionLayout, SizesAreThoseOfTheWrittenFiles) {
  ScratchDir d;
  CapturedOutput out;
  const int k = 7, l = 3;
  const std::vector<Cell> z(k * l, Cell(1.5f, -2.0f));
  const std::vector<float> r(k * l, 0.25f);
  const std::vector<double> x(k * l, 0.5);
  const std::vector<Flag> f(k * l, 12);
  const std::vector<Logical1> b(k * l, 1);
  for (int n : {2, 4}) {
    set_length_tag_tide(n);
    const auto open = [&](bool formatted) {
      const std::string name = d.file("s");
      return open_unit(40, OpenSpec{.file = name, .form = formatted ? "FORMATTED" : "UNFORMATTED"});
    };
    const auto expect_size = [&](Element e, bool formatted) {
      close_unit(40);
      const std::int64_t head = formatted ? header_line_bytes(e, n) : header_record_bytes(e, n);
      const std::int64_t row = formatted ? row_line_bytes(e, k, traits(e).write_format) : row_record_bytes(e, k);
      EXPECT_EQ(static_cast<std::int64_t>(read_file(d.file("s")).size()), head + l * row)
          << traits(e).word << (formatted ? " formatted" : " unformatted") << " n=" << n;
    };
    // Each writer of both representations, with the element type it writes.
    const std::pair<Element, std::function<void(bool)>> writers[] = {
        {Element::cmpx, [&](bool t) { t ? outzm_f(40, z, k, l, "M", "M2") : outzm(40, z, k, l, "M", "M2"); }},
        {Element::real, [&](bool t) { t ? outrm_f(40, r, k, l, "M") : outrm(40, r, k, l, "M"); }},
        {Element::dble, [&](bool t) { t ? outdm_f(40, x, k, l, "M") : outdm(40, x, k, l, "M"); }},
        {Element::flag, [&](bool t) { t ? outim_f(40, f, k, l, "M") : outim(40, f, k, l, "M"); }},
        {Element::log1, [&](bool t) { t ? outlm_f(40, b, k, l, "M") : outlm(40, b, k, l, "M"); }},
    };
    for (bool formatted : {false, true}) {
      for (const auto& [e, write] : writers) {
        ASSERT_EQ(open(formatted), 0);
        write(formatted);
        expect_size(e, formatted);
      }
    }
  }
  set_length_tag_tide(2);
  // Lines of a row: a full line of values and one for the rest; no values, one empty line.
  EXPECT_EQ(lines_per_row(Element::cmpx, 5), 1);
  EXPECT_EQ(lines_per_row(Element::cmpx, 6), 2);
  EXPECT_EQ(lines_per_row(Element::cmpx, 0), 1);
  EXPECT_EQ(lines_per_row(Element::log1, 121), 2);
  EXPECT_EQ(lines_per_row(Element::flag, 40), 2);
  EXPECT_EQ(row_line_bytes(Element::cmpx, 3, "(1p,5e24.10,:)"), -1);
  EXPECT_EQ(row_line_bytes(Element::cmpx, 0, initial_efmt), 1);
  // K and L in the text headers: ten columns, five for the other types.
  EXPECT_TRUE(fits_text_header(Element::cmpx, 2147483647, -999999999));
  EXPECT_FALSE(fits_text_header(Element::cmpx, 3, -1000000000));
  EXPECT_TRUE(fits_text_header(Element::flag, 99999, -9999));
  EXPECT_FALSE(fits_text_header(Element::log1, 100000, 1));
  EXPECT_FALSE(fits_typed_header(1, -10000));
}

// The parse and format functions keep nothing between calls: threads do not disturb
// one another.
TEST(SectionLayout, HeadersOnSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 500; ++i) {
        const SectionHeader h{.k = 1000 * t + i, .l = i, .typ = 'Z', .vartyp = t % 2 ? "CMPX" : "REAL", .tag = "K1",
                              .version = t};
        SectionHeader back;
        if (parse_header_line(format_header_line(h, 2), 2, back) != HeaderParse::ok || back.k != h.k ||
            back.l != h.l || back.vartyp != h.vartyp || (h.complex() && back.version != t))
          ++wrong[static_cast<std::size_t>(t)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace kvax
