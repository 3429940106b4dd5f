// Formatted, list-directed and unformatted READ and WRITE statements.
#include <kvax/io/statements.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include <kvax/io/units.h>

#include "io/edit_input.h"
#include "io/edit_output.h"
#include "io/format.h"
#include "io/format_floats.h"
#include "io/scan_fields.h"
#include "io/unit.h"

namespace kvax {
namespace {

// Statement states are kept in a small pool and reused, so a statement allocates
// nothing once its buffers have grown to the longest record seen.
template <class S>
struct Pool {
  std::vector<std::unique_ptr<S>> idle;
  S* acquire() {
    if (idle.empty()) return new S;
    S* s = idle.back().release();
    idle.pop_back();
    return s;
  }
  void release(S* s) {
    if (idle.size() < 8) {
      idle.emplace_back(s);
    } else {
      delete s;
    }
  }
};

// The longest formatted record a statement builds for a unit (an internal text: its
// length) is max_record_length: a whole grid row of the largest grid on one line
// (2 x 2,403,000 fields of 12 columns) fits; "(99999X,99999X,...)" does not grow without end.

constexpr DataEdit list_integer{'I', 12, -1, -1, 0};
constexpr DataEdit list_real{'E', 15, 7, -1, 1};
constexpr DataEdit list_double{'E', 24, 16, -1, 1};

inline void swap_bytes(void* p, std::size_t unit, std::size_t count) {
  unsigned char* b = static_cast<unsigned char*>(p);
  for (std::size_t i = 0; i < count; ++i, b += unit) {
    switch (unit) {
      case 2: std::swap(b[0], b[1]); break;
      case 4: {
        std::uint32_t v;
        std::memcpy(&v, b, 4);
        v = __builtin_bswap32(v);
        std::memcpy(b, &v, 4);
        break;
      }
      case 8: {
        std::uint64_t v;
        std::memcpy(&v, b, 8);
        v = __builtin_bswap64(v);
        std::memcpy(b, &v, 8);
        break;
      }
      default: break;
    }
  }
}

bool is_real_edit(char k) { return k == 'E' || k == 'D' || k == 'F'; }

}  // namespace

// =======================================================================================
// Output

struct OutputStatement::State {
  Unit* unit = nullptr;
  Text* field = nullptr;
  int unit_no = 0;
  bool list = false;
  FormatWalker walker;
  std::vector<char> buf;  // the record being built
  std::size_t len = 0;
  std::size_t pending = 0;  // blanks of nX not yet written
  bool has_item = false;  // list-directed: an item is on the line
  bool last_text = false;
  int records = 0;

  void reset() {
    unit = nullptr;
    field = nullptr;
    unit_no = 0;
    list = false;
    len = 0;
    pending = 0;
    has_item = last_text = false;
    records = 0;
  }

  char* room(std::size_t n) {
    if (len + pending + n > (field ? field->size() : max_record_length))
      fatal_io(iostat::record_overflow, "WRITE", unit_no);
    if (len + pending + n > buf.size()) buf.resize((len + pending + n) * 2 + 256);
    if (pending) {
      std::memset(buf.data() + len, ' ', pending);
      len += pending;
      pending = 0;
    }
    char* p = buf.data() + len;
    len += n;
    return p;
  }
  void append(std::string_view s) {
    if (!s.empty()) std::memcpy(room(s.size()), s.data(), s.size());
  }

  // Control edits of the format walker. nX moves the position; the blanks it passes
  // over appear only when characters follow them in the record.
  void literal(std::string_view s) { append(s); }
  void skip(int n) { pending += static_cast<std::size_t>(n); }
  void new_record() { emit(true); }

  void emit(bool line_end) {
    if (field) {
      if (records > 0 || len > field->size()) fatal_io(iostat::record_overflow, "WRITE", internal_unit);
      assign(*field, std::string_view(buf.data(), len));
    } else {
      unit->write_line(buf.data(), len, line_end);
      if (unit_no == 6) note_standard_output_line(std::string_view(buf.data(), len));
    }
    ++records;
    len = 0;
    pending = 0;
    has_item = false;
    last_text = false;
  }

  const DataEdit& edit() {
    const DataEdit* e = walker.next(*this);
    if (!e) fatal_io(iostat::bad_format, "WRITE", unit_no);
    return *e;
  }
  [[noreturn]] void mismatch() { fatal_io(iostat::bad_format, "WRITE", unit_no); }

  void list_separator(bool text) {
    if (len == 0) append(" ");
    if (has_item && (!text || !last_text)) append(" ");
    has_item = true;
    last_text = text;
  }

  template <class F>
  void real(F v) {
    if (list) {
      list_separator(false);
      const DataEdit& e = sizeof(F) == 4 ? list_real : list_double;
      out_real(room(static_cast<std::size_t>(e.width)), e, v);
      return;
    }
    const DataEdit& e = edit();
    if (!is_real_edit(e.kind)) mismatch();
    out_real(room(static_cast<std::size_t>(e.width)), e, v);
  }

  // Values that share one repeated edit (a row under "10e12.4") are edited in a run,
  // with one walker step and one buffer check per run.
  template <class F>
  void reals(const F* v, std::size_t n) {
    if (list) {
      for (std::size_t i = 0; i < n; ++i) real(v[i]);
      return;
    }
    std::size_t i = 0;
    while (i < n) {
      const DataEdit& e = edit();
      if (!is_real_edit(e.kind)) mismatch();
      const std::size_t run = 1 + std::min<std::size_t>(static_cast<std::size_t>(walker.repeat_left()), n - i - 1);
      walker.consume(static_cast<int>(run - 1));
      out_reals(room(static_cast<std::size_t>(e.width) * run), e, v + i, run);
      i += run;
    }
  }

  // Integers and logicals of a row: in runs under one repeated edit, as the reals.
  template <char kind, class T>
  void run_of(const T* v, std::size_t n, void (*edit_run)(char*, const DataEdit&, const T*, std::size_t)) {
    std::size_t i = 0;
    while (i < n) {
      const DataEdit& e = edit();
      if (e.kind != kind) mismatch();
      const std::size_t run = 1 + std::min<std::size_t>(static_cast<std::size_t>(walker.repeat_left()), n - i - 1);
      walker.consume(static_cast<int>(run - 1));
      edit_run(room(static_cast<std::size_t>(e.width) * run), e, v + i, run);
      i += run;
    }
  }

  void integer(std::int64_t v) {
    if (list) {
      // An integer follows the previous item directly in its 12 columns.
      if (len == 0) append(" ");
      has_item = true;
      last_text = false;
      out_integer(room(12), list_integer, v);
      return;
    }
    const DataEdit& e = edit();
    if (e.kind != 'I') mismatch();
    out_integer(room(static_cast<std::size_t>(e.width)), e, v);
  }
};

namespace {
Pool<OutputStatement::State>& output_pool() {
  thread_local Pool<OutputStatement::State> p;
  return p;
}

Unit* output_unit(int unit) {
  Unit* u = find_unit(unit);
  if (!u) fatal_io(iostat::not_connected, "WRITE", unit);
  if (!u->formatted) fatal_io(iostat::wrong_form, "WRITE", unit);
  return u;
}
}  // namespace

OutputStatement::OutputStatement(int unit, std::string_view format) : s_(output_pool().acquire()) {
  s_->reset();
  s_->unit_no = unit;
  std::shared_ptr<const Format> f = Format::cached(format);
  try {
    s_->unit = output_unit(unit);
    if (!f->ok()) fatal_io(iostat::bad_format, "WRITE", unit);
  } catch (...) {
    output_pool().release(s_);
    throw;
  }
  s_->walker.reset(std::move(f));
}

OutputStatement::OutputStatement(int unit) : s_(output_pool().acquire()) {
  s_->reset();
  s_->unit_no = unit;
  s_->list = true;
  try {
    s_->unit = output_unit(unit);
  } catch (...) {
    output_pool().release(s_);
    throw;
  }
}

OutputStatement::OutputStatement(Text& field, std::string_view format) : s_(output_pool().acquire()) {
  s_->reset();
  s_->unit_no = internal_unit;
  s_->field = &field;
  std::shared_ptr<const Format> f = Format::cached(format);
  if (!f->ok()) {
    output_pool().release(s_);
    fatal_io(iostat::bad_format, "WRITE", internal_unit);
  }
  s_->walker.reset(std::move(f));
}

// A state goes back to the pool with a record buffer of at most this size, so that a rare
// long record (a whole row on one line, a run of blanks) is not kept eight times over.
constexpr std::size_t pooled_buffer_limit = std::size_t{1} << 20;

OutputStatement::~OutputStatement() {
  if (s_->buf.size() > pooled_buffer_limit) std::vector<char>().swap(s_->buf);
  output_pool().release(s_);
}

void OutputStatement::item(std::int32_t v) { s_->integer(v); }
void OutputStatement::item(std::int64_t v) { s_->integer(v); }
void OutputStatement::item(float v) { s_->real(v); }
void OutputStatement::item(double v) { s_->real(v); }

void OutputStatement::item(bool v) {
  if (s_->list) {
    s_->list_separator(false);
    s_->append(v ? "T" : "F");
    return;
  }
  const DataEdit& e = s_->edit();
  if (e.kind != 'L') s_->mismatch();
  out_logical(s_->room(static_cast<std::size_t>(e.width)), e, v);
}

namespace {
// A complex item: list-directed "(re,im)" with the parts in the list-directed real form of
// their precision, leading blanks dropped; under a format, two real items.
template <class T>
void complex_item(OutputStatement::State& s, std::complex<T> v) {
  if (s.list) {
    const DataEdit& e = std::is_same_v<T, float> ? list_real : list_double;
    s.list_separator(false);
    char part[32];
    s.append("(");
    for (int k = 0; k < 2; ++k) {
      out_real(part, e, k == 0 ? v.real() : v.imag());
      std::string_view p(part, static_cast<std::size_t>(e.width));
      p.remove_prefix(std::min(p.find_first_not_of(' '), p.size()));
      s.append(p);
      s.append(k == 0 ? "," : ")");
    }
    return;
  }
  s.real(v.real());
  s.real(v.imag());
}
}  // namespace

void OutputStatement::item(std::complex<float> v) { complex_item(*s_, v); }
void OutputStatement::item(std::complex<double> v) { complex_item(*s_, v); }

void OutputStatement::item(std::string_view s) {
  if (s_->list) {
    s_->list_separator(true);
    s_->append(s);
    return;
  }
  const DataEdit& e = s_->edit();
  if (e.kind != 'A') s_->mismatch();
  if (e.width < 0) {
    s_->append(s);
  } else if (static_cast<std::size_t>(e.width) <= s.size()) {
    s_->append(s.substr(0, static_cast<std::size_t>(e.width)));
  } else {
    const std::size_t lead = static_cast<std::size_t>(e.width) - s.size();
    std::memset(s_->room(lead), ' ', lead);
    s_->append(s);
  }
}

void OutputStatement::items(std::span<const float> v) { s_->reals(v.data(), v.size()); }
void OutputStatement::items(std::span<const double> v) { s_->reals(v.data(), v.size()); }
void OutputStatement::items(std::span<const std::complex<float>> v) {
  if (s_->list) {
    for (auto x : v) item(x);
    return;
  }
  // A complex value is two real items, each taking the next edit.
  s_->reals(reinterpret_cast<const float*>(v.data()), 2 * v.size());
}
void OutputStatement::items(std::span<const std::int32_t> v) {
  if (s_->list) {
    for (auto x : v) s_->integer(x);
    return;
  }
  s_->run_of<'I'>(v.data(), v.size(), out_integers);
}
void OutputStatement::logicals(std::span<const std::int8_t> v) {
  if (s_->list) {
    for (auto x : v) item(x != 0);
    return;
  }
  s_->run_of<'L'>(v.data(), v.size(), out_logicals);
}

void OutputStatement::finish() {
  if (!s_->list && !s_->walker.finish(*s_)) s_->mismatch();
  s_->emit(!(!s_->list && s_->walker.dollar()));
}

// =======================================================================================
// Input

struct InputStatement::State {
  Unit* unit = nullptr;
  int unit_no = 0;
  std::string_view text;  // internal text
  bool internal = false;
  bool list = false;
  unsigned want = 0;
  FormatWalker walker;
  Io result = Io::ok;
  std::string_view rec;  // the current record
  std::size_t pos = 0;
  int records = 0;
  std::string pad;  // a field that runs past the record, blank-padded
  bool rec_unended = false;    // the record ended at the end of the file without its line end
  bool past_unended = false;   // a field ran past the end of such a record
  // list-directed
  bool slash = false;
  bool value_done = false;  // a value was taken and its separator is still to come
  int repeat_left = 0;
  bool repeat_null = false;
  std::string_view repeat_value;

  void reset() {
    unit = nullptr;
    unit_no = 0;
    text = {};
    internal = list = false;
    want = 0;
    result = Io::ok;
    rec = {};
    pos = 0;
    records = 0;
    rec_unended = past_unended = false;
    slash = value_done = false;
    repeat_left = 0;
    repeat_null = false;
    repeat_value = {};
  }

  bool failed() const { return result != Io::ok; }

  void condition(Io kind, int code) {
    if (failed()) return;
    result = kind;
    const unsigned need = kind == Io::end ? want_end : want_err;
    if (!(want & need)) fatal_io(code, "READ", unit_no);
  }
  void end_condition() { condition(Io::end, internal ? iostat::read_past_eor : iostat::read_past_eof); }

  // Moves to the next record; false (with the end condition) when there is none.
  bool next_record() {
    pos = 0;
    if (internal) {
      if (records++ > 0) {
        rec = {};
        end_condition();
        return false;
      }
      rec = text;
      return true;
    }
    ++records;
    if (!unit->read_line(rec)) {
      rec = {};
      end_condition();
      return false;
    }
    rec_unended = unit->line_unended();
    return true;
  }

  void start(const Format* format) {
    if (format && !format->ok()) return condition(Io::err, iostat::bad_format);
    if (!internal) {
      unit = find_unit(unit_no);
      if (!unit) {
        condition(Io::err, iostat::not_connected);
        return;
      }
      if (!unit->formatted) {
        condition(Io::err, iostat::wrong_form);
        return;
      }
      if (unit_no == 5) flush_standard_output();
    }
    if (!list) next_record();
  }

  // Control edits of the format walker.
  void literal(std::string_view) {}
  void skip(int n) { pos += static_cast<std::size_t>(n); }
  void new_record() {
    if (!failed()) next_record();
  }

  // The next w columns; columns past the end of the record read as blanks.
  std::string_view field(int w) {
    const std::size_t width = static_cast<std::size_t>(w);
    if (pos + width > rec.size() && rec_unended) past_unended = true;
    std::string_view f = pos < rec.size() ? rec.substr(pos, width) : std::string_view();
    pos += width;
    return f;
  }

  const DataEdit* edit() {
    if (failed()) return nullptr;
    const DataEdit* e = walker.next(*this);
    if (!e) condition(Io::err, iostat::bad_format);
    return failed() ? nullptr : e;
  }

  template <class F>
  void real(F& v) {
    if (list) return list_real(v);
    const DataEdit* e = edit();
    if (!e) return;
    if (!is_real_edit(e->kind)) return condition(Io::err, iostat::bad_format);
    F x;
    const int c = in_real(field(e->width), *e, x);
    if (c) return condition(Io::err, c);
    v = x;
  }

  template <class F>
  void reals(F* v, std::size_t n) {
    if (list) {
      for (std::size_t i = 0; i < n; ++i) real(v[i]);
      return;
    }
    std::size_t i = 0;
    while (i < n) {
      const DataEdit* e = edit();
      if (!e) return;
      if (!is_real_edit(e->kind)) return condition(Io::err, iostat::bad_format);
      const std::size_t run = 1 + std::min<std::size_t>(static_cast<std::size_t>(walker.repeat_left()), n - i - 1);
      walker.consume(static_cast<int>(run - 1));
      const std::size_t w = static_cast<std::size_t>(e->width);
      std::size_t q = 0;
      if (w > 0 && pos < rec.size()) {
        // The fields that lie whole in the record, as one run.
        const std::size_t whole = std::min(run, (rec.size() - pos) / w);
        std::size_t done = 0;
        const int c = in_reals(rec.data() + pos, *e, v + i, whole, done);
        pos += done * w;
        if (c) return condition(Io::err, c);
        q = whole;
      }
      for (; q < run; ++q) {
        std::string_view f;
        if (pos + w > rec.size() && rec_unended) {
          // The file ends inside this field's line: its missing columns are no blanks.
          past_unended = true;
          return end_condition();
        }
        if (pos + w <= rec.size()) {
          f = std::string_view(rec.data() + pos, w);
        } else if (pos < rec.size()) {
          f = rec.substr(pos);
        }
        pos += w;
        F x;
        if (const int c = in_real(f, *e, x)) return condition(Io::err, c);
        v[i + q] = x;
      }
      i += run;
    }
  }

  // Integers and logicals of a row: in runs under one repeated edit, as the reals.
  template <char kind, class T, class Convert>
  void run_in(T* v, std::size_t n, Convert convert) {
    std::size_t i = 0;
    while (i < n) {
      const DataEdit* e = edit();
      if (!e) return;
      if (e->kind != kind) return condition(Io::err, iostat::bad_format);
      const std::size_t run = 1 + std::min<std::size_t>(static_cast<std::size_t>(walker.repeat_left()), n - i - 1);
      walker.consume(static_cast<int>(run - 1));
      for (std::size_t q = 0; q < run; ++q)
        if (const int c = convert(field(e->width), v[i + q])) return condition(Io::err, c);
      i += run;
    }
  }

  void integer(std::int64_t& v, bool narrow) {
    std::int64_t x;
    int c;
    if (list) {
      std::string_view tok;
      if (!list_value(tok)) return;
      c = in_integer(tok, x);
      if (c == 0 && tok.find_first_not_of(" +-0123456789") != std::string_view::npos) c = iostat::bad_numeric;
    } else {
      const DataEdit* e = edit();
      if (!e) return;
      if (e->kind != 'I') return condition(Io::err, iostat::bad_format);
      c = in_integer(field(e->width), x);
    }
    if (c == 0 && narrow && (x > INT32_MAX || x < INT32_MIN)) c = iostat::numeric_overflow;
    if (c) return condition(Io::err, c);
    v = x;
  }

  // ---- list-directed ----

  // The next value of the list: true with its text, false for a null value, a slash or
  // the end (the condition is then raised).
  bool list_value(std::string_view& tok) {
    if (failed() || slash) return false;
    if (repeat_left > 0) {
      --repeat_left;
      tok = repeat_value;
      return !repeat_null;
    }
    if (records == 0 && !next_record()) return false;
    for (;;) {
      while (pos < rec.size() && (rec[pos] == ' ' || rec[pos] == '\t' || rec[pos] == '\r')) ++pos;
      if (pos >= rec.size()) {
        // The record's end separates values like a blank.
        if (!next_record()) return false;
        continue;
      }
      const char c = rec[pos];
      if (c == ',') {
        ++pos;
        if (value_done) {
          value_done = false;
          continue;
        }
        return false;  // a null value
      }
      if (c == '/') {
        slash = true;
        return false;
      }
      break;
    }
    const std::size_t start = pos;
    if (rec[pos] == '\'' || rec[pos] == '"') {
      const char q = rec[pos++];
      while (pos < rec.size()) {
        if (rec[pos] == q) {
          if (pos + 1 < rec.size() && rec[pos + 1] == q) {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
    } else if (rec[pos] == '(') {
      while (pos < rec.size() && rec[pos] != ')') ++pos;
      if (pos < rec.size()) ++pos;
    } else {
      while (pos < rec.size() && rec[pos] != ' ' && rec[pos] != ',' && rec[pos] != '/' && rec[pos] != '\t' &&
             rec[pos] != '\r')
        ++pos;
    }
    tok = rec.substr(start, pos - start);
    value_done = true;
    // r*value and r* repeat the value, or a null value, r times.
    const std::size_t star = tok.find('*');
    if (star != std::string_view::npos && star > 0 && tok[0] != '\'' && tok[0] != '"' &&
        tok.substr(0, star).find_first_not_of("0123456789") == std::string_view::npos) {
      std::int64_t r = 0;
      if (in_integer(tok.substr(0, star), r) != 0 || r < 1 || r > INT32_MAX) {
        condition(Io::err, iostat::bad_numeric);
        return false;
      }
      repeat_value = tok.substr(star + 1);
      repeat_null = repeat_value.empty();
      repeat_left = static_cast<int>(r) - 1;
      tok = repeat_value;
      return !repeat_null;
    }
    return true;
  }

  template <class F>
  void list_real(F& v) {
    std::string_view tok;
    if (!list_value(tok)) return;
    F x;
    const DataEdit e{'F', static_cast<int>(tok.size()), 0, -1, 0};
    const int c = in_real(tok, e, x);
    if (c) return condition(Io::err, c);
    v = x;
  }
};

namespace {
Pool<InputStatement::State>& input_pool() {
  thread_local Pool<InputStatement::State> p;
  return p;
}

// Sets up a statement's state and starts it; a start that raises the fatal report gives
// the state back to the pool first.
InputStatement::State* begin_input(int unit, std::string_view text, bool internal, unsigned want,
                                   std::shared_ptr<const Format> format) {
  InputStatement::State* s = input_pool().acquire();
  s->reset();
  s->unit_no = internal ? internal_unit : unit;
  s->internal = internal;
  s->text = text;
  s->want = want;
  s->list = format == nullptr;
  const Format* f = format.get();
  if (f) s->walker.reset(std::move(format));
  try {
    s->start(f);
  } catch (...) {
    input_pool().release(s);
    throw;
  }
  return s;
}
}  // namespace

InputStatement::InputStatement(int unit, unsigned want, std::string_view format)
    : s_(begin_input(unit, {}, false, want, Format::cached(format))) {}

InputStatement::InputStatement(int unit, unsigned want) : s_(begin_input(unit, {}, false, want, nullptr)) {}

InputStatement::InputStatement(std::string_view text, unsigned want, std::string_view format)
    : s_(begin_input(0, text, true, want, Format::cached(format))) {}

InputStatement::InputStatement(std::string_view text, unsigned want)
    : s_(begin_input(0, text, true, want, nullptr)) {}

InputStatement::~InputStatement() { input_pool().release(s_); }

void InputStatement::item(std::int32_t& v) {
  std::int64_t x = v;
  s_->integer(x, true);
  v = static_cast<std::int32_t>(x);
}
void InputStatement::item(std::int64_t& v) { s_->integer(v, false); }
void InputStatement::item(float& v) { s_->real(v); }
void InputStatement::item(double& v) { s_->real(v); }

void InputStatement::item(bool& v) {
  std::string_view f;
  if (s_->list) {
    if (!s_->list_value(f)) return;
  } else {
    const DataEdit* e = s_->edit();
    if (!e) return;
    if (e->kind != 'L') return s_->condition(Io::err, iostat::bad_format);
    f = s_->field(e->width);
  }
  bool x;
  if (int c = in_logical(f, x)) return s_->condition(Io::err, c);
  v = x;
}

namespace {
// A complex item: list-directed "(re,im)", each part a real field; under a format, two
// real items.
template <class T>
void complex_item(InputStatement::State& s, std::complex<T>& v) {
  if (!s.list) {
    T re = v.real(), im = v.imag();
    s.real(re);
    s.real(im);
    v = {re, im};
    return;
  }
  std::string_view tok;
  if (!s.list_value(tok)) return;
  const std::size_t comma = tok.find(',');
  if (tok.size() < 5 || tok.front() != '(' || tok.back() != ')' || comma == std::string_view::npos)
    return s.condition(Io::err, iostat::bad_numeric);
  const std::string_view a = tok.substr(1, comma - 1), b = tok.substr(comma + 1, tok.size() - comma - 2);
  T re, im;
  const DataEdit ea{'F', static_cast<int>(a.size()), 0, -1, 0}, eb{'F', static_cast<int>(b.size()), 0, -1, 0};
  int c = in_real(a, ea, re);
  if (!c) c = in_real(b, eb, im);
  if (c) return s.condition(Io::err, c);
  v = {re, im};
}
}  // namespace

void InputStatement::item(std::complex<float>& v) { complex_item(*s_, v); }
void InputStatement::item(std::complex<double>& v) { complex_item(*s_, v); }

void InputStatement::item(Text& s) {
  if (s_->list) {
    std::string_view tok;
    if (!s_->list_value(tok)) return;
    if (!tok.empty() && (tok[0] == '\'' || tok[0] == '"')) {
      const char q = tok[0];
      std::string t;
      for (std::size_t i = 1; i < tok.size(); ++i) {
        if (tok[i] == q) {
          if (i + 1 < tok.size() && tok[i + 1] == q) {
            t.push_back(q);
            ++i;
            continue;
          }
          break;
        }
        t.push_back(tok[i]);
      }
      assign(s, t);
    } else {
      assign(s, tok);
    }
    return;
  }
  const DataEdit* e = s_->edit();
  if (!e) return;
  if (e->kind != 'A') return s_->condition(Io::err, iostat::bad_format);
  const std::size_t n = s.size();
  const std::size_t w = e->width < 0 ? n : static_cast<std::size_t>(e->width);
  std::string_view f = s_->field(static_cast<int>(w));
  // Aw with w at least the length takes the rightmost characters of the padded field.
  std::string& pad = s_->pad;
  pad.assign(f);
  pad.resize(w, ' ');
  assign(s, w >= n ? std::string_view(pad).substr(w - n) : std::string_view(pad));
}

void InputStatement::items(std::span<float> v) { s_->reals(v.data(), v.size()); }
void InputStatement::items(std::span<double> v) { s_->reals(v.data(), v.size()); }
void InputStatement::items(std::span<std::complex<float>> v) {
  if (s_->list) {
    for (auto& x : v) item(x);
    return;
  }
  s_->reals(reinterpret_cast<float*>(v.data()), 2 * v.size());
}
void InputStatement::items(std::span<std::int32_t> v) {
  if (s_->list) {
    for (auto& x : v) item(x);
    return;
  }
  s_->run_in<'I'>(v.data(), v.size(), [](std::string_view f, std::int32_t& x) {
    std::int64_t y;
    int c = in_integer(f, y);
    if (c == 0 && (y > INT32_MAX || y < INT32_MIN)) c = iostat::numeric_overflow;
    if (c == 0) x = static_cast<std::int32_t>(y);
    return c;
  });
}
void InputStatement::logicals(std::span<std::int8_t> v) {
  if (s_->list) {
    for (auto& x : v) {
      bool b = x != 0;
      item(b);
      if (s_->failed()) return;
      x = b ? 1 : 0;
    }
    return;
  }
  s_->run_in<'L'>(v.data(), v.size(), [](std::string_view f, std::int8_t& x) {
    bool b;
    const int c = in_logical(f, b);
    if (c == 0) x = b ? 1 : 0;
    return c;
  });
}

bool InputStatement::ran_past_file_end() const { return s_->past_unended; }

Io InputStatement::finish() {
  if (!s_->list && !s_->failed() && !s_->walker.finish(*s_)) s_->condition(Io::err, iostat::bad_format);
  return s_->result;
}

// =======================================================================================
// Whole rows of reals

namespace {

// A row format that is one repeated F, E or D edit with a width, a scale factor before it
// and a colon after it at most: "(1p,10e12.4,:)", "(10e12.6)". Each record then holds
// per_record fields under the one edit (reversion starts it again, with the scale in force).
struct RowShape {
  bool ok = false;
  DataEdit edit;
  int per_record = 0;
};

RowShape shape_of(const Format& f, bool any_kind = false) {
  RowShape r;
  if (!f.ok()) return r;
  int scale = 0, data = 0;
  for (const FormatItem& it : f.items()) {
    switch (it.kind) {
      case FormatItem::scale:
        if (data) return r;
        scale = it.value;
        break;
      case FormatItem::colon:
        break;
      case FormatItem::data:
        if (data++ || !(any_kind || is_real_edit(it.edit.kind)) || it.edit.width <= 0 || it.repeat <= 0) return r;
        r.edit = it.edit;
        r.per_record = it.repeat;
        break;
      default:
        return r;
    }
  }
  if (data != 1 || f.reversion() != 0) return r;
  r.edit.scale = scale;
  r.ok = true;
  return r;
}

// The shape of the format last asked for, kept with its text: a row format is the same
// for every row of a section.
const RowShape& row_shape(std::string_view format) {
  static std::string text;
  static RowShape shape;
  if (format != text) {
    text.assign(format);
    shape = shape_of(*Format::cached(format));
  }
  return shape;
}

}  // namespace

bool row_format_edit(std::string_view format, DataEdit& edit, std::size_t& per_line) {
  const RowShape r = shape_of(Format(format), true);
  if (!r.ok) return false;
  edit = r.edit;
  per_line = static_cast<std::size_t>(r.per_record);
  return true;
}

bool write_real_lines(Unit& u, const DataEdit& e, std::size_t per, std::span<const float> values) {
  const std::size_t w = static_cast<std::size_t>(e.width);
  if (per * w + 1 > max_record_length) return false;
  // Whole lines at a time in vectors where the machine has them: up to 32 KiB of lines.
  const std::size_t chunk = std::max<std::size_t>(1, (std::size_t{32} << 10) / (per * w + 1)) * per;
  const FloatField one = out_real;  // the float overload
  std::size_t i = 0;
  while (i < values.size()) {
    const std::size_t n = std::min(chunk, values.size() - i);
    char* dst = u.room(n * w + (n + per - 1) / per);
    if (!dst || !format_float_lines(dst, e, values.data() + i, n, per, one)) break;
    u.take(n * w + (n + per - 1) / per);
    i += n;
    if (i == values.size()) return true;
  }
  do {
    const std::size_t n = std::min(per, values.size() - i);
    char* dst = u.room(n * w + 1);
    if (!dst) return i == 0;  // a record longer than the buffer: before anything is written
    out_reals(dst, e, values.data() + i, n);
    dst[n * w] = '\n';
    u.take(n * w + 1);
    i += n;
  } while (i < values.size());
  return true;
}

void write_real_row(int unit, std::string_view format, std::span<const float> values) {
  const RowShape& r = row_shape(format);
  Unit* u = r.ok ? find_unit(unit) : nullptr;
  if (!u || !u->formatted || !u->writable ||
      !write_real_lines(*u, r.edit, static_cast<std::size_t>(r.per_record), values)) {
    OutputStatement s(unit, format);
    s.items(values);
    s.finish();
  }
}

int read_real_lines(Unit& u, const DataEdit& e, std::size_t per, std::span<float> values, bool& cut) {
  cut = false;
  const std::size_t w = static_cast<std::size_t>(e.width);
  const bool by_lines = w == 12 && per >= 8 && scan_lines_available();
  std::size_t i = 0;
  do {
    // Whole lines of the row lying in the buffer go to the vectors together, across their
    // line ends; a line they do not take, and a line not whole in the buffer, are read
    // one at a time below.
    if (by_lines && values.size() - i >= per) {
      std::size_t lines = 0;
      const char* text = u.whole_lines(per * w, (values.size() - i) / per, lines);
      const std::size_t taken = lines > 0 ? scan_lines(text, per, lines, values.data() + i) : 0;
      u.take_lines(per * w, taken);
      i += taken * per;
      if (i == values.size()) break;
    }
    std::string_view rec;
    if (!u.read_line(rec)) return iostat::end_of_file;
    const std::size_t n = std::min(per, values.size() - i);
    const std::size_t whole = std::min(n, rec.size() / w);
    std::size_t done = 0;
    if (const int c = in_reals(rec.data(), e, values.data() + i, whole, done)) return c;
    for (std::size_t q = whole; q < n; ++q) {
      // A field that runs past the record: its missing columns are blanks, unless the
      // file ends inside this line.
      if (u.line_unended()) {
        cut = true;
        return iostat::end_of_file;
      }
      const std::size_t at = q * w;
      float x;
      if (const int c = in_real(at < rec.size() ? rec.substr(at) : std::string_view(), e, x)) return c;
      values[i + q] = x;
    }
    i += n;
  } while (i < values.size());
  return 0;
}

Io read_real_row(int unit, unsigned want, std::string_view format, std::span<float> values, bool* cut) {
  if (cut) *cut = false;
  const RowShape& r = row_shape(format);
  Unit* u = r.ok && unit != 5 ? find_unit(unit) : nullptr;
  if (!u || !u->formatted) {
    InputStatement s(unit, want, format);
    s.items(values);
    const Io result = s.finish();
    if (cut) *cut = s.ran_past_file_end();
    return result;
  }
  bool past = false;
  const int c = read_real_lines(*u, r.edit, static_cast<std::size_t>(r.per_record), values, past);
  if (c == 0) return Io::ok;
  const Io kind = c == iostat::end_of_file ? Io::end : Io::err;
  if (!(want & (kind == Io::end ? want_end : want_err)))
    fatal_io(c == iostat::end_of_file ? iostat::read_past_eof : c, "READ", unit);
  if (cut) *cut = past;
  return kind;
}

// =======================================================================================
// Unformatted

UnformattedWrite::UnformattedWrite(int unit) : u_(find_unit(unit)) {
  if (!u_) fatal_io(iostat::not_connected, "WRITE", unit);
  if (u_->formatted) fatal_io(iostat::wrong_form, "WRITE", unit);
  u_->begin_write_record();
}

UnformattedWrite::~UnformattedWrite() = default;

namespace {
// Writes n items of `size` bytes, swapping each `swap` bytes for a big-endian unit.
void put_items(Unit* u, const void* p, std::size_t size, std::size_t n, std::size_t swap) {
  if (!u->big_endian || swap == 1) {
    u->write(p, size * n);
    return;
  }
  unsigned char chunk[4096];
  const unsigned char* in = static_cast<const unsigned char*>(p);
  std::size_t bytes = size * n;
  while (bytes > 0) {
    const std::size_t k = std::min(bytes, sizeof chunk);
    std::memcpy(chunk, in, k);
    swap_bytes(chunk, swap, k / swap);
    u->write(chunk, k);
    in += k;
    bytes -= k;
  }
}
}  // namespace

void UnformattedWrite::item(std::int32_t v) { put_items(u_, &v, 4, 1, 4); }
void UnformattedWrite::item(float v) { put_items(u_, &v, 4, 1, 4); }
void UnformattedWrite::item(double v) { put_items(u_, &v, 8, 1, 8); }
void UnformattedWrite::item(std::string_view text) { u_->write(text.data(), text.size()); }
void UnformattedWrite::items(std::span<const std::complex<float>> v) { put_items(u_, v.data(), 8, v.size(), 4); }
void UnformattedWrite::items(std::span<const float> v) { put_items(u_, v.data(), 4, v.size(), 4); }
void UnformattedWrite::items(std::span<const double> v) { put_items(u_, v.data(), 8, v.size(), 8); }
void UnformattedWrite::items(std::span<const std::int32_t> v) { put_items(u_, v.data(), 4, v.size(), 4); }
void UnformattedWrite::items(std::span<const std::int8_t> v) { put_items(u_, v.data(), 1, v.size(), 1); }

void UnformattedWrite::finish() {
  if (done_) return;
  done_ = true;
  u_->finish_write_record();
}

UnformattedRead::UnformattedRead(int unit, unsigned want) : u_(find_unit(unit)), want_(want) {
  int code = 0;
  Io kind = Io::err;
  if (!u_) {
    code = iostat::not_connected;
  } else if (u_->formatted) {
    code = iostat::wrong_form;
  } else {
    code = u_->begin_record(length_);
    if (code == iostat::end_of_file) kind = Io::end;
  }
  if (code) {
    u_ = nullptr;
    state_ = kind;
    code_ = code == iostat::end_of_file ? iostat::read_past_eof : code;
    done_ = true;
    if (!(want_ & (kind == Io::end ? want_end : want_err))) fatal_io(code_, "READ", unit);
  }
}

UnformattedRead::~UnformattedRead() = default;

void UnformattedRead::take(void* dst, std::size_t bytes, std::size_t swap) {
  if (state_ != Io::ok) return;
  if (bytes > static_cast<std::size_t>(length_ - consumed_)) {
    // The record holds fewer bytes than the items need.
    state_ = Io::err;
    code_ = iostat::read_past_eor;
    if (!(want_ & want_err)) fatal_io(code_, "READ", u_->number());
    return;
  }
  if (u_->read(dst, bytes) != static_cast<long>(bytes)) {
    state_ = Io::err;
    code_ = iostat::corrupt_record;
    if (!(want_ & want_err)) fatal_io(code_, "READ", u_->number());
    return;
  }
  consumed_ += static_cast<std::uint32_t>(bytes);
  if (u_->big_endian && swap > 1) swap_bytes(dst, swap, bytes / swap);
}

void UnformattedRead::item(std::int32_t& v) { take(&v, 4, 4); }
void UnformattedRead::item(float& v) { take(&v, 4, 4); }
void UnformattedRead::item(double& v) { take(&v, 8, 8); }
void UnformattedRead::item(Text& text) { take(text.data(), text.size(), 1); }
void UnformattedRead::items(std::span<std::complex<float>> v) { take(v.data(), 8 * v.size(), 4); }
void UnformattedRead::items(std::span<float> v) { take(v.data(), 4 * v.size(), 4); }
void UnformattedRead::items(std::span<double> v) { take(v.data(), 8 * v.size(), 8); }
void UnformattedRead::items(std::span<std::int32_t> v) { take(v.data(), 4 * v.size(), 4); }
void UnformattedRead::items(std::span<std::int8_t> v) { take(v.data(), v.size(), 1); }

Io UnformattedRead::finish() {
  if (done_) return state_;
  done_ = true;
  // The next READ starts at the next record, whatever this one left untaken.
  if (const int c = u_->end_record(length_, consumed_); c && state_ == Io::ok) {
    state_ = Io::err;
    code_ = c;
    if (!(want_ & want_err)) fatal_io(c, "READ", u_->number());
  }
  return state_;
}

}  // namespace kvax
