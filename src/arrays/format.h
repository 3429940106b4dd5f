// Run-time edit formats: a format string is parsed once into a flat list of items and
// kept in a small cache; a walker replays the list for each statement, with repeat
// counts, nested groups and reversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "arrays/data_edit.h"

namespace kvax {

struct FormatItem {
  enum Kind : std::uint8_t {
    data,         // a data edit, repeated `repeat` times
    literal,      // quoted text
    skip,         // nX
    slash,        // "/", repeated `repeat` times
    colon,        // ":"
    dollar,       // "$": the statement's last record gets no line end
    scale,        // kP
    group_open,   // "(" with a repeat count; `link` is the index of its ")"
    group_close,  // ")"; `link` is the index of its "("
  };
  Kind kind = data;
  int repeat = 1;
  int value = 0;  // n of nX, k of kP
  int link = 0;
  DataEdit edit;
  std::string text;
};

class Format {
 public:
  // Parses a format such as "(1p,10e12.4,:)"; ok() is false when it cannot be interpreted.
  explicit Format(std::string_view source);
  // The parsed format for this text, parsed on first use and kept in a small cache.
  static const Format& cached(std::string_view source);

  bool ok() const { return ok_; }
  const std::vector<FormatItem>& items() const { return items_; }
  int reversion() const { return reversion_; }
  bool has_data() const { return has_data_; }

 private:
  bool parse_list(std::string_view s, std::size_t& i, int depth);
  std::vector<FormatItem> items_;
  int reversion_ = 0;  // where reversion resumes: the last top-level "(" or 0
  bool has_data_ = false;
  bool ok_ = false;
};

// Replays a parsed format. The sink receives control edits:
//   literal(std::string_view), skip(int), new_record(), and sees scale() changes.
class FormatWalker {
 public:
  FormatWalker() = default;
  explicit FormatWalker(const Format& f) : f_(&f) {}
  void reset(const Format& f) {
    f_ = &f;
    pc_ = rep_left_ = scale_ = depth_ = 0;
    dollar_ = false;
  }

  // The edit for the next data item, processing control edits on the way; nullptr
  // when the format has no data edit at all.
  template <class Sink>
  const DataEdit* next(Sink& sink) {
    if (rep_left_ > 0) {
      --rep_left_;
      return &cur_;
    }
    return advance(sink);
  }

  // Statement end: control edits up to the next data edit, a colon or the format's end.
  template <class Sink>
  void finish(Sink& sink);

  bool dollar() const { return dollar_; }

  // After next(): how many further items the same repeated edit serves, and taking them.
  int repeat_left() const { return rep_left_; }
  void consume(int n) { rep_left_ -= n; }

 private:
  struct Frame {
    int open;
    int left;
  };
  template <class Sink>
  bool control(const FormatItem& it, Sink& sink);
  template <class Sink>
  const DataEdit* advance(Sink& sink);

  const Format* f_ = nullptr;
  int pc_ = 0;
  int rep_left_ = 0;
  int scale_ = 0;  // kP in force
  bool dollar_ = false;
  DataEdit cur_;
  Frame frames_[32];
  int depth_ = 0;
};

// Performs one control item; returns false for the items that stop finish().
template <class Sink>
bool FormatWalker::control(const FormatItem& it, Sink& sink) {
  switch (it.kind) {
    case FormatItem::literal: sink.literal(it.text); break;
    case FormatItem::skip: sink.skip(it.value); break;
    case FormatItem::slash:
      for (int r = 0; r < it.repeat; ++r) sink.new_record();
      break;
    case FormatItem::scale: scale_ = it.value; break;
    case FormatItem::dollar: dollar_ = true; break;
    case FormatItem::group_open:
      frames_[depth_++] = Frame{pc_, it.repeat};
      break;
    case FormatItem::group_close:
      if (--frames_[depth_ - 1].left > 0) {
        pc_ = frames_[depth_ - 1].open;  // the ++pc_ below steps into the group
      } else {
        --depth_;
      }
      break;
    case FormatItem::colon:
    case FormatItem::data: return false;
  }
  return true;
}

template <class Sink>
const DataEdit* FormatWalker::advance(Sink& sink) {
  if (!f_->has_data()) return nullptr;
  const auto& items = f_->items();
  for (;;) {
    if (pc_ >= static_cast<int>(items.size())) {
      // Reversion: the record ends and the format resumes at its last top-level group.
      sink.new_record();
      pc_ = f_->reversion();
      depth_ = 0;
      continue;
    }
    const FormatItem& it = items[static_cast<std::size_t>(pc_)];
    if (it.kind == FormatItem::data) {
      cur_ = it.edit;
      cur_.scale = scale_;
      rep_left_ = it.repeat - 1;
      ++pc_;
      return &cur_;
    }
    if (it.kind != FormatItem::colon) control(it, sink);
    ++pc_;
  }
}

template <class Sink>
void FormatWalker::finish(Sink& sink) {
  if (rep_left_ > 0) return;
  const auto& items = f_->items();
  while (pc_ < static_cast<int>(items.size())) {
    const FormatItem& it = items[static_cast<std::size_t>(pc_)];
    if (!control(it, sink)) return;
    ++pc_;
  }
}

}  // namespace kvax
