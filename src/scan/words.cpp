// Word scanning: one word at a time, the n-th word, and a whole line into an array.
#include <kvax/scan/words.h>

#include <algorithm>

#include <kvax/io/statements.h>
#include <kvax/text/strings.h>

namespace kvax {
namespace {

int word_counter = 0;  // next_word's count, kept between calls for the whole program

inline int len(std::string_view s) { return static_cast<int>(s.size()); }

}  // namespace

int next_word(std::string_view text, std::string_view separator, Text& word, int& pos, int& word_length) {
  if (pos <= 0) {
    pos = 0;
    word_counter = 0;
  }
  const int ls = trim_len(text);
  const int lp = trim_len(separator);
  const std::string_view sep = lp > 0 ? separator.substr(0, static_cast<std::size_t>(lp)) : " ";
  if (pos > ls) {
    assign(word, "");
    word_length = 0;
    pos = 0;
    return -1;
  }
  const int q = instr(pos + 1, sub(text, 1, ls), sep);
  if (q > 0) {
    assign(word, sub(text, pos + 1, q - 1));
    word_length = q - pos - 1;
    pos = q + len(sep) - 1;
    return ++word_counter;
  }
  assign(word, sub(text, pos + 1, ls));
  word_length = ls - pos;
  pos = ls + 1;
  return 0;
}

int nth_word(int n, std::string_view text, std::string_view separator, Text& word, int& pos, int& word_length) {
  pos = 0;
  for (;;) {
    const int r = next_word(text, separator, word, pos, word_length);
    const int v = r == 0 ? n : r;
    if (r == n || n < 0) return v;
    if (r <= 0) {
      pos = 0;
      return v;
    }
  }
}

void split_into_words(std::string_view text, std::string_view separator, bool keep_empty, std::span<Text> words,
                      int& count) {
  const int ls = trim_len(text);
  count = 0;
  if (ls == 0) return;
  const int lsep = len(separator);
  // Stores one word; false when the array is full.
  auto store = [&](std::string_view w) {
    if (count >= static_cast<int>(words.size())) {
      write_list(6, "<SpWord>E> More words than elements; words kept:", count);
      return false;
    }
    assign(words[static_cast<std::size_t>(count++)], w);
    return true;
  };
  int k = 1;
  for (bool first = true;; first = false) {
    const int q = lsep > 0 ? instr(k, text, separator) : 0;
    if (q > 0 && q <= ls) {
      // A separator that runs on into the blanks after the text still ends its word.
      if ((first || q > k || keep_empty) && !store(sub(text, k, q - 1))) return;
      k = q + lsep;
      if (k > ls) return;
      continue;
    }
    // No further separator: the rest is the last word. When the field ends inside a
    // separator (its first characters stand at the very end), the text was cut short:
    // the scan says so, and keeps the rest as it stands.
    if (!store(sub(text, k, ls))) return;
    const int n = len(text);
    for (int p = std::max(k, n - lsep + 2); p <= ls; ++p) {
      if (sub(text, p, n) == separator.substr(0, static_cast<std::size_t>(n - p + 1))) {
        write_list(6, "<SpWord>E> String exhausted. k, length = ", k + 1 > ls ? k + 1 : ls, ls);
        break;
      }
    }
    return;
  }
}

}  // namespace kvax
