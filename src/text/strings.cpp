// String toolkit on blank-padded text fields.
#include <kvax/text/strings.h>

#include <algorithm>
#include <string>

namespace kvax {
namespace {

constexpr std::size_t kPrefixField = 2048;  // replace: prefix + new text working field
constexpr std::size_t kResultField = 3072;  // replace: whole result working field
constexpr int kCaseWindow = 32;             // case-insensitive searches see 32 characters

inline unsigned code(char c) { return static_cast<unsigned char>(c); }
inline int len(std::string_view s) { return static_cast<int>(s.size()); }

inline char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Trimmed length, or the declared length when the field is all blank.
inline int trim_or_declared(std::string_view s) {
  const int t = trim_len(s);
  return t > 0 ? t : len(s);
}

// Does the pattern start at 1-based position p of the text (wholly inside it)?
inline bool matches_at(std::string_view text, std::string_view pattern, int p) {
  return p >= 1 && p - 1 + len(pattern) <= len(text) &&
         text.compare(static_cast<std::size_t>(p - 1), pattern.size(), pattern) == 0;
}

// First occurrence of the pattern lying wholly in text positions from..to; 0 if none.
int find_in(std::string_view text, std::string_view pattern, int from, int to) {
  if (pattern.empty()) return 0;
  from = std::max(from, 1);
  to = std::min(to, len(text));
  if (to - from + 1 < len(pattern)) return 0;
  const std::size_t k = text.substr(0, static_cast<std::size_t>(to)).find(pattern, static_cast<std::size_t>(from - 1));
  return k == std::string_view::npos ? 0 : static_cast<int>(k) + 1;
}

// Removes n characters at position k: the rest of the field closes up and n blanks
// enter at its declared end.
void remove_at(Text& t, int k, int n) {
  const int size = len(t);
  if (k < 1 || k > size || n <= 0) return;
  n = std::min(n, size - k + 1);
  t.erase(static_cast<std::size_t>(k - 1), static_cast<std::size_t>(n));
  t.append(static_cast<std::size_t>(n), ' ');
}

// Tries the characters of the set in order: index = place in the set of the first one that
// occurs in the text, pos = its first position there; both 0 when none occurs.
void first_of_set(std::string_view text, std::string_view set, int& index, int& pos) {
  index = 0;
  pos = 0;
  for (std::size_t i = 0; i < set.size(); ++i) {
    const std::size_t k = text.find(set[i]);
    if (k != std::string_view::npos) {
      index = static_cast<int>(i) + 1;
      pos = static_cast<int>(k) + 1;
      return;
    }
  }
}

// Shared body of replace_in_string and replace_in_str: returns K, or 0 when the old text
// does not occur in first..last.
int replace_once(Text& t, std::string_view old_text, std::string_view new_text, int first, int last,
                 int& inserted) {
  const int n = len(t);
  int l = last > 0 ? last : trim_len(t);
  l = std::min(l, n);
  int ls = trim_len(t);
  const int lo = trim_or_declared(old_text);
  const int ln = trim_or_declared(new_text);
  inserted = ln;
  const int k = find_in(t, old_text.substr(0, static_cast<std::size_t>(lo)), first, l);
  if (k == 0) return 0;
  // Lower the kept end so that the result fits the field; the characters beyond are lost.
  if (ls + ln - lo > n) ls = n - ln + lo;
  std::string head;
  head.reserve(static_cast<std::size_t>(k - 1 + ln));
  head.append(sub(t, 1, k - 1));
  head.append(new_text.substr(0, static_cast<std::size_t>(ln)));
  if (head.size() > kPrefixField) head.resize(kPrefixField);
  head.append(sub(t, k + lo, ls));
  if (head.size() > kResultField) head.resize(kResultField);
  assign(t, head);
  return k;
}

}  // namespace

int index_l_nonblank(std::string_view text) { return trim_len(text); }

int index_1_nonblank(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (code(text[i]) > 32) return static_cast<int>(i) + 1;
  return 0;
}

int index_l_decent(std::string_view text) {
  for (std::size_t i = text.size(); i > 0; --i) {
    const unsigned c = code(text[i - 1]);
    if (c >= 33 && c <= 127) return static_cast<int>(i);
  }
  return 0;
}

int instr(int start, std::string_view text, std::string_view pattern) {
  return find_in(text, pattern, start, len(text));
}

int index_l(std::string_view text, std::string_view pattern) {
  const int ls = trim_or_declared(text);
  const int lp = trim_or_declared(pattern);
  if (lp == 0) return 0;
  const std::string_view p = pattern.substr(0, static_cast<std::size_t>(lp));
  const int top = ls - lp + 1;
  if (top < 1) return 0;
  // The search from the top start runs to the declared end, so an occurrence lying past
  // the trimmed end (an all-blank pattern) is found there first.
  if (const int k = find_in(text, p, top, len(text))) return k;
  for (int i = top - 1; i >= 1; --i)
    if (matches_at(text, p, i)) return i;
  return 0;
}

int length_s(std::string_view text, std::string_view terminators) {
  int last = 0;
  for (char c : terminators) {
    const std::size_t k = text.rfind(c);
    if (k != std::string_view::npos) last = std::max(last, static_cast<int>(k) + 1);
  }
  return last - 1 > 0 ? last - 1 : trim_len(text);
}

int loccar(std::span<const Text> elements, int n, std::string_view prefix) {
  const int count = std::min(n, static_cast<int>(elements.size()));
  for (int i = 0; i < count; ++i) {
    const Text& e = elements[static_cast<std::size_t>(i)];
    if (e.size() >= prefix.size() && std::string_view(e).substr(0, prefix.size()) == prefix) return i + 1;
  }
  return 0;
}

int kpos_word(std::string_view text, int n) {
  if (n < 1) return 0;
  int i = index_1_nonblank(text);
  if (i == 0) return 0;
  const int size = len(text);
  for (int word = 1; word < n; ++word) {
    while (i <= size && text[static_cast<std::size_t>(i - 1)] != ' ') ++i;
    while (i <= size && text[static_cast<std::size_t>(i - 1)] == ' ') ++i;
    if (i > size) return 0;
  }
  return i;
}

int value_end(std::string_view text, int start, std::string_view terminators, bool earliest) {
  int end = len(text);
  if (start < 1) start = 1;
  if (start > len(text)) return end;
  for (char c : terminators) {
    const std::size_t k = text.find(c, static_cast<std::size_t>(start - 1));
    if (k == std::string_view::npos) continue;
    const int p = static_cast<int>(k) + 1;
    if (!earliest) return p - 1;
    end = std::min(end, p - 1);
  }
  return end;
}

bool q_index(std::string_view text, std::string_view pattern, int& pos) {
  // An empty pattern is found at once, as INDEX finds it.
  pos = pattern.empty() ? 1 : find_in(text, pattern, 1, len(text));
  return pos > 0;
}

bool qu_index(std::string_view text, std::string_view pattern, int& pos, bool case_fallback) {
  if (q_index(text, pattern, pos)) return true;
  if (!case_fallback) return false;
  const int lt = len(text);
  const int lk = std::min(len(pattern), kCaseWindow);
  if (lk > lt || lk == 0) return false;
  const std::string_view key = pattern.substr(0, static_cast<std::size_t>(lk));
  const int step = kCaseWindow + 1 - lk;  // windows overlap by lk - 1
  char window[kCaseWindow];
  for (int j = 1; j <= lt; j += step) {
    const std::string_view w = sub(text, j, j + kCaseWindow - 1);
    std::transform(w.begin(), w.end(), window, upper);
    const int k = find_in(std::string_view(window, w.size()), key, 1, len(w));
    if (k > 0) {
      pos = j - 1 + k;
      return true;
    }
  }
  return false;
}

bool qor_index(std::string_view text, std::string_view set, int& index) {
  int pos = 0;
  first_of_set(text, set, index, pos);
  return index > 0;
}

bool ql_index(std::string_view text, std::string_view set, int& pos) {
  int index = 0;
  first_of_set(text, set, index, pos);
  return index > 0;
}

int ior_index(std::string_view text, std::string_view set, int& index) {
  int pos = 0;
  first_of_set(text, set, index, pos);
  return pos;
}

bool quch_in(std::string_view word, std::string_view list, int& pos) {
  pos = 0;
  if (list.size() < word.size()) return false;
  if (word.empty() || (word.size() == 1 && code(word[0]) < 32)) return true;
  const int l = std::min(len(word), kCaseWindow);
  char w[kCaseWindow];
  std::transform(word.begin(), word.begin() + l, w, upper);
  for (int j = 1; j <= len(list) - l + 1; ++j) {
    int m = 0;
    while (m < l && upper(list[static_cast<std::size_t>(j - 1 + m)]) == w[m]) ++m;
    if (m == l) {
      pos = j;
      return true;
    }
  }
  return false;
}

bool qucss(std::string_view text, std::string_view list, std::string_view separator, int& first,
           int& last, int& list_pos) {
  const int ls = trim_len(text);
  list_pos = 0;
  first = ls + 1;
  last = ls;
  int j = 1;
  while (true) {
    int e = ls;
    if (!separator.empty() && j <= len(text)) {
      const std::size_t k = text.find(separator[0], static_cast<std::size_t>(j - 1));
      // An empty item (separator right at j) runs to the end of the text.
      if (k != std::string_view::npos && static_cast<int>(k) + 1 != j) e = static_cast<int>(k);
    }
    if (e - j + 1 > 0) {
      int p = 0;
      if (quch_in(sub(text, j, e), list, p)) {
        first = j;
        last = e;
        list_pos = p;
        return true;
      }
    }
    j = e + 2;
    if (j > ls) return false;
  }
}

void ucase(std::string_view in, Text& out) {
  const std::size_t n = std::min(in.size(), out.size());
  for (std::size_t i = 0; i < n; ++i) out[i] = upper(in[i]);
}

void lcase(std::string_view in, Text& out) {
  const std::size_t n = std::min(in.size(), out.size());
  for (std::size_t i = 0; i < n; ++i) out[i] = lower(in[i]);
}

int make_decent(Text& text, char replacement) {
  const int ls = trim_len(text);
  int lowest = 0;
  for (int i = ls; i >= 1; --i) {
    char& c = text[static_cast<std::size_t>(i - 1)];
    if (code(c) < 32 || code(c) > 127) {
      lowest = i;
      if (code(replacement) >= 32) c = replacement;
    }
  }
  return lowest > 0 ? lowest - 1 : ls;
}

namespace {

void delete_one(Text& text, std::string_view pattern, int first, int last, bool last_occurrence) {
  const int f = std::max(first, 1);
  const int l = std::min(last >= 1 ? last : trim_len(text), len(text));
  const int lp = std::max(trim_len(pattern), 1);  // an all-blank pattern deletes one character
  if (f > l) return;
  int k = 0;
  if (last_occurrence) {
    const int r = index_l(sub(text, f, l), pattern);
    k = r > 0 ? r + f - 1 : 0;
  } else {
    k = find_in(text, pattern, f, l);
  }
  if (k == 0) return;
  // Close up within first..last; text beyond last stays where it is.
  for (int i = k; i <= l; ++i)
    text[static_cast<std::size_t>(i - 1)] = i + lp <= l ? text[static_cast<std::size_t>(i + lp - 1)] : ' ';
}

}  // namespace

void delete_1_in_string(Text& text, std::string_view pattern, int first, int last) {
  delete_one(text, pattern, first, last, false);
}

void delete_l_in_string(Text& text, std::string_view pattern, int first, int last) {
  delete_one(text, pattern, first, last, true);
}

void delete_in_string(Text& text, std::string_view pattern, int first, int last) {
  int ls = trim_or_declared(text);
  if (last > 0) ls = std::min(last, ls);
  if (pattern.empty()) return;
  const int f = std::max(first, 1);
  // A single occurrence ending exactly at the end of the range goes whole.
  const int k0 = find_in(text, pattern, 1, ls);
  if (k0 > 0 && k0 >= f && k0 == ls - len(pattern) + 1) {
    remove_at(text, k0, len(pattern));
    return;
  }
  // An all-blank pattern is searched at its full length but deletes one character, so
  // two blanks collapse every run of blanks to one.
  const int lp = std::max(trim_len(pattern), 1);
  while (const int k = find_in(text, pattern, f, ls)) {
    remove_at(text, k, lp);
    ls -= lp;
  }
}

void replace_in_string(Text& text, std::string_view old_text, std::string_view new_text, int first,
                       int last) {
  int inserted = 0;
  replace_once(text, old_text, new_text, first, last, inserted);
}

int replace_in_str(Text& text, std::string_view old_text, std::string_view new_text, int& first,
                   int last) {
  const int f = std::max(first, 1);
  int inserted = 0;
  const int k = replace_once(text, old_text, new_text, f, last, inserted);
  if (k == 0) return 0;
  // Resume after the inserted text, so that repeated replacement neither rescans what it
  // inserted nor skips what followed the old text.
  first = k + inserted;
  return k - f + 1;
}

void replall_in_string(Text& text, std::string_view old_text, std::string_view new_text, int& first,
                       int last) {
  while (true) {
    const Text before = text;
    const int before_first = first;
    if (replace_in_str(text, old_text, new_text, first, last) <= 0) return;
    // Replacing blanks past the end by nothing changes nothing: the same hit would recur.
    if (text == before && first == before_first) return;
  }
}

}  // namespace kvax
