// The sections of a whole input file: the silent look at a header, skipping, listing.
#include "driver/sections.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/section_headers.h>
#include <kvax/arrays/section_layout.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

namespace kvax {
namespace {

// What the driver keeps of a header read.
SectionHead head_of(const SectionHeader& header) {
  SectionHead h;
  h.found = trim_len(header.vartyp) > 0;
  h.vartyp = header.vartyp;
  h.typ = std::string(1, header.typ);
  h.k = header.k;
  h.l = header.l;
  if (header.complex()) {
    h.tag = header.tag;
    h.version = header.version;
    h.tag_length = static_cast<int>(header.tag.size());
  }
  return h;
}

// Nothing found where a header was looked for: a clean end when not a byte was taken.
SectionHead no_header(Io s, bool moved) {
  SectionHead h;
  h.end = s == Io::end && !moved;
  h.cut = s == Io::end && moved;
  return h;
}

// A complex header record read with the tag length its size tells, whatever the run's own.
SectionHead peek_unformatted(int unit) {
  const std::int64_t at = unit_position(unit);
  SectionHeader header;
  // A file that ends after part of a length marker, or inside a header record, has moved
  // on by the bytes it held: it is cut, not at its end.
  if (const Io s = read_section_header(unit, want_both, false, HeaderItems::by_word, own_tag_length, header);
      s != Io::ok)
    return no_header(s, unit_position(unit) != at);
  backspace_unit(unit);
  return head_of(header);
}

// A complex header line read with the tag length its width tells when it reads so, else
// with the run's own.
SectionHead peek_formatted(int unit) {
  Text line = text("", 128);
  do {  // blank lines between sections are passed over
    if (read_fmt(unit, want_end, "(A)", line) == Io::end) return no_header(Io::end, false);
  } while (trim_len(line) == 0);
  backspace_unit(unit);
  SectionHeader header;
  if (parse_header_line(line, header_line_tag_length(line, cver_tag_length()), header) != HeaderParse::ok)
    return no_header(Io::err, true);
  return head_of(header);
}

// The lines of one formatted row under the row format of its element type (a word that
// names none: ten values a line).
int lines_per_row(const SectionHead& h) {
  Element e = Element::real;
  element_of_word(h.vartyp, e);
  return static_cast<int>(kvax::lines_per_row(e, h.k));
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
