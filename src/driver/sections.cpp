// The sections of a whole input file: the silent look at a header, skipping, listing.
#include "driver/sections.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include <kvax/arrays/cver.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

namespace kvax {
namespace {

// The items of a header as the record layer reads them.
struct HeaderItems {
  std::int32_t k = 0, l = 0, version = 0;
  Text typ = text("", 1), vartyp = text("", 4), tag;
  int tag_length = cver_tag_length();

  SectionHead head(bool complex) const {
    SectionHead h;
    h.found = trim_len(vartyp) > 0;
    h.vartyp = vartyp;
    h.typ = typ;
    h.k = k;
    h.l = l;
    if (complex) {
      h.tag = tag;
      h.version = version;
      h.tag_length = tag_length;
    }
    return h;
  }
};

// Nothing found where a header was looked for: a clean end when not a byte was taken.
SectionHead no_header(Io s, bool moved) {
  SectionHead h;
  h.end = s == Io::end && !moved;
  h.cut = s == Io::end && moved;
  return h;
}

// A complex header record holds 17 + n bytes for a tag of n characters: its length tells
// the tag length, whatever the run's own.
SectionHead peek_unformatted(int unit) {
  HeaderItems it;
  const std::int64_t at = unit_position(unit);
  UnformattedRead r(unit, want_both);
  r.item(it.k);
  r.item(it.l);
  r.item(it.typ);
  r.item(it.vartyp);
  const bool complex = it.vartyp == "CMPX";
  if (complex) {
    const std::int64_t n = static_cast<std::int64_t>(r.record_length()) - 17;
    if (n >= 1 && n <= max_tag_length) it.tag_length = static_cast<int>(n);
    it.tag = text("", static_cast<std::size_t>(it.tag_length));
    r.item(it.tag);
    r.item(it.version);
  }
  // A file that ends after part of a length marker, or inside a header record, has moved
  // on by the bytes it held: it is cut, not at its end.
  if (const Io s = r.finish(); s != Io::ok) return no_header(s, unit_position(unit) != at);
  backspace_unit(unit);
  return it.head(complex);
}

// The items of a text header line, its tag n characters wide.
Io read_header_line(std::string_view line, bool complex, HeaderItems& it) {
  it.tag = text("", static_cast<std::size_t>(it.tag_length));
  return complex ? read_fmt_text(line, want_both, "(2I10,1X,A1,1X,A4,1X,A" + std::to_string(it.tag_length) + ",1X,I10)",
                                 it.k, it.l, it.typ, it.vartyp, it.tag, it.version)
                 : read_fmt_text(line, want_both, "(2I5,1X,A1,1X,A4)", it.k, it.l, it.typ, it.vartyp);
}

// A complex header line is 39 + n characters wide for a tag of n characters (the version
// ends it); read with that n when the line reads so, else with the run's own.
SectionHead peek_formatted(int unit) {
  Text line = text("", 128);
  do {  // blank lines between sections are passed over
    if (read_fmt(unit, want_end, "(A)", line) == Io::end) return no_header(Io::end, false);
  } while (trim_len(line) == 0);
  backspace_unit(unit);
  HeaderItems it;
  const bool complex = std::string_view(line).substr(0, 32).find("CMPX") != std::string_view::npos;
  if (complex) {
    const int n = trim_len(line) - 39;
    it.tag_length = n >= 1 && n <= max_tag_length ? n : cver_tag_length();
    if (it.tag_length != cver_tag_length() && read_header_line(line, true, it) != Io::ok)
      it.tag_length = cver_tag_length();
  }
  if (read_header_line(line, complex, it) != Io::ok) return no_header(Io::err, true);
  return it.head(complex);
}

// The lines of one formatted row: the values a line holds under each element's row format.
int lines_per_row(const SectionHead& h) {
  if (h.k <= 0) return 1;
  const long long k = h.k;
  const long long values = h.vartyp == "CMPX" ? 2 * k : k;
  const long long per = h.vartyp == "FLAG" ? 20 : h.vartyp == "LOG1" ? 120 : 10;
  return static_cast<int>((values + per - 1) / per);
}

}  // namespace

SectionHead peek_section(int unit, bool formatted) {
  return formatted ? peek_formatted(unit) : peek_unformatted(unit);
}

bool skip_section(int unit, bool formatted, const SectionHead& h, int& rows) {
  rows = 0;
  const int count = h.l > 0 ? h.l : 0;
  if (formatted) {
    Text line = text("", 1);
    if (read_fmt(unit, want_end, "(A)", line) == Io::end) return false;
    const int per = lines_per_row(h);
    for (; rows < count; ++rows)
      for (int n = 0; n < per; ++n)
        if (read_fmt(unit, want_end, "(A)", line) == Io::end) return false;
    return true;
  }
  for (int r = -1; r < count; ++r) {
    UnformattedRead skip(unit, want_both);
    if (skip.finish() != Io::ok) return false;
    if (r >= 0) ++rows;
  }
  return true;
}

bool list_sections(int unit, bool formatted, int& sections) {
  write_fmt(6, "(A)",
            " <List-->>> section  type  grid         K         L  tag                version");
  int& n = sections;
  n = 0;
  bool whole = true;
  for (;;) {
    const SectionHead h = peek_section(unit, formatted);
    if (!h.found) {
      // Anything but the clean end of the file here is no section, or one cut.
      if (h.cut) {
        write_fmt(6, "(A,I7)", " <List-->E> The file ends inside the header of section", n + 1);
      } else if (!h.end) {
        write_fmt(6, "(A,I7,A)", " <List-->E> What follows section", n, " is no section");
      }
      whole = h.end;
      break;
    }
    ++n;
    // Fixed columns: the section number, the element word, the grid letter, K, L, and
    // for complex sections the tag (16 columns) and the version.
    if (h.vartyp == "CMPX") {
      write_fmt(6, "(A,I7,2X,A4,2X,A4,2I10,2X,A16,I10)", " <List-->>> ", n, text(h.vartyp, 4), text(h.typ, 4),
                h.k, h.l, text(h.tag, 16), h.version);
    } else {
      write_fmt(6, "(A,I7,2X,A4,2X,A4,2I10)", " <List-->>> ", n, text(h.vartyp, 4), text(h.typ, 4), h.k, h.l);
    }
    int rows = 0;
    if (!skip_section(unit, formatted, h, rows)) {
      write_fmt(6, "(A,I7,A,I10,A,I10,A)", " <List-->E> Section", n, " ends after", rows, " of", std::max(h.l, 0),
                " rows");
      whole = false;
      break;
    }
  }
  write_fmt(6, "(A,I7)", " <List-->>> sections:", n);
  return whole;
}

}  // namespace kvax
