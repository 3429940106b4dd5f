// kvax.out as a process on bad input: files cut short, random bytes, the wrong byte
// order, extreme headers, special floating-point values, awkward text, and output that
// cannot be written. Every run ends with status 0 and its section written, with status 1
// and the program's own message, or with status 255 and the fatal report: never a
// signal, a sanitizer report or a hang. A run that does not write its section leaves an existing
// output file as it was, and no run changes its input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>

#include "test_support.h"

namespace kvax {
namespace {

using test::opened;
using test::tag_line;
using test::read_file;
using test::run_kvax;
using test::ScratchDir;
using test::Section;
using test::start_line;
using test::write_file;

// ---- input files -------------------------------------------------------------------

// A section of 2 x 2 cells under a header of K x L (which need not match the rows).
Section two_by_two(std::int32_t k = 2, std::int32_t l = 2) {
  Section s;
  s.k = k;
  s.l = l;
  s.rows = s.per_row = 2;
  return s;
}

const std::string header_2x2 = "         2         2 M CMPX M2          7\n";
const std::string row2 = "  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00\n";
const std::string row1 = "  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00\n";
const std::string text_2x2 = header_2x2 + row2 + row1;

// ---- expected lines ------------------------------------------------------------------

const std::string size_u_2x2 = " <getsiz>>> K,L,TYP,VARTYP=           2           2  M CMPX\n"
                               " <GETSIZ>>>       2    2 M CMPX  array on file unit 21\n";
const std::string size_f_2x2 = " <GetsiF>>>        2       2 array on file unit 21\n";
const std::string no_section_u = " <GETSIZ>E> End of file, log.unit 21\n"
                                 " <GETZM->E> End of file, log.unit 21. Sections read:     0\n"
                                 " <GETVER>W> Bad version number due to recent read problem.\n"
                                 " <Main-->T> Bad input; tide$, ver.# EF     -1\n";

std::string report(std::string_view routine, std::string_view grid, std::string_view unit, std::string_view file) {
  return " <" + std::string(routine) + ">>> CMPX array, grid " + std::string(grid) + ", f.unit " + std::string(unit) +
         ": " + std::string(file) + " -->M2  #     7 \n";
}

std::string fatal(std::string_view text, std::string_view statement, std::string_view unit) {
  return "? FORTRAN Runtime Error:\n? " + std::string(text) + "\n? " + std::string(statement) + "(UNIT=" +
         std::string(unit) + ",...\n";
}

// The last line, before the warning that the input holds more (a header that claims
// fewer rows than its file holds leaves rows behind).
std::string last_line(std::string out) {
  const std::string more =
      " <Main-->W> The input holds more sections; only the first was converted (use --all)\n";
  if (out.ends_with(more)) out.resize(out.size() - more.size());
  if (out.empty()) return {};
  const std::size_t from = out.rfind('\n', out.size() - 2);
  return out.substr(from == std::string::npos ? 0 : from + 1);
}

// The run wrote its section: status 0 and the writer's report as the last line.
bool wrote_section(const test::ProcessResult& r) {
  const std::string last = last_line(r.out);
  return r.status == 0 && (last.starts_with(" <OutzmF>>> ") || last.starts_with(" <OUTZM->>> "));
}

// Status 0 after the section was written or 1 after any other orderly stop, both with
// nothing on standard error; or 255 with exactly the three report lines.
void expect_orderly(const test::ProcessResult& r) {
  ASSERT_TRUE(r.status == 0 || r.status == 1 || r.status == 255) << "status " << r.status << "\n" << r.out << r.err;
  if (r.status != 255) {
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.ends_with("\n"));
    EXPECT_EQ(r.status == 0, wrote_section(r)) << r.out;
  } else {
    // "? FORTRAN Runtime Error:", "? " and the error text, "? " and "STATEMENT(UNIT=n,...".
    const std::string head = "? FORTRAN Runtime Error:\n? ";
    const std::size_t second = r.err.find('\n', head.size());
    EXPECT_TRUE(r.err.starts_with(head) && second != std::string::npos && second > head.size()) << r.err;
    const std::string third = second == std::string::npos ? std::string() : r.err.substr(second + 1);
    EXPECT_TRUE(third.starts_with("? ") && third.find("(UNIT=") != std::string::npos && third.ends_with(",...\n") &&
                std::count(third.begin(), third.end(), '\n') == 1)
        << r.err;
    EXPECT_FALSE(wrote_section(r));
  }
}

const std::string precious = "precious output of an earlier run\n";

// Runs kvax.out with `args`, "-o out_name" and the input `in_name` holding `input`, where
// out_name already holds `precious`. Checks the orderly end, the unchanged input, and
// the unchanged output file unless the section was written.
test::ProcessResult guarded_run(const ScratchDir& dir, const std::string& in_name, const std::string& input,
                                std::vector<std::string> args, const std::string& out_name) {
  write_file(dir.file(in_name), input);
  write_file(dir.file(out_name), precious);
  args.insert(args.end(), {"-o", out_name, in_name});
  const auto r = run_kvax(args, dir.path());
  expect_orderly(r);
  EXPECT_EQ(read_file(dir.file(in_name)), input) << "the input was changed";
  if (!wrote_section(r)) {
    EXPECT_EQ(read_file(dir.file(out_name)), precious) << "a failed run changed the output";
  }
  return r;
}

class BadInput : public ::testing::Test {
 protected:
  std::string file(std::string_view name) const { return dir_.file(name); }
  test::ProcessResult run(const std::string& input, std::vector<std::string> args, const std::string& out_name,
                          const std::string& in_name = "in") {
    return guarded_run(dir_, in_name, input, std::move(args), out_name);
  }
  ScratchDir dir_;
};

// ---- files cut short -------------------------------------------------------------------

TEST_F(BadInput, UnformattedFileCutAtEveryOffset) {
  for (const bool big : {false, true}) {
    const std::string whole = two_by_two().unformatted(big);
    ASSERT_EQ(whole.size(), 75u);  // header record 27 bytes, two rows of 24
    for (std::size_t n = 0; n <= whole.size(); ++n) {
      // Big-endian at the edges of the records only: the framing is the same.
      if (big && n % 24 != 2 && n % 24 != 3 && n > 1) continue;
      SCOPED_TRACE((big ? "big-endian, " : "little-endian, ") + std::to_string(n) + " bytes");
      const auto r = run(whole.substr(0, n), big ? std::vector<std::string>{"-BE"} : std::vector<std::string>{},
                         "out.f", "cut.u");
      std::string expected =
          std::string(start_line) + tag_line + opened(big ? "21:%" : "21:^", "cut.u") + opened("31:B", "out.f");
      if (n < 27) {
        expected += no_section_u;
      } else if (n < 75) {
        expected += size_u_2x2 + " <GETZM->T> Data truncated after    " + (n < 51 ? "0" : "1") + " operations.\n";
      } else {
        expected += size_u_2x2 + report("GETZM-", "M", "21", "cut.u") + report("OutzmF", "M", "31", "out.f");
        EXPECT_EQ(read_file(file("out.f")), text_2x2);
      }
      EXPECT_EQ(r.out, expected);
      EXPECT_EQ(r.status, n < 75 ? 1 : 0);
    }
  }
}

TEST_F(BadInput, FormattedFileCutAtEveryOffset) {
  const std::string whole = text_2x2;
  const std::string written = two_by_two().unformatted();
  for (std::size_t n = 0; n <= whole.size(); ++n) {
    SCOPED_TRACE(std::to_string(n) + " characters");
    const auto r = run(whole.substr(0, n), {"-f2u"}, "out.u", "cut.f");
    const std::string last = last_line(r.out);
    if (r.status == 255) {
      // A field cut inside its exponent ("2.1000E") is no number.
      EXPECT_EQ(r.err, fatal("Illegal character in numeric input", "READ", "21"));
      continue;
    }
    // A line that ends the file without its line end and is too short for its fields
    // was cut: truncated data, never zeros for the missing values. Only the whole last
    // line, with or without its line end, gives the section.
    if (n >= whole.size() - 1) {
      EXPECT_TRUE(wrote_section(r)) << r.out;
    } else {
      EXPECT_TRUE(last.starts_with(" <Main-->T> Bad input; tide$, ver.# ") ||
                  last.starts_with(" <GetzmF>T> Data truncated after    "))
          << r.out;
      EXPECT_EQ(r.status, 1);
    }
    if (n > header_2x2.size() + row2.size() && n < whole.size() - 1) {
      EXPECT_EQ(last, " <GetzmF>T> Data truncated after    1 operations.\n");
    }
    if (n == 0) {
      EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:R", "cut.f") + opened("31:<", "out.u") +
                           " <GetsiF>E> End of file, log.unit 21\n"
                           " <GetzmF>E> End of file, log.unit 21. Sections read:     0\n"
                           " <GetveF>W> Bad version number due to recent read problem.\n"
                           " <Main-->T> Bad input; tide$, ver.# EF     -1\n");
    }
    if (n == header_2x2.size()) {
      EXPECT_EQ(last, " <GetzmF>T> Data truncated after    0 operations.\n");
    } else if (n == header_2x2.size() + row2.size()) {
      EXPECT_EQ(last, " <GetzmF>T> Data truncated after    1 operations.\n");
    } else if (n >= whole.size() - 1) {
      EXPECT_EQ(read_file(file("out.u")), written);  // with or without the last line end
    }
  }
}

// ---- random bytes ---------------------------------------------------------------------

TEST_F(BadInput, RandomBytesInEveryDirection) {
  std::mt19937 rng(20261208);
  const std::string valid_header = two_by_two().header(false);
  for (int n = 0; n < 8; ++n) {
    std::string bytes(rng() % 200, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    // Text-like bytes reach further into the formatted reader.
    std::string text(rng() % 200, '\0');
    for (char& c : text) c = " \n0123456789.+-EDMCPX2"[rng() % 22];
    for (const std::string& input : {bytes, valid_header + bytes, header_2x2 + text}) {
      SCOPED_TRACE("input " + test::hex(input));
      run(input, {}, "out.f");
      run(input, {"-BE", "-u2u"}, "out.u");
      run(input, {"-f2u"}, "out.u");
    }
  }
}

// ---- the wrong byte order ---------------------------------------------------------------

TEST_F(BadInput, ForeignByteOrderFindsNoSection) {
  // A header record's marker 19 read in the other order claims 318767104 bytes: the file
  // ends inside that record, so there is no section to read.
  // The first marker read in the other order fits the file: a line says so.
  auto r = run(two_by_two().unformatted(true), {}, "out.f", "be.u");
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "be.u") + opened("31:B", "out.f") +
                       no_section_u + " <Main-->I> The input looks big-endian: try -BE\n");
  EXPECT_EQ(r.status, 1);
  r = run(two_by_two().unformatted(false), {"-BE"}, "out.f", "le.u");
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:%", "le.u") + opened("31:B", "out.f") +
                       no_section_u + " <Main-->I> The input looks little-endian: drop -BE\n");
  // A text file read as unformatted.
  for (const char* direction : {"-u2f", "-u2u"}) {
    r = run(text_2x2, {direction}, "out", "m2.f");
    EXPECT_TRUE(r.out.ends_with(no_section_u + " <Main-->I> The input looks formatted: try -f2u or -f2f\n")) << r.out;
  }
  // Bytes that look like neither: no hint.
  r = run(std::string(40, '\xff'), {}, "out.f", "ff.u");
  EXPECT_TRUE(r.out.ends_with(no_section_u)) << r.out;
}

// ---- extreme headers ----------------------------------------------------------------------

std::string size_u(std::string_view getsiz_values, std::string_view getsiz_line) {
  return " <getsiz>>> K,L,TYP,VARTYP=" + std::string(getsiz_values) + "  M CMPX\n <GETSIZ>>> " +
         std::string(getsiz_line) + " M CMPX  array on file unit 21\n";
}

TEST_F(BadInput, UnformattedHeadersWithExtremeSizes) {
  constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
  const std::string head = std::string(start_line) + tag_line + opened("21:^", "in") + opened("31:B", "out.f");

  // Too large for any machine: refused before a cell is read.
  Section s = two_by_two(big, big);
  auto r = run(s.unformatted(), {}, "out.f");
  EXPECT_EQ(r.out, head + size_u("  2147483647  2147483647", "************") +
                       " <Main-->T> Grid too large for this machine: 2147483647 x 2147483647 cells\n");

  // Products that overflow 32 bits: refused, or (where the memory is there) the rows of
  // the file are too short for the header's K.
  for (auto [k, l] : {std::pair{65536, 65536}, {big, 2}, {46341, 46341}, {big, 1}}) {
    SCOPED_TRACE(std::to_string(k) + " x " + std::to_string(l));
    r = run(two_by_two(k, l).unformatted(), {}, "out.f");
    if (r.status == 1) {
      EXPECT_TRUE(last_line(r.out).starts_with(" <Main-->T> Grid too large for this machine: ")) << r.out;
    } else {
      EXPECT_EQ(r.err, fatal("Attempt to read past end of record", "READ", "21"));
    }
  }

  // No cells: the reader still takes one record per row and the writer writes the
  // header and L empty rows, as for any grid; more rows than the file holds are truncated
  // data, so a short header cannot ask for more output than its file holds. K and L that
  // the text header (I10) cannot hold are refused before anything is written.
  for (auto [k, l, shown] : {std::tuple{0, 2, "0x2"}, {2, 0, "2x0"}, {-1, 2, "-1x2"}, {2, -3, "2x-3"},
                             {INT32_MIN, INT32_MIN, "******x******"}, {-999999999, 1, "******x1"},
                             {1, -1000000000, "1x******"}}) {
    SCOPED_TRACE(shown);
    r = run(two_by_two(k, l).unformatted(), {"-u2f"}, "out");
    if (k >= -999999999 && l >= -999999999) {
      EXPECT_TRUE(last_line(r.out).starts_with(" <OutzmF>>> CMPX array, grid M, f.unit 31: out -->M2")) << r.out;
      EXPECT_EQ(r.status, 0);
    } else {
      char refused[80];
      std::snprintf(refused, sizeof refused, " <Main-->T> Grid does not fit the output header:%12d%12d\n", k, l);
      EXPECT_EQ(last_line(r.out), refused);
      EXPECT_EQ(r.status, 1);
    }
    r = run(two_by_two(k, l).unformatted(), {"-u2u"}, "out");
    EXPECT_EQ(last_line(r.out), " <OUTZM->>> CMPX array, grid M " + std::string(shown) +
                                    ", f.unit 31: out -->M2  #     7 \n");
  }
  r = run(two_by_two(-16777213, 791083266).unformatted(), {"-u2f"}, "out");
  EXPECT_EQ(last_line(r.out), " <GETZM->T> Data truncated after    2 operations.\n");
}

TEST_F(BadInput, FormattedHeadersWithExtremeSizes) {
  auto header = [](std::string_view k, std::string_view l) {
    std::string h(20, ' ');
    h.replace(10 - k.size(), k.size(), k);
    h.replace(20 - l.size(), l.size(), l);
    return h + " M CMPX M2          7\n";
  };
  // Two 10-digit sizes in 2I10 run together into one number too large for an integer.
  auto r = run(header("2147483647", "2147483647") + row2 + row1, {"-f2u"}, "out.u");
  EXPECT_EQ(r.err, fatal("Numeric overflow on input", "READ", "21"));
  r = run(header("2147483648", "2") + row2 + row1, {"-f2u"}, "out.u");
  EXPECT_EQ(r.err, fatal("Numeric overflow on input", "READ", "21"));

  r = run(header("65536", "65536") + row2 + row1, {"-f2f"}, "out.f");
  EXPECT_TRUE(last_line(r.out).starts_with(" <Main-->T> Grid too large for this machine:") ||
              last_line(r.out) == " <GetzmF>T> Data truncated after    0 operations.\n")
      << r.out;
  r = run(header("46341", "46341") + row2 + row1, {"-f2f"}, "out.f");
  EXPECT_TRUE(last_line(r.out).starts_with(" <Main-->T> Grid too large for this machine:") ||
              last_line(r.out) == " <GetzmF>T> Data truncated after    0 operations.\n")
      << r.out;

  for (auto [k, l] : {std::pair{"0", "2"}, {"2", "0"}, {"-1", "2"}}) {
    SCOPED_TRACE(std::string(k) + " x " + l);
    r = run(header(k, l) + row2 + row1, {"-f2u"}, "out");
    EXPECT_TRUE(last_line(r.out).starts_with(" <OUTZM->>> CMPX array, grid M ")) << r.out;
    r = run(header(k, l) + row2 + row1, {"-f2f"}, "out");
    EXPECT_TRUE(last_line(r.out).starts_with(" <OutzmF>>> CMPX array, grid M, ")) << r.out;
  }
  r = run(header("-5", "999999999") + row2 + row1, {"-f2f"}, "out");
  EXPECT_EQ(last_line(r.out), " <GetzmF>T> Data truncated after    2 operations.\n");
}

// ---- special values --------------------------------------------------------------------

TEST_F(BadInput, NotANumberInfinitiesDenormalsAndNegativeZero) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::bit_cast<float>(0x7fa00001u);  // a signalling NaN with a payload
  const float tiny = std::numeric_limits<float>::denorm_min();
  const float small = std::ldexp(1.0f, -130), smaller = std::ldexp(1.0f, -140);  // denormals
  Section s = two_by_two();
  s.cells = {{nan, -0.0f}, {inf, -inf}, {small, -tiny}, {std::numeric_limits<float>::max(), -smaller}};

  // Unformatted to unformatted keeps every bit, in either input byte order.
  auto r = run(s.unformatted(), {"-u2u"}, "out.u");
  EXPECT_TRUE(wrote_section(r));
  EXPECT_EQ(read_file(file("out.u")), s.unformatted());
  r = run(s.unformatted(true), {"-u2u", "-BE"}, "out.u");
  EXPECT_EQ(read_file(file("out.u")), s.unformatted());

  // To text: NaN and INF by name, negative zero without its sign, denormals in full.
  r = run(s.unformatted(), {}, "out.f");
  EXPECT_TRUE(wrote_section(r));
  const std::string text = header_2x2 + "  7.3468E-40 -1.4013E-45  3.4028E+38 -7.1746E-43\n" +
                           "         NaN  0.0000E+00         INF        -INF\n";
  // Rows are written from row 2 down: row 2 holds cells 3 and 4.
  EXPECT_EQ(read_file(file("out.f")), text);

  // And back: the names read as what they name, the small values as themselves.
  r = run(text, {"-f2u"}, "out.u");
  EXPECT_TRUE(wrote_section(r));
  const std::string back = read_file(file("out.u"));
  ASSERT_EQ(back.size(), 75u);
  auto value = [&](std::size_t row_record, std::size_t v) {
    std::uint32_t u = 0;
    std::memcpy(&u, back.data() + 27 + 24 * row_record + 4 + 4 * v, 4);
    return std::bit_cast<float>(u);
  };
  // Row record 0 is row 2 (cells 3 and 4), record 1 is row 1 (cells 1 and 2).
  EXPECT_TRUE(std::isnan(value(1, 0)));
  EXPECT_EQ(value(1, 1), 0.0f);
  EXPECT_EQ(value(1, 2), inf);
  EXPECT_EQ(value(1, 3), -inf);
  EXPECT_NEAR(value(0, 0), small, small * 1.0e-4f);
  EXPECT_EQ(value(0, 1), -tiny);
  EXPECT_TRUE(std::isfinite(value(0, 2)));
  EXPECT_NEAR(value(0, 3), -smaller, smaller * 1.0e-3f);
}

// ---- awkward text -------------------------------------------------------------------------

TEST_F(BadInput, FormattedTextWithCarriageReturnsTabsAndLongLines) {
  const std::string written = two_by_two().unformatted();
  // CRLF line ends read like LF ones.
  std::string crlf = text_2x2;
  for (std::size_t p = 0; (p = crlf.find('\n', p)) != std::string::npos; p += 2) crlf.insert(p, "\r");
  auto r = run(crlf, {"-f2f"}, "out.f");
  EXPECT_TRUE(wrote_section(r));
  EXPECT_EQ(read_file(file("out.f")), text_2x2);

  // A tab in the header's fixed columns makes it unreadable ("ER"); a tab inside a data
  // field is no number, unless it is read as a blank.
  r = run("\t2\t2 M CMPX M2          7\n" + row2 + row1, {"-f2u"}, "out.u");
  EXPECT_TRUE(r.out.ends_with(" <GetzmF>E> Cannot recognize data\n"
                              " <GetveF>W> Bad version number due to recent read problem.\n"
                              " <Main-->T> Bad input; tide$, ver.# ER     -1\n"))
      << r.out;
  for (const std::string row : {"\t2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00\n",
                                 "  2.1000E+01-2.0000E+00\t  2.2000E+01 -2.0000E+00\n"}) {
    r = run(header_2x2 + row + row1, {"-f2u"}, "out.u");
    if (r.status == 255) {
      EXPECT_EQ(r.err, fatal("Illegal character in numeric input", "READ", "21"));
    } else {
      EXPECT_TRUE(wrote_section(r)) << r.out;
    }
  }

  // Lines of a megabyte: blanks after the header and after a row are not read; a first
  // line of a million digits is one integer too large.
  const std::string blanks(1 << 20, ' ');
  r = run(header_2x2.substr(0, 41) + blanks + "\n" + row2 + row1, {"-f2u"}, "out.u");
  EXPECT_EQ(read_file(file("out.u")), written);
  r = run(header_2x2 + row2.substr(0, 48) + blanks + "\n" + row1, {"-f2u"}, "out.u");
  EXPECT_EQ(read_file(file("out.u")), written);
  r = run(std::string(1 << 20, '1') + "\n" + row1, {"-f2u"}, "out.u");
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:R", "in") + opened("31:<", "out.u"));
  EXPECT_EQ(r.err, fatal("Numeric overflow on input", "READ", "21"));
}

// ---- output onto the input -----------------------------------------------------------------

TEST_F(BadInput, OutputThatIsTheInputUnderAnotherName) {
  // "-o" with the input's name, a hard link, and a derived name whose variable expands to
  // nothing ("m2.u$Z" gives "m2.u$f" for -u2f, both "m2.u"): refused, the input intact.
  const std::string input = two_by_two().unformatted();
  write_file(file("m2.u"), input);
  ASSERT_EQ(::link(file("m2.u").c_str(), file("link.f").c_str()), 0);
  const std::string head = std::string(start_line) + tag_line + opened("21:^", "m2.u");
  for (const auto& [args, output] : {std::pair{std::vector<std::string>{"-o", "m2.u", "m2.u"}, "m2.u"},
                                     {std::vector<std::string>{"-o", "link.f", "m2.u"}, "link.f"},
                                     {std::vector<std::string>{"m2.u$Z"}, "m2.u"}}) {
    SCOPED_TRACE(args.back() + " to " + output);
    const auto r = run_kvax(args, dir_.path());
    EXPECT_EQ(r.out, head + opened("31:B", output) + " <Main-->T> Output file is the input file: " + output + "\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(file("m2.u")), input);
  }
}

// ---- output that cannot be written ------------------------------------------------------

TEST_F(BadInput, OutputInAMissingDirectory) {
  const std::string input = two_by_two().unformatted();
  write_file(file("in.u"), input);
  const auto r = run_kvax({"-o", "nodir/out.f", "in.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "in.u") +
                       " <OPENF->T> 31 B File ->nodir/out.f<- Status=UNKNOWN     2 READONLY=F\n"
                       " <OPENF->I> DFN ->nodir/out.f" +
                       std::string(117, ' ') + "<-\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(file("in.u")), input);
  EXPECT_FALSE(test::file_exists(file("nodir")));
}

// An existing file that this process may read but not write: a file without write
// permission, or for root (who may write any such file) a kernel file that refuses it.
std::string read_only_file(const ScratchDir& dir) {
  if (::geteuid() != 0) {
    const std::string f = dir.file("ro.f");
    write_file(f, precious);
    ::chmod(f.c_str(), 0444);
    return f;
  }
  for (const char* f : {"/sys/kernel/notes", "/sys/kernel/vmcoreinfo"}) {
    const int fd = ::open(f, O_RDWR);
    if (fd >= 0) {
      ::close(fd);
      continue;
    }
    if (errno != EACCES) continue;
    const int rd = ::open(f, O_RDONLY);
    if (rd < 0) continue;
    ::close(rd);
    return f;
  }
  return {};
}

TEST_F(BadInput, ReadOnlyOutputFile) {
  const std::string ro = read_only_file(dir_);
  if (ro.empty()) GTEST_SKIP() << "no file here that this process can read but not write";
  const std::string before = read_file(ro);
  const std::string input = two_by_two().unformatted();
  write_file(file("in.u"), input);
  for (const char* direction : {"-u2f", "-u2u"}) {
    SCOPED_TRACE(direction);
    const auto r = run_kvax({direction, "-o", ro, "in.u"}, dir_.path());
    EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "in.u") +
                         opened(direction == std::string("-u2f") ? "31:B" : "31:<", ro) + size_u_2x2 +
                         report("GETZM-", "M", "21", "in.u"));
    EXPECT_EQ(r.err, fatal("File is open for reading only", "WRITE", "31"));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(read_file(ro), before);
    EXPECT_EQ(read_file(file("in.u")), input);
  }
}

TEST_F(BadInput, OutputToAFullDevice) {
  // The write fails when the unit is flushed at the end of the section: the fatal
  // report, and no report line of a section written.
  const std::string input = two_by_two().unformatted();
  write_file(file("in.u"), input);
  for (const char* direction : {"-u2f", "-u2u"}) {
    SCOPED_TRACE(direction);
    const auto r = run_kvax({direction, "-o", "/dev/full", "in.u"}, dir_.path());
    EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "in.u") +
                         opened(direction == std::string("-u2f") ? "31:B" : "31:<", "/dev/full") + size_u_2x2 +
                         report("GETZM-", "M", "21", "in.u"));
    EXPECT_EQ(r.err, fatal("No space left on device", "WRITE", "31"));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(read_file(file("in.u")), input);
  }
  write_file(file("in.f"), text_2x2);
  const auto r = run_kvax({"-f2f", "-o", "/dev/full", "in.f"}, dir_.path());
  EXPECT_EQ(r.err, fatal("No space left on device", "WRITE", "31"));
  EXPECT_EQ(read_file(file("in.f")), text_2x2);
}

}  // namespace
}  // namespace kvax
