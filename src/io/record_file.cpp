// Files of one's own outside the unit table: records, lines and rows of values.
#include <kvax/io/record_file.h>

#include <algorithm>

#include <kvax/io/iostat.h>

#include "io/data_edit.h"
#include "io/edit_input.h"
#include "io/edit_output.h"
#include "io/unit.h"

namespace kvax {

struct RecordFile::RowFormat {
  std::string text;
  DataEdit edit;
  std::size_t per = 0;
  std::size_t width = 0;
};

namespace {

// Lines of fields for a row of `count` values: field(f, i) reads value i from its field
// (empty past the end of a short line). 0, end of file (cut when a line ends the file
// inside the row), or the code of a field.
template <class Field>
int read_fields(Unit& u, std::size_t per, std::size_t width, std::size_t count, bool& cut, Field&& field) {
  cut = false;
  std::size_t i = 0;
  std::string_view rec;
  do {
    if (!u.read_line(rec)) return iostat::end_of_file;
    const std::size_t n = std::min(per, count - i);
    for (std::size_t q = 0; q < n; ++q, ++i) {
      const std::size_t at = q * width;
      if (at + width > rec.size() && u.line_unended()) {
        cut = true;
        return iostat::end_of_file;
      }
      if (const int c = field(at < rec.size() ? rec.substr(at, width) : std::string_view(), i)) return c;
    }
  } while (i < count);
  return 0;
}

// Lines of `per` fields of `width` columns for `count` values: edit(dst, first, n) writes n
// fields straight into the buffer; a row of no values is one empty line.
template <class Edit>
void write_fields(Unit& u, std::size_t per, std::size_t width, std::size_t count, Edit&& edit) {
  std::size_t i = 0;
  do {
    const std::size_t n = std::min(per, count - i);
    char* dst = u.room(n * width + 1);
    if (!dst) fatal_io(iostat::record_overflow, "WRITE", own_unit);
    edit(dst, i, n);
    dst[n * width] = '\n';
    u.take(n * width + 1);
    i += n;
  } while (i < count);
}

}  // namespace

RecordFile::RecordFile(std::unique_ptr<Unit> u) : u_(std::move(u)) {}
RecordFile::~RecordFile() = default;

int RecordFile::open_input(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<RecordFile>& f) {
  std::unique_ptr<Unit> u;
  if (const int e = open_own_input(name, formatted, big_endian, u)) return e;
  f.reset(new RecordFile(std::move(u)));
  return 0;
}

int RecordFile::open_output(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<RecordFile>& f) {
  std::unique_ptr<Unit> u;
  if (const int e = open_own_output(name, formatted, big_endian, u)) return e;
  f.reset(new RecordFile(std::move(u)));
  return 0;
}

const std::string& RecordFile::name() const { return u_->file; }
std::int64_t RecordFile::position() const { return u_->position(); }
int RecordFile::seek(std::int64_t offset) { return u_->seek(offset); }
int RecordFile::begin_record(std::uint32_t& length) { return u_->begin_record(length); }
long RecordFile::read(void* dst, std::size_t n) { return u_->read(dst, n); }
int RecordFile::end_record(std::uint32_t length, std::uint32_t consumed) { return u_->end_record(length, consumed); }
void RecordFile::begin_write_record() { u_->begin_write_record(); }
void RecordFile::write(const void* src, std::size_t n) { u_->write(src, n); }
void RecordFile::finish_write_record() { u_->finish_write_record(); }
bool RecordFile::read_line(std::string_view& line) { return u_->read_line(line); }
bool RecordFile::line_unended() const { return u_->line_unended(); }
void RecordFile::write_line(std::string_view line) { u_->write_line(line.data(), line.size(), true); }

int RecordFile::flush() {
  const int e = u_->flush();
  return e ? e : u_->first_error();
}
int RecordFile::commit() { return u_->commit(); }
void RecordFile::discard() { u_->discard(); }

const RecordFile::RowFormat& RecordFile::row_format(std::string_view format) {
  if (!last_ || last_->text != format) {
    auto f = std::make_unique<RowFormat>();
    f->text.assign(format);
    if (!row_format_edit(format, f->edit, f->per)) fatal_io(iostat::bad_format, "READ", own_unit);
    f->width = static_cast<std::size_t>(f->edit.width);
    last_ = std::move(f);
  }
  return *last_;
}

int RecordFile::read_row(std::string_view format, std::span<float> values, bool& cut) {
  const RowFormat& f = row_format(format);
  return read_real_lines(*u_, f.edit, f.per, values, cut);
}

int RecordFile::read_row(std::string_view format, std::span<double> values, bool& cut) {
  const RowFormat& f = row_format(format);
  return read_fields(*u_, f.per, f.width, values.size(), cut,
                     [&](std::string_view field, std::size_t i) { return in_real(field, f.edit, values[i]); });
}

int RecordFile::read_row(std::string_view format, std::span<std::int32_t> values, bool& cut) {
  const RowFormat& f = row_format(format);
  return read_fields(*u_, f.per, f.width, values.size(), cut, [&](std::string_view field, std::size_t i) {
    std::int64_t v = 0;
    if (const int c = in_integer(field, v)) return c;
    if (v < INT32_MIN || v > INT32_MAX) return iostat::numeric_overflow;
    values[i] = static_cast<std::int32_t>(v);
    return 0;
  });
}

int RecordFile::read_row(std::string_view format, std::span<std::int8_t> values, bool& cut) {
  const RowFormat& f = row_format(format);
  return read_fields(*u_, f.per, f.width, values.size(), cut, [&](std::string_view field, std::size_t i) {
    bool v = false;
    const int c = in_logical(field, v);
    values[i] = v ? 1 : 0;
    return c;
  });
}

void RecordFile::write_row(std::string_view format, std::span<const float> values) {
  const RowFormat& f = row_format(format);
  if (write_real_lines(*u_, f.edit, f.per, values)) return;
  write_fields(*u_, f.per, f.width, values.size(),
               [&](char* dst, std::size_t i, std::size_t n) { out_reals(dst, f.edit, values.data() + i, n); });
}

void RecordFile::write_row(std::string_view format, std::span<const double> values) {
  const RowFormat& f = row_format(format);
  write_fields(*u_, f.per, f.width, values.size(),
               [&](char* dst, std::size_t i, std::size_t n) { out_reals(dst, f.edit, values.data() + i, n); });
}

void RecordFile::write_row(std::string_view format, std::span<const std::int32_t> values) {
  const RowFormat& f = row_format(format);
  write_fields(*u_, f.per, f.width, values.size(),
               [&](char* dst, std::size_t i, std::size_t n) { out_integers(dst, f.edit, values.data() + i, n); });
}

void RecordFile::write_row(std::string_view format, std::span<const std::int8_t> values) {
  const RowFormat& f = row_format(format);
  write_fields(*u_, f.per, f.width, values.size(),
               [&](char* dst, std::size_t i, std::size_t n) { out_logicals(dst, f.edit, values.data() + i, n); });
}

}  // namespace kvax
