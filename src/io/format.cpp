// Parsing of run-time edit formats and the format cache.
#include "io/format.h"

#include <cctype>
#include <memory>

namespace kvax {
namespace {

constexpr int max_depth = 31;
constexpr int max_count = 1 << 20;  // repeat counts, nX and widths beyond this are refused

char up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

void skip_blanks(std::string_view s, std::size_t& i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
}

// An unsigned number (blanks inside are ignored, as in the language's formats); -1 if none.
int number(std::string_view s, std::size_t& i) {
  skip_blanks(s, i);
  if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return -1;
  long v = 0;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ' ')) {
    if (s[i] != ' ') {
      v = v * 10 + (s[i] - '0');
      if (v > max_count) return -2;
    }
    ++i;
  }
  return static_cast<int>(v);
}

}  // namespace

Format::Format(std::string_view source) {
  std::size_t i = 0;
  skip_blanks(source, i);
  if (i >= source.size() || source[i] != '(') return;
  ++i;
  if (!parse_list(source, i, 0)) return;
  skip_blanks(source, i);
  if (i != source.size()) return;
  // Reversion resumes at the last top-level group, which must hold a data edit.
  int depth = 0;
  for (std::size_t k = 0; k < items_.size(); ++k) {
    if (items_[k].kind == FormatItem::group_open) {
      if (depth == 0) reversion_ = static_cast<int>(k);
      ++depth;
    } else if (items_[k].kind == FormatItem::group_close) {
      --depth;
    }
  }
  bool data_after = false;
  for (std::size_t k = static_cast<std::size_t>(reversion_); k < items_.size(); ++k)
    if (items_[k].kind == FormatItem::data) data_after = true;
  if (has_data_ && !data_after) return;
  ok_ = true;
}

// Parses items up to the closing parenthesis of the current level (consumed).
bool Format::parse_list(std::string_view s, std::size_t& i, int depth) {
  for (;;) {
    skip_blanks(s, i);
    if (i >= s.size()) return false;
    char c = s[i];
    if (c == ')') {
      ++i;
      return true;
    }
    if (c == ',') {
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') {
      const char q = c;
      FormatItem it;
      it.kind = FormatItem::literal;
      ++i;
      for (;;) {
        if (i >= s.size()) return false;
        if (s[i] == q) {
          if (i + 1 < s.size() && s[i + 1] == q) {
            it.text.push_back(q);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        it.text.push_back(s[i++]);
      }
      items_.push_back(std::move(it));
      continue;
    }
    if (c == '/' || c == ':' || c == '$') {
      FormatItem it;
      it.kind = c == '/' ? FormatItem::slash : c == ':' ? FormatItem::colon : FormatItem::dollar;
      items_.push_back(it);
      ++i;
      continue;
    }
    // A signed scale factor, or a count before X, P, H, "/", "(" or a data edit.
    bool negative = false;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++i;
    }
    int count = number(s, i);
    if (count == -2) return false;
    skip_blanks(s, i);
    if (i >= s.size()) return false;
    c = up(s[i]);
    if (c == 'P') {
      ++i;
      FormatItem it;
      it.kind = FormatItem::scale;
      if (count < 0) return false;
      it.value = negative ? -count : count;
      items_.push_back(it);
      continue;
    }
    if (negative) return false;
    if (count == 0) return false;
    const int repeat = count < 0 ? 1 : count;
    if (c == 'X') {
      ++i;
      FormatItem it;
      it.kind = FormatItem::skip;
      it.value = repeat;
      items_.push_back(it);
      continue;
    }
    if (c == '/') {
      ++i;
      FormatItem it;
      it.kind = FormatItem::slash;
      it.repeat = repeat;
      items_.push_back(it);
      continue;
    }
    if (c == '(') {
      ++i;
      if (depth + 1 > max_depth) return false;
      const int open = static_cast<int>(items_.size());
      FormatItem it;
      it.kind = FormatItem::group_open;
      it.repeat = repeat;
      items_.push_back(it);
      if (!parse_list(s, i, depth + 1)) return false;
      FormatItem close;
      close.kind = FormatItem::group_close;
      close.link = open;
      items_[static_cast<std::size_t>(open)].link = static_cast<int>(items_.size());
      items_.push_back(close);
      continue;
    }
    if (c == 'H' && count > 0) {  // nH Hollerith text
      ++i;
      if (i + static_cast<std::size_t>(count) > s.size()) return false;
      FormatItem it;
      it.kind = FormatItem::literal;
      it.text = std::string(s.substr(i, static_cast<std::size_t>(count)));
      i += static_cast<std::size_t>(count);
      items_.push_back(std::move(it));
      continue;
    }
    DataEdit e;
    e.kind = c;
    ++i;
    switch (c) {
      case 'A':
        e.width = number(s, i);
        if (e.width == 0 || e.width < -1) return false;
        break;
      case 'I':
      case 'L':
        e.width = number(s, i);
        if (e.width < 1) return false;
        skip_blanks(s, i);
        if (c == 'I' && i < s.size() && s[i] == '.') {
          ++i;
          e.digits = number(s, i);
          if (e.digits < 0) return false;
        }
        break;
      case 'F':
      case 'E':
      case 'D':
        e.width = number(s, i);
        if (e.width < 1) return false;
        skip_blanks(s, i);
        if (i >= s.size() || s[i] != '.') return false;
        ++i;
        e.digits = number(s, i);
        if (e.digits < 0) return false;
        skip_blanks(s, i);
        if (c == 'E' && i < s.size() && up(s[i]) == 'E') {
          ++i;
          e.exp_digits = number(s, i);
          if (e.exp_digits < 1) return false;
        }
        break;
      default: return false;
    }
    if (e.width > max_field_width || e.digits > max_field_width || e.exp_digits > 9) return false;
    FormatItem it;
    it.kind = FormatItem::data;
    it.repeat = repeat;
    it.edit = e;
    items_.push_back(it);
    has_data_ = true;
  }
}

std::shared_ptr<const Format> Format::cached(std::string_view source) {
  // Row formats are set again and again; a handful of slots with round-robin reuse is
  // enough. A statement holds its format, so reusing a slot never takes a format from
  // under a statement that is still running. Each thread has slots of its own.
  struct Slot {
    std::string key;
    std::shared_ptr<const Format> format;
  };
  thread_local Slot slots[32];
  thread_local int last = 0;
  thread_local int next = 0;
  if (slots[last].format && slots[last].key == source) return slots[last].format;
  for (int k = 0; k < 32; ++k) {
    if (slots[k].format && slots[k].key == source) {
      last = k;
      return slots[k].format;
    }
  }
  Slot& s = slots[next];
  s.key.assign(source);
  s.format = std::make_shared<const Format>(source);
  last = next;
  next = (next + 1) % 32;
  return s.format;
}

}  // namespace kvax
