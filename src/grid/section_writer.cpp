// Writing sections as values: the bytes of kvax's writers, the output replaced whole.
#include <algorithm>
#include <cstring>

#include <kvax/grid.h>
#include <kvax/io/iostat.h>
#include <kvax/io/record_file.h>

#include "grid/section_file.h"

namespace kvax {

using namespace grid_detail;

namespace {

// The tag length of the call: the one asked for, or 2 and the longest tag beyond it.
int tag_length_for(const std::string& path, std::span<const Section> sections, const WriteOptions& o) {
  if (o.tag_length) {
    if (*o.tag_length < 1 || *o.tag_length > 16)
      throw Error(ErrorCode::bad_argument, path, "a tag length of " + std::to_string(*o.tag_length) + ": 1 to 16");
    return *o.tag_length;
  }
  std::size_t n = 2;
  for (const Section& s : sections) {
    if (s.element != Element::cmpx) continue;
    n = std::max(n, s.tag.find_last_not_of(' ') + 1);
  }
  return static_cast<int>(std::min<std::size_t>(n, 16));
}

void check_section(const std::string& path, const Section& s, int index, int n, bool formatted) {
  const auto fail = [&](const std::string& cause) {
    throw Error(ErrorCode::bad_argument, path, place(index, s.tag, 0) + ": " + cause, index, s.tag);
  };
  if (s.values.size() != s.count() * element_size(s.element))
    fail("a section of " + std::to_string(s.k) + " x " + std::to_string(s.l) + " values holds " +
         std::to_string(s.values.size()) + " bytes");
  if (s.element == Element::cmpx && s.tag.find_last_not_of(' ') + 1 > static_cast<std::size_t>(n))
    fail("the tag is longer than the tag length " + std::to_string(n));
  // K, L and the version in their text columns; a number too wide would be asterisks.
  if (formatted && !fits_text_header(s.element, s.k, s.l))
    fail("K = " + std::to_string(s.k) + " and L = " + std::to_string(s.l) + " do not fit the header's " +
         (s.element == Element::cmpx ? "10" : "5") + " columns");
  if (formatted && s.element == Element::cmpx && s.version < -999999999)
    fail("the version " + std::to_string(s.version) + " does not fit the header's 10 columns");
  const std::size_t row = (s.k > 0 ? static_cast<std::size_t>(s.k) : 0) * element_size(s.element);
  if (!formatted && row > 0xffffffffu) fail("a row of more than 4 GiB does not fit a record");
}

template <class T>
std::span<const T> row_of(const Section& s, int j, std::size_t values) {
  return {reinterpret_cast<const T*>(s.values.data()) + values * static_cast<std::size_t>(j - 1), values};
}

void write_text_rows(RecordFile& f, const Section& s) {
  const std::string_view format = traits(s.element).write_format;
  const std::size_t values = row_values(s.element, s.k);
  for (int j = std::max(s.l, 0); j >= 1; --j) {
    switch (s.element) {
      case Element::cmpx:
      case Element::real:
        f.write_row(format, row_of<float>(s, j, values));
        break;
      case Element::dble:
        f.write_row(format, row_of<double>(s, j, values));
        break;
      case Element::flag:
        f.write_row(format, row_of<std::int32_t>(s, j, values));
        break;
      case Element::log1:
        f.write_row(format, row_of<std::int8_t>(s, j, values));
        break;
    }
  }
}

void write_record_rows(RecordFile& u, const Section& s, bool big) {
  const std::size_t size = element_size(s.element);
  const std::size_t part = s.element == Element::dble ? 8 : s.element == Element::log1 ? 1 : 4;
  const std::size_t bytes = (s.k > 0 ? static_cast<std::size_t>(s.k) : 0) * size;
  std::byte turned[16384];  // a big-endian row goes out swapped, a piece at a time
  for (int j = std::max(s.l, 0); j >= 1; --j) {
    const std::byte* row = s.values.data() + bytes * static_cast<std::size_t>(j - 1);
    u.begin_write_record();
    if (!big || part == 1) {
      u.write(row, bytes);
    } else {
      for (std::size_t at = 0; at < bytes; at += sizeof turned) {
        const std::size_t n = std::min(sizeof turned, bytes - at);
        std::memcpy(turned, row + at, n);
        for (std::size_t i = 0; i < n; i += part) std::reverse(turned + i, turned + i + part);
        u.write(turned, n);
      }
    }
    u.finish_write_record();
  }
}

}  // namespace

void write_sections(const std::string& path, std::span<const Section> sections, const WriteOptions& options) {
  const int n = tag_length_for(path, sections, options);
  for (std::size_t i = 0; i < sections.size(); ++i)
    check_section(path, sections[i], static_cast<int>(i) + 1, n, options.formatted);
  std::unique_ptr<RecordFile> u;
  if (const int e = RecordFile::open_output(path, options.formatted, options.big_endian, u))
    throw Error(ErrorCode::write_failed, path, "cannot create the file: " + iostat_text(e), 0, {}, 0, e);
  try {
    std::string head;
    std::byte record[64];
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const Section& s = sections[i];
      SectionHeader h;
      h.k = s.k;
      h.l = s.l;
      h.typ = s.grid;
      h.vartyp = std::string(element_word(s.element));
      if (s.element == Element::cmpx) {
        h.tag = s.tag;
        h.version = s.version;
      }
      if (options.formatted) {
        head = format_header_line(h, n);
        u->write_line(head);
        write_text_rows(*u, s);
      } else {
        const std::size_t bytes = format_header_record(h, n, options.big_endian, record);
        u->begin_write_record();
        u->write(record, bytes);
        u->finish_write_record();
        write_record_rows(*u, s, options.big_endian);
      }
    }
    int e = u->flush();
    if (e == 0) e = u->commit();
    if (e != 0) throw Error(ErrorCode::write_failed, path, "cannot write the file: " + iostat_text(e), 0, {}, 0, e);
  } catch (const FatalIo& f) {
    u->discard();
    throw Error(ErrorCode::write_failed, path, "cannot write the file: " + iostat_text(f.code()), 0, {}, 0, f.code());
  } catch (...) {
    u->discard();
    throw;
  }
}

}  // namespace kvax
