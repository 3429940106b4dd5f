// The file format of a section: element traits, header layouts, sizes, tag matching.
#include <kvax/arrays/section_layout.h>

#include <cctype>
#include <cstring>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

namespace kvax {
namespace {

constexpr ElementTraits element_table[] = {
    {Element::cmpx, "CMPX", sizeof(Cell), 2, 10, 12, initial_efmt, complex_read_format},
    {Element::real, "REAL", sizeof(float), 1, 10, 12, initial_efmt, initial_efmt},
    // DBLE rows are written under DFMT and read back under EFMT: with the initial formats
    // the columns are the same, and the reader takes either exponent letter.
    {Element::dble, "DBLE", sizeof(double), 1, 10, 12, initial_dfmt, initial_efmt},
    // The write formats end in a colon, so that a row's last line is not padded.
    {Element::flag, "FLAG", sizeof(Flag), 1, 20, 6, "(20I6,:)", "(20I6)"},
    {Element::log1, "LOG1", sizeof(Logical1), 1, 120, 1, "(120L1,:)", "(120L1)"},
};

constexpr std::string_view complex_header = "(2I10,1X,A1,1X,A4,1X,A,1X,I10)";
constexpr std::string_view typed_header = "(2I5,1X,A1,1X,A4)";

std::size_t tag_bytes(int n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

std::int32_t get_int(const std::byte* p, bool big_endian) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::to_integer<std::uint32_t>(p[big_endian ? 3 - i : i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

void put_int(std::byte* p, std::int32_t value, bool big_endian) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[big_endian ? 3 - i : i] = static_cast<std::byte>(v >> (8 * i));
}

std::string chars(const std::byte* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

void put_chars(std::byte* p, std::string_view s, std::size_t n) {
  std::memset(p, ' ', n);
  std::memcpy(p, s.data(), s.size() < n ? s.size() : n);
}

}  // namespace

const ElementTraits& traits(Element e) { return element_table[static_cast<int>(e)]; }

bool element_of_word(std::string_view word, Element& e) {
  for (const ElementTraits& t : element_table) {
    if (t.word == word) {
      e = t.element;
      return true;
    }
  }
  return false;
}

bool any_tag_request(std::string_view requested) {
  return std::string_view("  ..??**").find(text(sub(requested, 1, 2), 2)) != std::string_view::npos;
}

bool same_tag(std::string_view requested, std::string_view read, int n) {
  const long m = requested.size() < tag_bytes(n) ? static_cast<long>(requested.size()) : n;
  return sub(requested, 1, m) == sub(text(read, tag_bytes(n)), 1, m);
}

std::string_view header_format(Element e) { return e == Element::cmpx ? complex_header : typed_header; }

bool fits_text_header(Element e, std::int64_t k, std::int64_t l) {
  // What Iw holds: w digits, or a sign and w - 1 digits.
  const std::int64_t most = e == Element::cmpx ? 9'999'999'999 : 99'999, least = e == Element::cmpx ? -999'999'999 : -9'999;
  return k >= least && k <= most && l >= least && l <= most;
}

bool fits_typed_header(std::int64_t k, std::int64_t l) { return fits_text_header(Element::real, k, l); }

std::size_t header_data_bytes(Element e, int n) {
  return e == Element::cmpx ? head_data_bytes + tag_bytes(n) + 4 : head_data_bytes;
}

std::size_t row_data_bytes(Element e, std::int64_t k) {
  return k > 0 ? static_cast<std::size_t>(k) * traits(e).bytes : 0;
}

HeaderParse parse_header_record(std::span<const std::byte> data, bool big_endian, int n, SectionHeader& h,
                                HeaderItems items) {
  if (data.size() < head_data_bytes) return HeaderParse::short_data;
  const std::byte* p = data.data();
  h.k = get_int(p, big_endian);
  h.l = get_int(p + 4, big_endian);
  h.typ = static_cast<char>(p[8]);
  h.vartyp = chars(p + 9, 4);
  h.tag.clear();
  h.version = 0;
  if (items == HeaderItems::head || (items == HeaderItems::by_word && !h.complex())) return HeaderParse::ok;
  if (data.size() < header_data_bytes(Element::cmpx, n)) return HeaderParse::short_data;
  h.tag = chars(p + head_data_bytes, tag_bytes(n));
  h.version = get_int(p + head_data_bytes + tag_bytes(n), big_endian);
  return HeaderParse::ok;
}

std::size_t format_header_record(const SectionHeader& h, int n, bool big_endian, std::span<std::byte> out) {
  std::byte* p = out.data();
  put_int(p, h.k, big_endian);
  put_int(p + 4, h.l, big_endian);
  p[8] = static_cast<std::byte>(h.typ);
  put_chars(p + 9, h.vartyp, 4);
  if (!h.complex()) return head_data_bytes;
  put_chars(p + head_data_bytes, h.tag, tag_bytes(n));
  put_int(p + head_data_bytes + tag_bytes(n), h.version, big_endian);
  return header_data_bytes(Element::cmpx, n);
}

HeaderParse parse_header_line(std::string_view line, Element layout, int n, SectionHeader& h) {
  Text typ = text("", 1), vartyp = text("", 4), tag = text("", tag_bytes(n));
  h.k = h.l = h.version = 0;
  h.tag.clear();
  const bool complex = layout == Element::cmpx;
  const Io s = complex ? read_fmt_text(line, want_both, complex_header, h.k, h.l, typ, vartyp, tag, h.version)
                       : read_fmt_text(line, want_both, typed_header, h.k, h.l, typ, vartyp);
  h.typ = typ[0];
  h.vartyp = vartyp;
  if (complex) h.tag = tag;
  return s == Io::ok ? HeaderParse::ok : HeaderParse::bad_field;
}

HeaderParse parse_header_line(std::string_view line, int n, SectionHeader& h) {
  const bool complex = line.substr(0, 32).find("CMPX") != std::string_view::npos;
  return parse_header_line(line, complex ? Element::cmpx : Element::real, n, h);
}

std::string format_header_line(const SectionHeader& h, int n) {
  const Element layout = h.complex() ? Element::cmpx : Element::real;
  Text line = text("", static_cast<std::size_t>(header_line_bytes(layout, n) - 1));
  const Text typ = text(std::string_view(&h.typ, 1), 1), vartyp = text(h.vartyp, 4);
  if (h.complex()) {
    write_fmt_text(line, complex_header, h.k, h.l, typ, vartyp, text(h.tag, tag_bytes(n)), h.version);
  } else {
    write_fmt_text(line, typed_header, h.k, h.l, typ, vartyp);
  }
  return line;
}

int tag_length_of_record(std::size_t data_bytes) {
  const std::size_t head = header_data_bytes(Element::cmpx, 0);
  return data_bytes > head && data_bytes - head <= max_tag_length ? static_cast<int>(data_bytes - head) : 0;
}

int tag_length_of_line(std::string_view line) {
  const std::int64_t columns = header_line_bytes(Element::cmpx, 0) - 1;
  const int n = trim_len(line) - static_cast<int>(columns);
  return n >= 1 && n <= max_tag_length ? n : 0;
}

int header_line_tag_length(std::string_view line, int n) {
  SectionHeader h;
  const int own = tag_length_of_line(line);
  return own > 0 && own != n && parse_header_line(line, Element::cmpx, own, h) == HeaderParse::ok ? own : n;
}

bool starts_as_complex_header(std::string_view t) {
  if (t.size() < 27) return false;
  const std::string_view numbers = t.substr(0, 20);
  const auto digit = [](std::string_view f) { return f.find_first_of("0123456789") != std::string_view::npos; };
  return numbers.find_first_not_of(" +-0123456789") == std::string_view::npos && digit(numbers.substr(0, 10)) &&
         digit(numbers.substr(10)) && t[20] == ' ' && t[22] == ' ' && std::isalpha(static_cast<unsigned char>(t[23]));
}

std::int64_t header_record_bytes(Element e, int n) {
  return static_cast<std::int64_t>(framed_record_bytes(header_data_bytes(e, n)));
}

std::int64_t row_record_bytes(Element e, std::int64_t k) {
  return static_cast<std::int64_t>(framed_record_bytes(row_data_bytes(e, k)));
}

std::int64_t header_line_bytes(Element e, int n) {
  // Columns 1-27 hold K, L, TYP and VARTYP (1-17 for the other types); a CMPX line goes
  // on with a blank, the tag, a blank and ten columns of version; then the line feed.
  return e == Element::cmpx ? 27 + 1 + static_cast<std::int64_t>(tag_bytes(n)) + 1 + 10 + 1 : 17 + 1;
}

std::int64_t lines_per_row(Element e, std::int64_t k) {
  const ElementTraits& t = traits(e);
  const std::int64_t values = k > 0 ? k * t.values : 0;
  return values == 0 ? 1 : (values + t.values_per_line - 1) / t.values_per_line;
}

std::int64_t row_line_bytes(Element e, std::int64_t k, std::string_view format) {
  const ElementTraits& t = traits(e);
  if (trimmed(format) != t.write_format) return -1;
  const std::int64_t values = k > 0 ? k * t.values : 0;
  return t.field_width * values + lines_per_row(e, k);
}

}  // namespace kvax
