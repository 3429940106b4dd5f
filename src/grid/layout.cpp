// The layout of a section as the grid layer reads and writes it.
#include "grid/layout.h"

#include <cstring>

#include "io/edit_input.h"
#include "io/edit_output.h"

namespace kvax::layout {
namespace {

constexpr int max_tag_length = 16;
constexpr std::size_t complex_record = 17, typed_record = 13;  // plus the tag
constexpr std::size_t complex_line = 39, typed_line = 17;      // plus the tag

std::uint32_t get32(const unsigned char* p, bool big) {
  return big ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3]
             : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

void put32(std::string& out, std::int32_t v, bool big) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(u >> (8 * (big ? 3 - i : i))));
}

bool int_field(std::string_view line, std::size_t at, std::size_t width, std::int32_t& v) {
  if (line.size() < at + width) return false;
  std::int64_t x = 0;
  if (in_integer(line.substr(at, width), x) != 0 || x < INT32_MIN || x > INT32_MAX) return false;
  v = static_cast<std::int32_t>(x);
  return true;
}

bool put_int(std::string& out, std::int64_t v, int width) {
  char field[16];
  const DataEdit e{'I', width, -1, -1, 0};
  out_integer(field, e, v);
  out.append(field, static_cast<std::size_t>(width));
  return field[0] != '*';
}

}  // namespace

std::size_t header_record_bytes(Element e, int n) {
  return e == Element::cmpx ? complex_record + static_cast<std::size_t>(n) : typed_record;
}

std::size_t header_line_length(Element e, int n) {
  return e == Element::cmpx ? complex_line + static_cast<std::size_t>(n) : typed_line;
}

const TextRows& text_rows(Element e) {
  // Complex rows are read under (10E12.6), REAL and DBLE rows under the initial
  // (1p,10e12.4,:), FLAG under (20I6), LOG1 under (120L1); the writers' formats are the
  // initial ones with a colon.
  static const TextRows rows[] = {
      {10, 12, {'E', 12, 6, -1, 0}, {'E', 12, 4, -1, 1}},
      {20, 6, {'I', 6, -1, -1, 0}, {'I', 6, -1, -1, 0}},
      {10, 12, {'E', 12, 4, -1, 1}, {'E', 12, 4, -1, 1}},
      {10, 12, {'E', 12, 4, -1, 1}, {'D', 12, 4, -1, 1}},
      {120, 1, {'L', 1, -1, -1, 0}, {'L', 1, -1, -1, 0}},
  };
  return rows[static_cast<int>(e)];
}

std::size_t row_lines(Element e, int k) {
  const std::size_t v = row_values(e, k), per = text_rows(e).per_line;
  return v == 0 ? 1 : (v + per - 1) / per;
}

std::size_t row_line_bytes(Element e, int k) {
  return row_values(e, k) * text_rows(e).width + row_lines(e, k);
}

int tag_length_of_record(std::size_t length) {
  const long n = static_cast<long>(length) - static_cast<long>(complex_record);
  return n >= 1 && n <= max_tag_length ? static_cast<int>(n) : 0;
}

int tag_length_of_line(std::size_t length) {
  const long n = static_cast<long>(length) - static_cast<long>(complex_line);
  return n >= 1 && n <= max_tag_length ? static_cast<int>(n) : 0;
}

std::optional<Header> parse_header_record(const unsigned char* data, std::size_t length, bool big_endian, int n) {
  if (length < typed_record) return std::nullopt;
  const auto word = element_of_word(std::string_view(reinterpret_cast<const char*>(data) + 9, 4));
  if (!word) return std::nullopt;
  if (*word == Element::cmpx && n == 0) n = tag_length_of_record(length);
  if ((*word == Element::cmpx && n == 0) || length != header_record_bytes(*word, n)) return std::nullopt;
  Header h;
  h.element = *word;
  h.k = static_cast<std::int32_t>(get32(data, big_endian));
  h.l = static_cast<std::int32_t>(get32(data + 4, big_endian));
  h.grid = static_cast<char>(data[8]);
  if (*word == Element::cmpx) {
    h.tag.assign(reinterpret_cast<const char*>(data) + 13, static_cast<std::size_t>(n));
    h.version = static_cast<std::int32_t>(get32(data + 13 + n, big_endian));
  }
  return h;
}

std::optional<Header> parse_header_line(std::string_view line, int n) {
  // A complex header names CMPX within its first 32 columns.
  const bool complex = line.substr(0, 32).find("CMPX") != std::string_view::npos;
  Header h;
  if (complex) {
    if (n == 0) n = tag_length_of_line(line.size());
    if (n == 0 || line.size() < header_line_length(Element::cmpx, n)) return std::nullopt;
    const std::size_t t = 28 + static_cast<std::size_t>(n);
    std::int32_t version = 0;
    if (!int_field(line, 0, 10, h.k) || !int_field(line, 10, 10, h.l) || line.substr(23, 4) != "CMPX" ||
        !int_field(line, t + 1, 10, version))
      return std::nullopt;
    h.element = Element::cmpx;
    h.grid = line[21];
    h.tag = std::string(line.substr(28, static_cast<std::size_t>(n)));
    h.version = version;
    return h;
  }
  if (line.size() < typed_line) return std::nullopt;
  const auto word = element_of_word(line.substr(13, 4));
  if (!word || *word == Element::cmpx || !int_field(line, 0, 5, h.k) || !int_field(line, 5, 5, h.l))
    return std::nullopt;
  h.element = *word;
  h.grid = line[11];
  return h;
}

void header_record(const Header& h, int n, bool big_endian, std::string& out) {
  out.clear();
  put32(out, h.k, big_endian);
  put32(out, h.l, big_endian);
  out.push_back(h.grid);
  out.append(element_word(h.element));
  if (h.element != Element::cmpx) return;
  std::string tag = h.tag;
  tag.resize(static_cast<std::size_t>(n), ' ');
  out.append(tag);
  put32(out, h.version, big_endian);
}

bool header_line(const Header& h, int n, std::string& out) {
  out.clear();
  const int w = h.element == Element::cmpx ? 10 : 5;
  bool fits = put_int(out, h.k, w) & put_int(out, h.l, w);
  out.push_back(' ');
  out.push_back(h.grid);
  out.push_back(' ');
  out.append(element_word(h.element));
  if (h.element != Element::cmpx) return fits;
  out.push_back(' ');
  std::string tag = h.tag;
  tag.resize(static_cast<std::size_t>(n), ' ');
  out.append(tag);
  out.push_back(' ');
  return put_int(out, h.version, 10) && fits;
}

}  // namespace kvax::layout
