// Fixed-length, blank-padded text fields: the one string representation of the library.
//
// A text field is a std::string whose size() is the declared length. Assignment pads
// with blanks or cuts; positions are 1-based, 0 means "not found"; the trimmed length is
// the position of the last character above the blank (code 32).
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvax {

using Text = std::string;

// A field of declared length n holding s, blank-padded or cut.
inline Text text(std::string_view s, std::size_t n) {
  Text t(n, ' ');
  std::copy_n(s.data(), s.size() < n ? s.size() : n, t.data());
  return t;
}

// Assigns s to the field, keeping its declared length.
inline void assign(Text& field, std::string_view s) {
  const std::size_t n = field.size();
  const std::size_t m = s.size() < n ? s.size() : n;
  field.replace(0, m, s.data(), m);
  field.replace(m, n - m, n - m, ' ');
}

// Characters i to j (1-based, inclusive) clamped to the field; empty when j < i.
inline std::string_view sub(std::string_view f, long i, long j) {
  if (i < 1) i = 1;
  if (j > static_cast<long>(f.size())) j = static_cast<long>(f.size());
  if (j < i) return {};
  return f.substr(static_cast<std::size_t>(i - 1), static_cast<std::size_t>(j - i + 1));
}

// Character at 1-based position i, or a blank outside the field.
inline char at(std::string_view f, long i) {
  return (i >= 1 && i <= static_cast<long>(f.size())) ? f[static_cast<std::size_t>(i - 1)] : ' ';
}

// Overwrites positions i.. of the field with s, cut at the field's end.
inline void put(Text& field, long i, std::string_view s) {
  for (std::size_t k = 0; k < s.size(); ++k) {
    const long p = i + static_cast<long>(k);
    if (p >= 1 && p <= static_cast<long>(field.size())) field[static_cast<std::size_t>(p - 1)] = s[k];
  }
}

// Position of the last character with code above 32; 0 when there is none.
inline int trim_len(std::string_view f) {
  for (std::size_t i = f.size(); i > 0; --i)
    if (static_cast<unsigned char>(f[i - 1]) > 32) return static_cast<int>(i);
  return 0;
}

// The field up to its trimmed length.
inline std::string_view trimmed(std::string_view f) { return f.substr(0, static_cast<std::size_t>(trim_len(f))); }

}  // namespace kvax
