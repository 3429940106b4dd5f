// Grid files as values: the bytes of the library's writers and of kvax.out, round trips of
// every element type, detection, damaged files as errors, rows read by range.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/files/registry.h>
#include <kvax/grid.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::read_file;
using test::ScratchDir;
using test::write_file;

// A section of K x L values that tell their place: cell i of row j holds i + 100 j (and
// -j/4 as the imaginary part), LOG1 cells are true where i + j is odd.
kvax::Section pattern(Element e, int k, int l, std::string tag = "M2", int version = 7) {
  kvax::Section s(e, k, l, 'Z', std::move(tag), version);
  for (int j = 1; j <= l; ++j) {
    for (int i = 1; i <= k; ++i) {
      const float v = static_cast<float>(i + 100 * j) + 0.125f;
      switch (e) {
        case Element::cmpx: s.at<std::complex<float>>(j, i) = {v, -j / 4.0f}; break;
        case Element::flag: s.at<std::int32_t>(j, i) = i * 1000 - j; break;
        case Element::real: s.at<float>(j, i) = -v; break;
        case Element::dble: s.at<double>(j, i) = v * 1e-3; break;
        case Element::log1: s.at<std::uint8_t>(j, i) = (i + j) % 2; break;
      }
    }
  }
  return s;
}

// The same section through the library's own writer on a unit.
std::string library_bytes(const ScratchDir& dir, const kvax::Section& s, bool formatted, bool big, int n) {
  const std::string name = dir.file("library.out");
  CapturedOutput out;
  set_length_tag_tide(n);
  EXPECT_EQ(open_unit(31, OpenSpec{.file = name, .status = "UNKNOWN",
                                   .form = formatted ? "FORMATTED" : "UNFORMATTED",
                                   .convert = big ? "BIG_ENDIAN" : "LITTLE_ENDIAN"}),
            0);
  save_file_name(31, name);
  const std::string typ(1, s.grid);
  const int k = s.k, l = s.l;
  switch (s.element) {
    case Element::cmpx: {
      setver(s.version);
      std::string tag = s.tag;
      tag.resize(static_cast<std::size_t>(n), ' ');
      const auto v = s.as<std::complex<float>>();
      formatted ? outzm_f(31, v, k, l, typ, tag) : outzm(31, v, k, l, typ, tag);
      break;
    }
    case Element::flag: formatted ? outim_f(31, s.as<std::int32_t>(), k, l, typ) : outim(31, s.as<std::int32_t>(), k, l, typ); break;
    case Element::real: formatted ? outrm_f(31, s.as<float>(), k, l, typ) : outrm(31, s.as<float>(), k, l, typ); break;
    case Element::dble: formatted ? outdm_f(31, s.as<double>(), k, l, typ) : outdm(31, s.as<double>(), k, l, typ); break;
    case Element::log1: {
      const auto v = s.as<std::uint8_t>();
      const std::span<const Logical1> b(reinterpret_cast<const Logical1*>(v.data()), v.size());
      formatted ? outlm_f(31, b, k, l, typ) : outlm(31, b, k, l, typ);
      break;
    }
  }
  close_unit(31);
  set_length_tag_tide(2);
  return read_file(name);
}

std::string values_of(const kvax::Section& s) {
  return std::string(reinterpret_cast<const char*>(s.values.data()), s.values.size());
}

constexpr Element all_elements[] = {Element::cmpx, Element::flag, Element::real, Element::dble, Element::log1};

TEST(Grid, WritesTheLibraryWritersBytesAndReadsThemBackInEveryForm) {
  ScratchDir dir;
  const std::string name = dir.file("grid.out");
  for (const Element e : all_elements) {
    for (const int k : {0, 1, 7, 121}) {
      for (const bool formatted : {false, true}) {
        for (const bool big : {false, true}) {
          if (formatted && big) continue;
          const std::vector<int> lengths = e == Element::cmpx ? std::vector<int>{1, 2, 3, 4, 7, 16} : std::vector<int>{2};
          for (const int n : lengths) {
            SCOPED_TRACE(std::string(element_word(e)) + " K=" + std::to_string(k) + (formatted ? " text" : " binary") +
                         (big ? " big-endian" : "") + " tag length " + std::to_string(n));
            const kvax::Section s = pattern(e, k, 3, std::string("S").append(static_cast<std::size_t>(n - 1), 'x'));
            const std::vector<kvax::Section> one(1);
            write_sections(name, std::span<const kvax::Section>(&s, 1),
                           WriteOptions{.formatted = formatted, .big_endian = big, .tag_length = n});
            ASSERT_EQ(read_file(name), library_bytes(dir, s, formatted, big, n));

            const FileInfo info = describe(name);
            EXPECT_EQ(info.representation, formatted ? Representation::formatted : Representation::unformatted);
            if (!formatted) {
              EXPECT_EQ(info.byte_order, big ? ByteOrder::big : ByteOrder::little);
            }
            if (e == Element::cmpx) {
              EXPECT_EQ(info.tag_length, n);
            }

            const std::vector<kvax::Section> back = read_sections(name);
            ASSERT_EQ(back.size(), 1u);
            EXPECT_EQ(back[0].element, e);
            EXPECT_EQ(back[0].grid, 'Z');
            EXPECT_EQ(back[0].k, k);
            EXPECT_EQ(back[0].l, 3);
            if (e == Element::cmpx) {
              EXPECT_EQ(back[0].tag, s.tag);
              EXPECT_EQ(back[0].version, 7);
            }
            // Text keeps five digits: what is written again is the same text.
            if (formatted && (e == Element::cmpx || e == Element::real || e == Element::dble)) {
              const std::string first = read_file(name);
              write_sections(name, back, WriteOptions{.formatted = true, .tag_length = n});
              EXPECT_EQ(read_file(name), first);
            } else {
              EXPECT_EQ(values_of(back[0]), values_of(s));
            }
          }
        }
      }
    }
  }
}

TEST(Grid, SeveralSectionsOfMixedTypesAndTheDefaultTagLength) {
  ScratchDir dir;
  std::vector<kvax::Section> v;
  v.push_back(pattern(Element::flag, 4, 2));
  v.push_back(pattern(Element::cmpx, 3, 2, "M2"));
  v.push_back(pattern(Element::cmpx, 3, 2, "MSQM", 9));
  v.push_back(pattern(Element::log1, 130, 2));
  for (const bool formatted : {false, true}) {
    const std::string name = dir.file(formatted ? "mixed.f" : "mixed.u");
    write_sections(name, v, WriteOptions{.formatted = formatted});
    EXPECT_EQ(describe(name).tag_length, 2);  // the first section has no tag
    const auto heads = list_sections(name);
    ASSERT_EQ(heads.size(), 4u);
    EXPECT_EQ(heads[2].tag, "MSQM");
    EXPECT_EQ(heads[2].version, 9);
    EXPECT_EQ(heads[3].element, Element::log1);
    EXPECT_EQ(heads[0].offset, 0);
    EXPECT_EQ(read_section(name, "MSQM").version, 9);
    if (!formatted) {
      EXPECT_EQ(values_of(read_section(name, "M2")), values_of(v[1]));
    }
    try {
      read_section(name, "K1");
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), ErrorCode::no_such_tag);
      EXPECT_STREQ(e.what(), (name + ": no complex section tagged K1 among 4 sections").c_str());
    }
  }
  // An output that cannot be made is a file error, and an existing output stays whole.
  try {
    write_sections(dir.file("no/such/dir/x.f"), v);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::write_failed);
    EXPECT_EQ(e.kind(), ErrorKind::file);
  }
  kvax::Section long_tag = pattern(Element::cmpx, 1, 1, "M2S2");
  try {
    write_sections(dir.file("x"), std::span<const kvax::Section>(&long_tag, 1), WriteOptions{.tag_length = 2});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::bad_argument);
    EXPECT_FALSE(test::file_exists(dir.file("x")));
  }
  write_file(dir.file("old"), "old bytes");
  EXPECT_THROW(write_sections(dir.file("old"), std::span<const kvax::Section>(&long_tag, 1), WriteOptions{.tag_length = 2}),
               Error);
  EXPECT_EQ(read_file(dir.file("old")), "old bytes");
  // Numbers a text header cannot hold in their columns are refused before a byte is
  // written; the unformatted header holds them all.
  struct Wide {
    int line;
    kvax::Section s;
    std::string cause;
  };
  const Wide wide[] = {
      {__LINE__, kvax::Section(Element::cmpx, -1000000000, 0, 'M', "M2", 1),
       "K = -1000000000 and L = 0 do not fit the header's 10 columns"},
      {__LINE__, kvax::Section(Element::cmpx, 1, 1, 'M', "M2", INT32_MIN),
       "the version -2147483648 does not fit the header's 10 columns"},
      {__LINE__, kvax::Section(Element::flag, 100000, 1, 'M', "", 0),
       "K = 100000 and L = 1 do not fit the header's 5 columns"}};
  for (const Wide& w : wide) {
    SCOPED_TRACE(w.line);
    try {
      write_sections(dir.file("old"), std::span<const kvax::Section>(&w.s, 1));
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), ErrorCode::bad_argument);
      EXPECT_NE(std::string(e.what()).find(w.cause), std::string::npos) << e.what();
    }
    EXPECT_EQ(read_file(dir.file("old")), "old bytes");
    EXPECT_NO_THROW(write_sections(dir.file("wide.u"), std::span<const kvax::Section>(&w.s, 1),
                                   WriteOptions{.formatted = false}));
  }
}

// kvax.out and this layer make the same file of the same input.
TEST(Grid, SameBytesAsTheConverter) {
  ScratchDir dir;
  const kvax::Section s = pattern(Element::cmpx, 37, 11, "K1", 3);
  write_sections(dir.file("in.u"), std::span<const kvax::Section>(&s, 1), WriteOptions{.formatted = false});
  ASSERT_EQ(test::run_kvax({"-o", "kvax.f", "in.u"}, dir.path()).status, 0);
  ASSERT_EQ(test::run_kvax({"-f2u", "-o", "kvax.u", "kvax.f"}, dir.path()).status, 0);
  write_sections(dir.file("grid.f"), read_sections(dir.file("in.u")), WriteOptions{.formatted = true});
  EXPECT_EQ(read_file(dir.file("grid.f")), read_file(dir.file("kvax.f")));
  write_sections(dir.file("grid.u"), read_sections(dir.file("kvax.f")), WriteOptions{.formatted = false});
  EXPECT_EQ(read_file(dir.file("grid.u")), read_file(dir.file("kvax.u")));
}

TEST(Grid, RowRangesAndTheirCount) {
  ScratchDir dir;
  std::vector<kvax::Section> v;
  v.push_back(pattern(Element::cmpx, 6, 9));
  v.push_back(pattern(Element::dble, 3, 5));
  for (const bool formatted : {false, true}) {
    const std::string name = dir.file("rows");
    write_sections(name, v, WriteOptions{.formatted = formatted});
    // Hand-written text: a short line (trailing blanks cut) moves every row after it.
    if (formatted) {
      std::string t = read_file(name);
      const std::size_t at = t.find('\n', t.find('\n') + 1);
      t.insert(at, "   ");
      write_file(name, t);
    }
    const std::vector<kvax::Section> whole = read_sections(name);
    SectionReader r(name);
    ASSERT_TRUE(r.next());
    for (const auto& [first, count] : std::vector<std::pair<int, int>>{{1, 9}, {4, 3}, {9, 1}, {1, 1}, {2, 0}}) {
      SCOPED_TRACE(std::to_string(first) + "+" + std::to_string(count));
      std::vector<std::complex<float>> rows(static_cast<std::size_t>(6 * count));
      r.read_rows(first, count, std::span(rows));
      if (count > 0) {
        EXPECT_EQ(0, std::memcmp(rows.data(), whole[0].values.data() + (first - 1) * 6 * 8, rows.size() * 8));
      }
    }
    EXPECT_EQ(r.rows_read(), 14u);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.header().element, Element::dble);
    std::vector<double> two(6);
    r.read_rows(4, 2, std::span(two));
    EXPECT_EQ(two[5], whole[1].at<double>(5, 3));
    EXPECT_THROW(r.read_rows(5, 2, std::span(two)), Error);
    EXPECT_FALSE(r.next());
  }
}

// Every cut of a file gives the section and the row where it ends.
TEST(Grid, CutFilesNameTheSectionAndRow) {
  ScratchDir dir;
  std::vector<kvax::Section> v;
  v.push_back(pattern(Element::cmpx, 2, 3, "M2"));
  v.push_back(pattern(Element::cmpx, 2, 3, "S2"));
  const std::string whole_u = dir.file("whole.u"), whole_f = dir.file("whole.f"), cut = dir.file("cut");
  write_sections(whole_u, v, WriteOptions{.formatted = false});
  write_sections(whole_f, v, WriteOptions{.formatted = true});
  // Unformatted: header 8 + 19 bytes, rows 8 + 16 bytes; a section is 27 + 3 * 24 = 99.
  // Text: header 42 bytes, a row of 2 cells one line of 49 bytes; a section 189 bytes.
  struct Cut {
    int line;
    bool formatted;
    std::size_t bytes;
    ErrorCode code;
    int section, row;
    const char* what;
  };
  const Cut cuts[] = {
      {__LINE__, false, 2, ErrorCode::cut, 1, 0, "file ends inside the header of section 1"},
      {__LINE__, false, 26, ErrorCode::cut, 1, 0, "file ends inside the header of section 1"},
      {__LINE__, false, 27, ErrorCode::cut, 1, 3, "file ends inside row 3 of section 1 (M2)"},
      {__LINE__, false, 27 + 24, ErrorCode::cut, 1, 2, "file ends inside row 2 of section 1 (M2)"},
      {__LINE__, false, 98, ErrorCode::cut, 1, 1, "file ends inside row 1 of section 1 (M2)"},
      {__LINE__, false, 100, ErrorCode::cut, 2, 0, "file ends inside the header of section 2"},
      {__LINE__, false, 99 + 27 + 30, ErrorCode::cut, 2, 2, "file ends inside row 2 of section 2 (S2)"},
      {__LINE__, true, 60, ErrorCode::cut, 1, 3, "file ends inside row 3 of section 1 (M2)"},
      {__LINE__, true, 42 + 49 + 10, ErrorCode::cut, 1, 2, "file ends inside row 2 of section 1 (M2)"},
      {__LINE__, true, 189 + 20, ErrorCode::bad_header, 2, 0, "section 2: the header line cannot be read"},
      {__LINE__, true, 189 + 42 + 3 * 49 - 2, ErrorCode::cut, 2, 1, "file ends inside row 1 of section 2 (S2)"},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.line);
    write_file(cut, read_file(c.formatted ? whole_f : whole_u).substr(0, c.bytes));
    try {
      read_sections(cut, ReadOptions{.representation = c.formatted ? Representation::formatted : Representation::unformatted});
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), c.code);
      EXPECT_EQ(e.section(), c.section);
      EXPECT_EQ(e.row(), c.row);
      EXPECT_EQ(e.what(), cut + ": " + c.what);
      EXPECT_EQ(e.kind(), ErrorKind::content);
    }
  }
  // The last line feed missing is no cut.
  const std::string t = read_file(whole_f);
  write_file(cut, t.substr(0, t.size() - 1));
  EXPECT_EQ(read_sections(cut).size(), 2u);
}

TEST(Grid, WrongFilesSayWhatTheyAre) {
  ScratchDir dir;
  const kvax::Section s = pattern(Element::cmpx, 3, 2);
  write_sections(dir.file("m2.f"), std::span<const kvax::Section>(&s, 1), WriteOptions{.formatted = true});
  write_sections(dir.file("m2.u"), std::span<const kvax::Section>(&s, 1), WriteOptions{.formatted = false});
  write_file(dir.file("junk"), "hello world, this is no grid\n");
  write_file(dir.file("empty"), "");
  struct Case {
    int line;
    std::string file;
    ReadOptions options;
    ErrorCode code;
    std::string what;
  };
  const Case cases[] = {
      {__LINE__, "m2.f", {.representation = Representation::unformatted}, ErrorCode::wrong_representation,
       "a text file: read it as formatted"},
      {__LINE__, "m2.u", {.representation = Representation::formatted}, ErrorCode::wrong_representation,
       "a binary file: read it as unformatted"},
      {__LINE__, "m2.u", {.byte_order = ByteOrder::big}, ErrorCode::wrong_representation,
       "a little-endian file: read it as little-endian"},
      {__LINE__, "m2.u", {.tag_length = 4}, ErrorCode::bad_header,
       "section 1: the header holds a tag of 2 characters, not 4"},
      {__LINE__, "junk", {}, ErrorCode::not_sections, "neither an unformatted nor a formatted section file"},
      {__LINE__, "none", {}, ErrorCode::cannot_open, "cannot open the file: No such file or directory"},
      {__LINE__, ".", {}, ErrorCode::cannot_open, "a directory, not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    try {
      read_sections(dir.file(c.file), c.options);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), c.code);
      EXPECT_EQ(e.what(), dir.file(c.file) + ": " + c.what);
      EXPECT_EQ(e.kind(), c.code == ErrorCode::cannot_open ? ErrorKind::file : ErrorKind::content);
    }
  }
  EXPECT_TRUE(read_sections(dir.file("empty")).empty());

  // Headers that claim more rows than the file holds (more bytes than 64 bits count).
  for (const bool formatted : {false, true}) {
    kvax::Section huge = pattern(Element::cmpx, 1, 1);
    write_sections(dir.file("huge"), std::span<const kvax::Section>(&huge, 1), WriteOptions{.formatted = formatted});
    std::string bytes = read_file(dir.file("huge"));
    if (formatted) {
      bytes.replace(0, 20, "2147483647 2147483647");
      bytes.erase(20, 1);
    } else {
      bytes.replace(4, 8, std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8));
    }
    write_file(dir.file("huge"), bytes);
    try {
      read_sections(dir.file("huge"));
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), ErrorCode::cut) << e.what();
    }
  }

  // Damage inside the rows: a trailing marker that differs, a row record of another
  // length, a text field that is no number.
  struct Damage {
    int line;
    std::string file;
    std::size_t at;
    std::string bytes;
    ErrorCode code;
    std::string what;
  };
  const std::string u = read_file(dir.file("m2.u")), f = read_file(dir.file("m2.f"));
  const Damage damages[] = {
      {__LINE__, "m2.u", 27 + 4 + 24, "\x19", ErrorCode::bad_record, "row 2 of section 1 (M2): the record's markers differ"},
      {__LINE__, "m2.u", 27, "\x10", ErrorCode::bad_record, "row 2 of section 1 (M2): a row record of 16 bytes, not 24"},
      {__LINE__, "m2.f", 42 + 3, "x", ErrorCode::bad_value,
       "row 2 of section 1 (M2): a field that cannot be read: Illegal character in numeric input"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.line);
    std::string bytes = d.file == "m2.u" ? u : f;
    bytes.replace(d.at, d.bytes.size(), d.bytes);
    write_file(dir.file("damaged"), bytes);
    try {
      read_sections(dir.file("damaged"));
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), d.code);
      EXPECT_EQ(e.row(), 2);
      EXPECT_EQ(e.what(), dir.file("damaged") + ": " + d.what);
    }
  }
}

TEST(Grid, ConverterInTheProcess) {
  ScratchDir dir;
  const kvax::Section s = pattern(Element::cmpx, 5, 4, "O1", 2);
  write_sections(dir.file("in.u"), std::span<const kvax::Section>(&s, 1), WriteOptions{.formatted = false});
  const std::vector<std::string> args{"-o", dir.file("out.f"), dir.file("in.u")};
  const RunResult r = run_kvax(args);
  EXPECT_EQ(r.status, 0);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines[1], " <SLTagT>>> Tide symbols max length=           2");
  EXPECT_TRUE(r.error_report.empty());
  write_sections(dir.file("grid.f"), std::span<const kvax::Section>(&s, 1));
  EXPECT_EQ(read_file(dir.file("out.f")), read_file(dir.file("grid.f")));

  const std::vector<std::string> cut{"-o", dir.file("out2.f"), dir.file("grid.f")};
  const RunResult bad = run_kvax(cut);
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.lines.back(), " <Main-->I> The input looks formatted: try -f2u or -f2f");
  try {
    run_kvax(cut, true);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::run_failed);
    EXPECT_EQ(e.report(), bad.lines);
    EXPECT_EQ(std::string(e.what()), "kvax ended with status 1:" + bad.lines.back());
  }
}

TEST(Grid, ValuesAndStopsCarryTheirText) {
  {
    CapturedOutput out;
    write_fmt(6, "(A)", " <GETZM->T> Data truncated after    2 operations.");
    try {
      stop_run();
    } catch (const StopRun& e) {
      EXPECT_STREQ(e.what(), " <GETZM->T> Data truncated after    2 operations.");
    }
  }
  const FatalIo f(iostat::read_past_eof, "READ", "21");
  EXPECT_EQ(f.what(), f.report());

  kvax::Section s(Element::real, 2, 3);
  EXPECT_EQ(s.values.size(), 24u);
  EXPECT_THROW(s.as<double>(), Error);
  EXPECT_THROW(s.at<float>(4, 1), Error);
  s.at<float>(3, 2) = 5;
  EXPECT_EQ(s.as<float>()[5], 5);
  const auto bytes = s.values.release();
  EXPECT_EQ(s.values.size(), 0u);
  EXPECT_EQ(reinterpret_cast<const float*>(bytes.get())[5], 5);
}

}  // namespace
}  // namespace kvax
