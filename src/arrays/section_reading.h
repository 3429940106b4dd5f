// What the complex section readers of both representations share: the any-tag request,
// the comparison of a requested tag with the tag of a header, and the end of file where
// a header was expected.
#pragma once

#include <string_view>

#include "util/text.h"

namespace kvax {

// A request whose first two characters occur in "  ..??**" accepts any tag.
inline bool any_tag_request(std::string_view requested) {
  return std::string_view("  ..??**").find(text(sub(requested, 1, 2), 2)) != std::string_view::npos;
}

// The first n characters of the request equal the n characters read; a request
// variable shorter than n is compared over its own length.
inline bool same_tag(std::string_view requested, std::string_view read, int n) {
  const long m = requested.size() < static_cast<std::size_t>(n) ? static_cast<long>(requested.size()) : n;
  return sub(requested, 1, m) == sub(text(read, static_cast<std::size_t>(n)), 1, m);
}

// The end of file where a header was expected: the "End of file" line (severity E when
// no section was read in this call, W after one), for a search the ditto report of the
// last section, and the status code "EF" (a search: "EV" and the last version read).
// last_typ is the grid type of the last header read during the run, or nullptr.
struct SectionEnd {
  std::string_view routine;  // 6 characters
  int unit;
  int sections;
  int* version_arg;  // the search's version argument; nullptr for a read by position
  std::string_view last_vartyp;
  int last_version;
  const Text* last_typ;
};
void end_of_sections(const SectionEnd& e, Text& typ, Text& tag);

}  // namespace kvax
