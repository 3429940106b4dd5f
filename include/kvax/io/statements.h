// READ and WRITE statements of the record layer: formatted (under an edit format),
// list-directed (free format) and unformatted, on units or on internal texts.
//
// A statement is an object: construct it, pass its items in order, finish it. The
// variadic helpers below do all three for a fixed item list, e.g.
//   write_fmt(6, "(A,I2,A,I5)", " <GETZM->E> End of file, log.unit ", unit, ". Sections read: ", n);
//   write_list(6, "<SLTagT>>> Tide symbols max length=", n);
//   if (read_list_text(arg, want_end | want_err, value) != Io::ok) ...
// A condition that the statement did not ask for (see Want) raises the fatal report.
// Statements on internal texts share no state between threads (their working states
// and parsed formats are kept per thread): they may run on several threads at once.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <kvax/io/iostat.h>
#include <kvax/text/text.h>

namespace kvax {

class Format;
class Unit;

// Formatted or list-directed WRITE, on a unit or into an internal text field.
class OutputStatement {
 public:
  OutputStatement(int unit, std::string_view format);  // formatted; format parsed once and cached
  explicit OutputStatement(int unit);                   // list-directed
  OutputStatement(Text& field, std::string_view format);  // formatted, internal text
  OutputStatement(const OutputStatement&) = delete;
  OutputStatement& operator=(const OutputStatement&) = delete;
  ~OutputStatement();

  void item(std::int32_t v);
  void item(std::int64_t v);
  void item(float v);
  void item(double v);
  void item(bool v);
  void item(std::complex<float> v);
  void item(std::complex<double> v);
  void item(std::string_view s);
  void item(const char* s) { item(std::string_view(s)); }
  void item(const std::string& s) { item(std::string_view(s)); }
  // Arrays of items: one call per row, no per-value dispatch.
  void items(std::span<const float> v);
  void items(std::span<const double> v);
  void items(std::span<const std::complex<float>> v);
  void items(std::span<const std::int32_t> v);
  // 1-byte logicals (LOG1 elements) under L edits: any value but 0 is true.
  void logicals(std::span<const std::int8_t> v);
  void finish();

  struct State;  // the statement's working state, kept in a pool and reused

 private:
  State* s_;
};

// Formatted or list-directed READ, from a unit or from an internal text.
class InputStatement {
 public:
  InputStatement(int unit, unsigned want, std::string_view format);
  InputStatement(int unit, unsigned want);  // list-directed
  InputStatement(std::string_view text, unsigned want, std::string_view format);
  InputStatement(std::string_view text, unsigned want);  // list-directed
  InputStatement(const InputStatement&) = delete;
  InputStatement& operator=(const InputStatement&) = delete;
  ~InputStatement();

  // After a condition (end or error) the remaining items are left unchanged.
  void item(std::int32_t& v);
  void item(std::int64_t& v);
  void item(float& v);
  void item(double& v);
  void item(bool& v);
  void item(std::complex<float>& v);
  void item(std::complex<double>& v);
  void item(Text& s);  // at its declared length
  void items(std::span<float> v);
  void items(std::span<double> v);
  void items(std::span<std::complex<float>> v);
  void items(std::span<std::int32_t> v);
  // 1-byte logicals (LOG1 elements) under L edits: 1 for true, 0 for false.
  void logicals(std::span<std::int8_t> v);
  Io finish();
  // A field ran past the end of a line that ends the file without its line end: the
  // file was cut inside that line (blank padding would make the missing columns zero).
  bool ran_past_file_end() const;

  struct State;  // the statement's working state, kept in a pool and reused

 private:
  State* s_;
};

// Whole rows of reals under a row format, the grid rows of the array sections: written
// straight into the unit's buffer, and read straight from its lines, when the format is
// one repeated F, E or D edit with a scale factor before it and a colon after it at most
// ("(1p,10e12.4,:)", "(10e12.6)"); through a statement otherwise. The bytes, the values
// and the conditions are those of one statement with these items.
void write_real_row(int unit, std::string_view format, std::span<const float> values);
// As a READ with `want`: Io::ok, or the condition asked for. `cut`, when given, is set when
// a field ran past the end of a line that ends the file without its line end.
Io read_real_row(int unit, unsigned want, std::string_view format, std::span<float> values, bool* cut = nullptr);

// Unformatted WRITE: one record per statement, also with no items.
class UnformattedWrite {
 public:
  explicit UnformattedWrite(int unit);
  UnformattedWrite(const UnformattedWrite&) = delete;
  UnformattedWrite& operator=(const UnformattedWrite&) = delete;
  ~UnformattedWrite();
  void item(std::int32_t v);
  void item(float v);
  void item(double v);
  void item(std::string_view text);  // its bytes, never swapped
  void items(std::span<const std::complex<float>> v);
  void items(std::span<const float> v);
  void items(std::span<const double> v);
  void items(std::span<const std::int32_t> v);
  void items(std::span<const std::int8_t> v);
  void finish();

 private:
  Unit* u_;
  bool done_ = false;
};

// Unformatted READ of one record.
class UnformattedRead {
 public:
  UnformattedRead(int unit, unsigned want);
  UnformattedRead(const UnformattedRead&) = delete;
  UnformattedRead& operator=(const UnformattedRead&) = delete;
  ~UnformattedRead();
  void item(std::int32_t& v);
  void item(float& v);
  void item(double& v);
  void item(Text& text);  // its declared length of bytes
  void items(std::span<std::complex<float>> v);
  void items(std::span<float> v);
  void items(std::span<double> v);
  void items(std::span<std::int32_t> v);
  void items(std::span<std::int8_t> v);
  Io finish();
  // The data bytes of the record (0 when none was begun).
  std::uint32_t record_length() const { return length_; }

 private:
  void take(void* dst, std::size_t bytes, std::size_t swap_unit);
  Unit* u_;
  unsigned want_;
  Io state_ = Io::ok;
  int code_ = 0;
  bool done_ = false;
  std::uint32_t length_ = 0;    // data bytes of the record
  std::uint32_t consumed_ = 0;  // bytes the items took
};

template <class... T>
void write_fmt(int unit, std::string_view format, const T&... items) {
  OutputStatement st(unit, format);
  (st.item(items), ...);
  st.finish();
}

template <class... T>
void write_list(int unit, const T&... items) {
  OutputStatement st(unit);
  (st.item(items), ...);
  st.finish();
}

template <class... T>
void write_fmt_text(Text& field, std::string_view format, const T&... items) {
  OutputStatement st(field, format);
  (st.item(items), ...);
  st.finish();
}

template <class... T>
Io read_fmt(int unit, unsigned want, std::string_view format, T&... items) {
  InputStatement st(unit, want, format);
  (st.item(items), ...);
  return st.finish();
}

template <class... T>
Io read_fmt_text(std::string_view text, unsigned want, std::string_view format, T&... items) {
  InputStatement st(text, want, format);
  (st.item(items), ...);
  return st.finish();
}

template <class... T>
Io read_list(int unit, unsigned want, T&... items) {
  InputStatement st(unit, want);
  (st.item(items), ...);
  return st.finish();
}

template <class... T>
Io read_list_text(std::string_view text, unsigned want, T&... items) {
  InputStatement st(text, want);
  (st.item(items), ...);
  return st.finish();
}

}  // namespace kvax
