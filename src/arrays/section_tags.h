// Tag handling shared by the complex section readers: the any-tag request and the
// comparison of a requested tag with the tag of a header.
#pragma once

#include <string_view>

#include "util/text.h"

namespace kvax {

// A request whose first two characters occur in "  ..??**" accepts any tag.
inline bool any_tag_request(std::string_view requested) {
  const std::string_view pair = sub(requested, 1, 2);
  if (pair.size() < 2) return std::string_view("  ..??**").find(text(pair, 2)) != std::string_view::npos;
  return std::string_view("  ..??**").find(pair) != std::string_view::npos;
}

// The first n characters of the request equal the n characters read; a request
// variable shorter than n is compared over its own length.
inline bool same_tag(std::string_view requested, std::string_view read, int n) {
  const long m = requested.size() < static_cast<std::size_t>(n) ? static_cast<long>(requested.size()) : n;
  return sub(requested, 1, m) == sub(text(read, static_cast<std::size_t>(n)), 1, m);
}

}  // namespace kvax
