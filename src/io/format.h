// Run-time edit formats: a format string is parsed once into a flat list of items and
// kept in a small cache; a walker replays the list for each statement, with repeat
// counts, nested groups and reversion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/data_edit.h"

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
  // The parsed format for this text, parsed on first use and kept in a small cache. A
  // format leaves the cache when its slot is reused, but lives on while anyone holds it.
  static std::shared_ptr<const Format> cached(std::string_view source);

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
//
// Control edits cost work but consume no item, and nested repeat counts multiply them:
// "(1000(1000(1000/)),I2)" asks for a billion records before its first value. A statement
// may perform about a million control edits, and 64 more for each data edit it reaches;
// beyond that the walker stops and the format counts as an error in the format.
class FormatWalker {
 public:
  static constexpr long control_budget = 1L << 20;
  static constexpr long control_per_item = 64;

  FormatWalker() = default;
  // Holds the format for as long as the walker replays it.
  void reset(std::shared_ptr<const Format> f) {
    held_ = std::move(f);
    f_ = held_.get();
    pc_ = rep_left_ = scale_ = depth_ = 0;
    dollar_ = false;
    budget_ = control_budget;
  }

  // The edit for the next data item, processing control edits on the way; nullptr
  // when the format has no data edit at all, or its control edits ran over the budget.
  template <class Sink>
  const DataEdit* next(Sink& sink) {
    if (rep_left_ > 0) {
      --rep_left_;
      budget_ += control_per_item;
      return &cur_;
    }
    return advance(sink);
  }

  // Statement end: control edits up to the next data edit, a colon or the format's end.
  // False when the control edits ran over the budget.
  template <class Sink>
  bool finish(Sink& sink);

  bool dollar() const { return dollar_; }

  // After next(): how many further items the same repeated edit serves, and taking them.
  int repeat_left() const { return rep_left_; }
  void consume(int n) {
    rep_left_ -= n;
    budget_ += control_per_item * n;
  }

 private:
  struct Frame {
    int open;
    int left;
  };
  template <class Sink>
  bool control(const FormatItem& it, Sink& sink);
  template <class Sink>
  const DataEdit* advance(Sink& sink);

  std::shared_ptr<const Format> held_;
  const Format* f_ = nullptr;
  int pc_ = 0;
  int rep_left_ = 0;
  int scale_ = 0;  // kP in force
  bool dollar_ = false;
  DataEdit cur_;
  Frame frames_[32];
  int depth_ = 0;
  long budget_ = control_budget;  // control edits left to this statement
};

// Performs one control item; returns false for the items that stop finish().
template <class Sink>
bool FormatWalker::control(const FormatItem& it, Sink& sink) {
  if (it.kind != FormatItem::colon && it.kind != FormatItem::data) --budget_;
  switch (it.kind) {
    case FormatItem::literal: sink.literal(it.text); break;
    case FormatItem::skip: sink.skip(it.value); break;
    case FormatItem::slash:
      for (int r = 0; r < it.repeat && budget_ >= 0; ++r, --budget_) sink.new_record();
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
    if (budget_ < 0) return nullptr;
    if (pc_ >= static_cast<int>(items.size())) {
      // Reversion: the record ends and the format resumes at its last top-level group.
      --budget_;
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
      budget_ += control_per_item;
      return &cur_;
    }
    if (it.kind != FormatItem::colon) control(it, sink);
    ++pc_;
  }
}

template <class Sink>
bool FormatWalker::finish(Sink& sink) {
  if (rep_left_ > 0) return true;
  const auto& items = f_->items();
  while (pc_ < static_cast<int>(items.size())) {
    if (budget_ < 0) return false;
    const FormatItem& it = items[static_cast<std::size_t>(pc_)];
    if (!control(it, sink)) break;
    ++pc_;
  }
  return budget_ >= 0;
}

}  // namespace kvax
