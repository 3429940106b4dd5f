// The file format of a tagged array section, in both representations, in one place: the
// element types, the header layouts and their edit formats, the bytes of a header and of
// a row, tag matching, and headers parsed from and formatted to bytes.
//
// A section is a header (K, L, the grid letter TYP, the element word VARTYP and, for
// complex sections only, the tag of n characters and the version) followed by L rows of K
// elements each, row L first and row 1 last.
//
//   unformatted  the header is one framed record (see <kvax/io/units.h>) of the items
//                packed without padding: K, L (32-bit integers), TYP (1 byte), VARTYP
//                (4 bytes), then for CMPX the tag (n bytes) and the version (32-bit
//                integer); every row is one record of K elements. Numbers are in the
//                file's byte order (a complex element is two floats, each swapped by
//                itself); texts are bytes, never swapped.
//   formatted    the header is one line under header_format(); every row starts a new
//                line and takes lines_per_row() lines of values_per_line values each
//                under the row formats (a complex element is two values), the last line
//                not padded.
//
// Everything here is a pure function of its arguments: no unit, no shared record (the
// tag length n and the formats in force are arguments), nothing kept between calls, so
// it may be called on several threads at once. The parse and format functions take and
// give bytes; the readers and writers of the units use them with /CVER/'s tag length.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

namespace kvax {

using Cell = std::complex<float>;  // CMPX element: real part, imaginary part
using Flag = std::int32_t;         // FLAG element
using Logical1 = std::int8_t;      // LOG1 element: 1 true, 0 false (any other value counts as true)

// The element types of a section, named in its header by a four-character word.
enum class Element { cmpx, real, dble, flag, log1 };

// What the format says of an element type.
struct ElementTraits {
  Element element;
  std::string_view word;         // VARTYP: "CMPX", "REAL", "DBLE", "FLAG", "LOG1"
  std::size_t bytes;             // an element in an unformatted row record
  int values;                    // formatted values per element: 2 for CMPX, else 1
  int values_per_line;           // formatted values per full line: 10, 10, 10, 20, 120
  int field_width;               // columns per formatted value under the initial formats
  std::string_view write_format;  // initial row format of the writers (EFMT or DFMT for floats)
  std::string_view read_format;   // initial row format of the readers
};

// The traits of an element type; element_of_word gives false for a word that names none.
const ElementTraits& traits(Element e);
bool element_of_word(std::string_view word, Element& e);

// The C++ element type of an element type, and back.
using ElementValues = std::tuple<Cell, float, double, Flag, Logical1>;  // in the order of Element
template <Element E>
using element_value_t = std::tuple_element_t<static_cast<std::size_t>(E), ElementValues>;
template <class T>
inline constexpr Element element_of = std::is_same_v<T, Cell>       ? Element::cmpx
                                      : std::is_same_v<T, float>    ? Element::real
                                      : std::is_same_v<T, double>   ? Element::dble
                                      : std::is_same_v<T, Flag>     ? Element::flag
                                      : std::is_same_v<T, Logical1> ? Element::log1
                                                                    : throw "no element type";
template <class T>
struct ElementOf {
  static constexpr Element value = element_of<T>;
};
template <Element E>
struct ElementValue {
  using type = element_value_t<E>;
};

// The initial formats of /CODFMT/: EFMT (CMPX and REAL values) and DFMT (DBLE values).
// Formatted complex rows are read back under ten 12-column fields per line whatever
// EFMT is (complex_read_format).
inline constexpr std::string_view initial_efmt = "(1p,10e12.4,:)";
inline constexpr std::string_view initial_dfmt = "(1p,10d12.4,:)";
inline constexpr std::string_view complex_read_format = "(10e12.6)";

inline constexpr int max_tag_length = 16;

// ---- tags ----

// A requested tag whose first two characters occur in "  ..??**" (such as "..")
// accepts any tag.
bool any_tag_request(std::string_view requested);
// The first n characters of the request equal the n characters read (the tag read
// blank-padded to n); a request shorter than n is compared over its own length.
bool same_tag(std::string_view requested, std::string_view read, int n);

// ---- headers ----

// The items of a header. tag and version belong to CMPX sections only (empty and 0 for
// the others).
struct SectionHeader {
  std::int32_t k = 0, l = 0;
  char typ = ' ';                // the grid letter
  std::string vartyp = "    ";   // 4 characters
  std::string tag;               // n characters
  std::int32_t version = 0;
  bool complex() const { return vartyp == "CMPX"; }
};

// The header edit format of the formatted representation, for reading and writing: for
// CMPX "(2I10,1X,A1,1X,A4,1X,A,1X,I10)", whose tag item has n characters (the tag in
// columns 29 to 28 + n, the version in the ten columns after the blank that follows it);
// for the other types "(2I5,1X,A1,1X,A4)", a 17-column line. Reading or writing only the
// first four items (K, L, TYP, VARTYP) is reading or writing columns 1-27 or 1-17.
std::string_view header_format(Element e);
// The grid letter as a header holds it: the first character, a blank for none.
inline char grid_letter(std::string_view typ) { return typ.empty() ? ' ' : typ[0]; }
// Whether K and L fit the five columns of a header of the other types (-9999 to 99999):
// anything else would be written as asterisks, a header no reader reads.
bool fits_typed_header(std::int64_t k, std::int64_t l);
// Whether K and L fit the text header of the element type: ten columns for CMPX
// (-999999999 and up), five for the others (as fits_typed_header).
bool fits_text_header(Element e, std::int64_t k, std::int64_t l);

// Bytes of data of an unformatted header record: 17 + n for CMPX, 13 for the others
// (head_data_bytes, the items up to VARTYP, which every header has).
inline constexpr std::size_t head_data_bytes = 13;
std::size_t header_data_bytes(Element e, int n);
std::size_t row_data_bytes(Element e, std::int64_t k);  // K elements (none for K <= 0)

// The result of a parse: ok; short_data (the record holds fewer bytes than its items,
// which the record layer calls a damaged record); bad_field (a number the edit format
// cannot read).
enum class HeaderParse { ok, short_data, bad_field };

// Which items a header read takes: K, L, TYP and VARTYP, then the tag and the version
// when the word is "CMPX" (by_word); all six whatever the word (complex, as the complex
// readers read); or the first four only (head, as the readers of the other types read).
enum class HeaderItems { by_word, complex, head };

// An unformatted header record's data, in the given byte order: K, L, TYP, VARTYP
// (13 bytes at least) and, as `items` says, the tag of n characters and the version
// (17 + n bytes at least). Bytes past the items are not looked at.
HeaderParse parse_header_record(std::span<const std::byte> data, bool big_endian, int n, SectionHeader& h,
                                HeaderItems items = HeaderItems::by_word);
// The record's data for h, as the writers write it (h.vartyp decides whether the tag,
// cut or blank-padded to n characters, and the version follow): header_data_bytes bytes
// into out, which has room for at least 17 + max_tag_length; returns the count.
std::size_t format_header_record(const SectionHeader& h, int n, bool big_endian, std::span<std::byte> out);

// A formatted header line (without its line feed; a shorter line reads as if padded with
// blanks): under the CMPX layout when "CMPX" occurs in its first 32 columns (with tag
// length n), else under the layout of the other types, whatever the word.
HeaderParse parse_header_line(std::string_view line, int n, SectionHeader& h);
// The line under one layout, as a reader that expects that layout reads it.
HeaderParse parse_header_line(std::string_view line, Element layout, int n, SectionHeader& h);
// The header line for h, without its line feed, as the writers write it.
std::string format_header_line(const SectionHeader& h, int n);

// The tag length a complex header tells by its own size: a record of 17 + n bytes of
// data, a line of 39 + n columns (the version ends it; trailing blanks do not count);
// 0 when that is no tag length (1 to max_tag_length).
int tag_length_of_record(std::size_t data_bytes);
int tag_length_of_line(std::string_view line);
// The tag length with which a complex header line is read: the one its width tells when
// the line reads as a complex header with it, else n.
int header_line_tag_length(std::string_view line, int n);
// Whether a text begins as a complex header line does: K and L in ten columns each
// (digits, signs and blanks, a digit in each), a blank, the grid letter, a blank and the
// four columns of the element word, the first a letter.
bool starts_as_complex_header(std::string_view text);

// ---- sizes in the file ----

// Bytes of a header and of a row in the file, framing and line feeds included.
// Unformatted: a header record of header_data_bytes + 8, a row record of 8 + K elements.
std::int64_t header_record_bytes(Element e, int n);
std::int64_t row_record_bytes(Element e, std::int64_t k);
// Formatted: the header line with its line feed (40 + n for CMPX, 18 for the others).
std::int64_t header_line_bytes(Element e, int n);
// Lines of a row (K elements, K * values values) under the initial row formats: full
// lines of values_per_line values and one more for the rest; a row of no values is one
// empty line.
std::int64_t lines_per_row(Element e, std::int64_t k);
// The bytes of a formatted row with its line feeds under `format` (the row format the
// writer uses); -1 when that is not the initial write format of the type, whose fields
// have a width that this function knows.
std::int64_t row_line_bytes(Element e, std::int64_t k, std::string_view format);

}  // namespace kvax
