// Values after key words and the numbers read from them.
#include <kvax/scan/keyed_values.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/text/strings.h>

namespace kvax {
namespace {

// Delimiters of qd_substring after the caller's terminators: 17 ASCII characters and
// the UTF-8 bytes of the pound and euro signs, each byte a delimiter by itself. The order
// counts: the first-listed delimiter that occurs ends the number.
constexpr std::string_view number_delimiters = ";,:/*#%(){}=\xC2\xA3\xE2\x82\xAC<>[]$";
constexpr std::string_view exponent_letters = "&eEdD";

inline int len(std::string_view s) { return static_cast<int>(s.size()); }

// The value after the key; whole is the value as it stands in the text, before the value
// field cuts it.
bool substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value, int& pos,
               int& length, bool case_fallback, std::string_view* whole = nullptr) {
  int k = 0;
  int lk = 0;
  if (trim_len(key) == 1 && key[0] == '^') {
    k = 1;
  } else {
    // An empty key is missing (the search itself would find it at position 1).
    if (key.empty() || !qu_index(text, key, k, case_fallback)) return false;
    lk = len(key);
  }
  k += lk;
  pos = k;
  const int end = value_end(text, k, terminators, length == earliest_terminator);
  assign(value, sub(text, k, end));
  length = std::min(len(value), end - k + 1);
  if (whole) *whole = sub(text, k, end);
  return true;
}

// The typed readers: the default unless the key is found and its value reads as a number.
// The number is read from the value as it stands in the text: a value field too short
// for it would otherwise turn 12345 into 123.
template <class T>
T typed_substring(std::string_view text, T dflt, std::string_view key, std::string_view terminators, Text& value,
                  int& pos, int& length, bool& ok) {
  std::string_view whole;
  ok = substring(text, key, terminators, value, pos, length, false, &whole);
  if (!ok) return dflt;
  T v = dflt;
  switch (read_list_text(whole, want_both, v)) {
    case Io::ok:
      return v;
    case Io::end:  // an all-blank value
      return dflt;
    case Io::err:
      break;
  }
  ok = false;
  return dflt;
}

// First "+" or "-" in text positions from..to; 0 when there is none.
int first_sign(std::string_view text, int from, int to) {
  for (int i = std::max(from, 1); i <= std::min(to, len(text)); ++i) {
    const char c = text[static_cast<std::size_t>(i - 1)];
    if (c == '+' || c == '-') return i;
  }
  return 0;
}

// Turns the first c in value positions from on into "d".
void exponent_marker(std::string& value, int from, char c) {
  const std::size_t k = from - 1 < len(value) ? value.find(c, static_cast<std::size_t>(from - 1)) : std::string::npos;
  if (k != std::string::npos) value[k] = 'd';
}

}  // namespace

bool q_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                 int& pos, int& length) {
  return substring(text, key, terminators, value, pos, length, false);
}

bool qu_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& pos, int& length) {
  return substring(text, key, terminators, value, pos, length, true);
}

double d_substring(std::string_view text, double dflt, std::string_view key, std::string_view terminators,
                   Text& value, int& pos, int& length, bool& ok) {
  return typed_substring(text, dflt, key, terminators, value, pos, length, ok);
}

float r_substring(std::string_view text, float dflt, std::string_view key, std::string_view terminators,
                  Text& value, int& pos, int& length, bool& ok) {
  return typed_substring(text, dflt, key, terminators, value, pos, length, ok);
}

int i_substring(std::string_view text, int dflt, std::string_view key, std::string_view terminators,
                Text& value, int& pos, int& length, bool& ok) {
  return typed_substring<std::int32_t>(text, dflt, key, terminators, value, pos, length, ok);
}

bool qd_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& skip, int& pos, int& length, double& number) {
  const int ls = trim_len(text);
  const std::string_view tkey = trimmed(key);
  int found = 0;
  q_index(text, tkey, found);
  // A missing key starts the scan at its trimmed length; an all-blank one at the start.
  const int k0 = std::max(found + len(tkey), 1);

  std::string delimiters(trimmed(terminators));
  delimiters += number_delimiters;
  skip = 0;
  while (k0 + skip <= ls && delimiters.find(text[static_cast<std::size_t>(k0 + skip - 1)]) != std::string::npos)
    ++skip;
  int k = k0 + skip;

  int index = 0;
  const int d = ior_index(sub(text, k, len(text)), delimiters, index);
  int e = d > 0 ? k + d - 2 : ls;

  // The number ends before a sign, unless the sign belongs to an exponent.
  int p = ls;
  for (;;) {
    const int p1 = first_sign(text, k + 1, ls);
    if (p1 == 0) break;
    if (exponent_letters.find(at(text, p1 - 1)) != std::string_view::npos) {
      k = p1 + 1;
      continue;
    }
    p = p1 - 1;
    break;
  }
  e = std::min(p, e);

  // The number is read from the whole value, whatever the value field's length.
  std::string whole(sub(text, k0, e));
  exponent_marker(whole, skip + 1, '&');
  exponent_marker(whole, skip + 1, '^');
  assign(value, whole);
  pos = k0;
  length = std::max(e - k0 + 1, 0);
  double v = 0;
  if (read_list_text(sub(whole, skip + 1, len(whole)), want_both, v) == Io::ok) {
    number = v;
    return true;
  }
  length = trim_len(value);
  return false;
}

bool qr_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& skip, int& pos, int& length, float& number) {
  double v = number;
  const bool ok = qd_substring(text, key, terminators, value, skip, pos, length, v);
  // Rounded to single precision; beyond its range the number is an infinity.
  if (ok) number = std::abs(v) > std::numeric_limits<float>::max() ? static_cast<float>(v > 0 ? HUGE_VALF : -HUGE_VALF)
                                                                    : static_cast<float>(v);
  return ok;
}

}  // namespace kvax
