// The sections of a whole input file, one after another: a silent look at the next
// header, skipping a section, and the listing of a file (--list).
#pragma once

#include <string>

namespace kvax {

// The header of the next section, read without a message and stepped back over.
struct SectionHead {
  bool found = false;       // false at the end of the file, or for bytes that are no header
  bool end = false;         // nothing found, and the file ends cleanly here (blank lines in text)
  bool cut = false;         // nothing found: the file ends inside a header
  std::string vartyp;       // "CMPX", "FLAG", "REAL", "DBLE", "LOG1" or what the header holds
  std::string typ;          // the grid letter
  int k = 0, l = 0;
  std::string tag;          // complex sections only
  int version = 0;          // complex sections only
  int tag_length = 0;       // complex sections only: the tag characters the header holds
};
SectionHead peek_section(int unit, bool formatted);

// Skips the section whose header peek_section gave: its header and its rows, without a
// message. False when the file ends inside it; `rows` is then the rows it held.
bool skip_section(int unit, bool formatted, const SectionHead& h, int& rows);

// Writes one line per section of unit `unit` and their count (see the README); false
// when the file ends anywhere but where a next section would begin, or holds bytes that
// are no section. `sections` is the count of sections listed.
bool list_sections(int unit, bool formatted, int& sections);

}  // namespace kvax
