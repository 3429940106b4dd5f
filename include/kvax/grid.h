// Grid files as values: read, list and write the tagged array sections of a file in one
// call, with the representation, byte order and tag length found from the file itself,
// and one exception type that says what went wrong where.
//
//   kvax::SectionReader r("m2.u");                // any representation, detected
//   while (r.next()) {                            // one section at a time
//     kvax::Section s = r.read();                 // or r.read_rows(first, count, dst)
//     s.at<std::complex<float>>(1, 1) *= 2.0f;    // row 1, cell 1
//   }
//   auto all = kvax::read_sections("m2.u");
//   kvax::write_sections("m2.f", all, {.formatted = true});
//
// Thread safety. describe, list_sections, read_sections, read_section and write_sections
// keep no state between calls and share none with other calls: separate calls may run on
// separate threads at the same time (also on the same input file; two writers of one
// output name race as two programs would). A SectionReader is used by one thread at a
// time; separate readers on separate threads are independent. None of these go through
// the numbered units, /CVER/, /CODFMT/ or the file-name registry of the routines
// (getzm, outzm_f ...), and nothing is written to standard output or standard error.
// run_kvax is the exception: it runs the converter with its global state and is NOT
// thread-safe (one call at a time in a process, and no routine of the library beside it).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <kvax/arrays/section_layout.h>

namespace kvax {

// ---------------------------------------------------------------------------------------
// Element types

// The element types are those of the section layout (kvax::Element: cmpx, real, dble,
// flag, log1) with their values: std::complex<float> (two 32-bit IEEE floats; the
// sections with a tag and a version), float, double, std::int32_t and a byte for LOG1
// (1 true, 0 false; read as stored, so any byte but 0 is true), as std::int8_t or
// std::uint8_t.

// "CMPX", "REAL", "DBLE", "FLAG", "LOG1".
std::string_view element_word(Element e);
// The element type of a header word; nullopt for any other word.
std::optional<Element> element_of_word(std::string_view word);
// Bytes of one element in memory and in an unformatted record: 8, 4, 8, 4, 1.
std::size_t element_size(Element e);

// The element type of a value type of sections: the layout's (element_of), and LOG1
// values also as unsigned bytes (numpy's booleans).
template <class T>
constexpr Element value_element() {
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    return Element::log1;
  } else {
    return element_of<T>;
  }
}

// ---------------------------------------------------------------------------------------
// Errors

// What went wrong, for a program to switch on.
enum class ErrorCode {
  cannot_open,         // the file cannot be opened, or is a directory (system_error() tells why)
  read_failed,         // the system refused a read
  write_failed,        // the output cannot be created, written or put in place
  not_sections,        // the bytes are no section file of either representation
  wrong_representation,// a text file read as unformatted or the other way round
  cut,                 // the file ends inside a header or a row
  bad_header,          // a header that cannot be read (an unknown element word, a field not a number)
  bad_record,          // an unformatted record whose length or markers do not fit
  bad_value,           // a field of a text row that is not a number (or T/F)
  no_such_tag,         // read_section: no complex section carries the tag
  bad_argument,        // a call's own arguments: rows out of range, a section whose buffer does not fit, ...
  run_failed,          // run_kvax with throw_on_failure: the run did not do its job
};
// The two kinds a caller tells apart (Python: OSError and ValueError).
enum class ErrorKind {
  file,     // the file could not be opened, read or written: the system's error
  content,  // the file (or an argument) holds what cannot be taken
};

// The one exception of this layer. what() is a sentence that names the file, the section
// (its index from 1 and its tag) and the row where they apply, and the cause:
//   "m2.u: file ends inside row 418 of section 2 (M2)"
//   "m2.f: a text file: read it as formatted"
class Error : public std::runtime_error {
 public:
  Error(ErrorCode code, std::string path, std::string cause, int section = 0, std::string tag = {}, int row = 0,
        int system_error = 0, std::vector<std::string> report = {});
  ErrorCode code() const noexcept { return code_; }
  ErrorKind kind() const noexcept;
  const std::string& path() const noexcept { return path_; }
  const std::string& cause() const noexcept { return cause_; }
  int section() const noexcept { return section_; }   // 1 for the first; 0 when none applies
  const std::string& tag() const noexcept { return tag_; }
  int row() const noexcept { return row_; }           // the grid's row (1..L); 0 when none applies
  int system_error() const noexcept { return errno_; } // errno, or 0
  // The report lines the routines underneath wrote (run_kvax: the run's standard output).
  const std::vector<std::string>& report() const noexcept { return report_; }

 private:
  ErrorCode code_;
  std::string path_, cause_;
  int section_;
  std::string tag_;
  int row_;
  int errno_;
  std::vector<std::string> report_;
};

// ---------------------------------------------------------------------------------------
// Files and headers

enum class Representation : std::uint8_t {
  unformatted,  // length-framed binary records
  formatted,    // lines of text
};
enum class ByteOrder : std::uint8_t { little, big };

// What describe finds, and what a reader takes as given.
struct FileInfo {
  Representation representation = Representation::unformatted;
  ByteOrder byte_order = ByteOrder::little;  // unformatted only
  // The tag length of complex headers: from the first header's record length (a text
  // header's line length); 2 when the file starts with a section of another type, or
  // holds none.
  int tag_length = 2;
  std::int64_t size = -1;  // bytes of the file; -1 when it cannot be known (a pipe)
};

// Overrides for the rare file that detection cannot settle: what is given is taken as it
// is, the rest is detected.
struct ReadOptions {
  std::optional<Representation> representation;
  std::optional<ByteOrder> byte_order;
  std::optional<int> tag_length;  // 1 to 16
};

// Representation, byte order and tag length from the file's first records: the leading
// marker and the header record's length, or a text header's widths. Throws Error
// (not_sections for bytes that are neither).
FileInfo describe(const std::string& path, const ReadOptions& options = {});

// One section's header, and where it is in its file.
struct SectionInfo {
  int index = 0;                 // 1 for the first section of the file
  Element element = Element::cmpx;
  char grid = ' ';               // the grid letter: 'M', 'Z' (or what the file holds)
  std::string tag;               // complex only: the tag without trailing blanks
  int version = -1;              // complex only; -1 for the other types
  int k = 0;                     // cells per row (longitude)
  int l = 0;                     // rows (latitude)
  std::int64_t offset = 0;       // byte offset of the header in the file
};

// ---------------------------------------------------------------------------------------
// Sections as values

// Contiguous owning storage of a section's values. The bytes can be taken out (release)
// and freed with delete[], for a caller that hands them on (a numpy array) without a copy.
class ValueBuffer {
 public:
  ValueBuffer() = default;
  // n bytes, not initialised.
  explicit ValueBuffer(std::size_t n);
  // Takes over n bytes allocated with new std::byte[] (freed with delete[]).
  ValueBuffer(std::unique_ptr<std::byte[]> bytes, std::size_t n) noexcept : p_(std::move(bytes)), n_(n) {}
  std::byte* data() noexcept { return p_.get(); }
  const std::byte* data() const noexcept { return p_.get(); }
  std::size_t size() const noexcept { return n_; }
  // The storage, now the caller's; the buffer is then empty.
  std::unique_ptr<std::byte[]> release() noexcept {
    n_ = 0;
    return std::move(p_);
  }

 private:
  std::unique_ptr<std::byte[]> p_;
  std::size_t n_ = 0;
};

// A section: its header and K x L values, row 1 first (the library's column-major order:
// cell i of row j is value (j - 1) * K + i - 1). Row 1 is the last row stored in a file.
struct Section {
  Element element = Element::cmpx;
  char grid = 'M';
  std::string tag;   // complex only; written padded with blanks to the tag length
  int version = 0;   // complex only
  int k = 0, l = 0;
  ValueBuffer values;  // k * l * element_size(element) bytes

  Section() = default;
  // A section of K x L values, all zero.
  Section(Element e, int k, int l, char grid = 'M', std::string tag = {}, int version = 0);

  std::size_t count() const noexcept;  // k * l (0 when either is 0 or less)
  // The values as T, which must be the element type's value type (else Error bad_argument).
  template <class T> std::span<T> as();
  template <class T> std::span<const T> as() const;
  // Cell `cell` (1..K) of row `row` (1..L), checked (Error bad_argument outside).
  template <class T> T& at(int row, int cell) { return as<T>()[index(row, cell)]; }
  template <class T> const T& at(int row, int cell) const { return as<T>()[index(row, cell)]; }

 private:
  void check(Element e) const;
  std::size_t index(int row, int cell) const;
};

template <class T>
std::span<T> Section::as() {
  check(value_element<T>());
  return {reinterpret_cast<T*>(values.data()), count()};
}
template <class T>
std::span<const T> Section::as() const {
  check(value_element<T>());
  return {reinterpret_cast<const T*>(values.data()), count()};
}

// ---------------------------------------------------------------------------------------
// Whole-file calls

// The headers of every section, without reading values (unformatted rows are passed over
// by position; text rows by position where their lines have the written lengths).
std::vector<SectionInfo> list_sections(const std::string& path, const ReadOptions& options = {});
// Every section of the file, in file order.
std::vector<Section> read_sections(const std::string& path, const ReadOptions& options = {});
// The first complex section whose tag is `tag` (compared without trailing blanks); Error
// no_such_tag when none is.
Section read_section(const std::string& path, std::string_view tag, const ReadOptions& options = {});

// How write_sections writes.
struct WriteOptions {
  bool formatted = true;       // text (the rows under 1P,E12.4 and the other types' formats) or binary
  bool big_endian = false;     // unformatted only
  // The tag length of complex headers, 1 to 16; by default 2, or the longest tag when
  // one is longer. A tag longer than the tag length is refused (Error bad_argument).
  std::optional<int> tag_length;
};

// Writes the sections in order, each as kvax's writers write it (outzm, outzm_f and the
// typed writers, with the initial edit formats): the same bytes. The output is replaced
// whole or not at all, as the converter replaces its output: on any error the file is as
// it was. Throws Error (write_failed, bad_argument).
void write_sections(const std::string& path, std::span<const Section> sections, const WriteOptions& options = {});

// ---------------------------------------------------------------------------------------
// Streaming

// Reads a file a section at a time, and any range of rows of the section it stands at.
//   SectionReader r(path);
//   while (r.next()) { r.header(); r.read_rows(first, count, dst); ... }
class SectionReader {
 public:
  // Opens the file and describes it (options override what detection finds).
  explicit SectionReader(const std::string& path, const ReadOptions& options = {});
  ~SectionReader();
  SectionReader(SectionReader&&) noexcept;
  SectionReader& operator=(SectionReader&&) noexcept;

  const FileInfo& info() const noexcept;
  const std::string& path() const noexcept;

  // Moves to the next section (the first on the first call): true with its header, false
  // at the clean end of the file. Throws Error for a file cut or damaged there.
  bool next();
  // The header of the section the reader stands at (after next() returned true).
  const SectionInfo& header() const;

  // Rows first .. first + count - 1 (1 <= first, first + count - 1 <= L) of the current
  // section into dst, row `first` first, K values a row: dst.size() must be count * K *
  // element_size bytes. Any rows in any order, again and again.
  void read_rows(int first, int count, std::span<std::byte> dst);
  template <class T>
  void read_rows(int first, int count, std::span<T> dst) {
    if (value_element<T>() != header().element)
      throw Error(ErrorCode::bad_argument, path(), "the values asked for are not of the section's element type",
                  header().index, header().tag);
    read_rows(first, count, std::as_writable_bytes(dst));
  }
  // The whole current section.
  Section read();

  // Rows read from the file so far by this reader (read_rows and read), for checks that a
  // lazy reader reads only what it is asked for.
  std::uint64_t rows_read() const noexcept;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------------------
// The converter in the process

struct RunResult {
  int status = 0;                  // the exit status kvax.out would give: 0, 1 or 255
  std::vector<std::string> lines;  // what it wrote to standard output, line by line, no line feeds
  std::string error_report;        // what it would write to standard error (the fatal report)
};

// Runs kvax.out's conversion with these arguments (without the program name), capturing
// standard output instead of printing it; signal handlers are not installed. NOT
// thread-safe: the run uses the converter's global state (units, /CVER/, /COPENF/ ...);
// one call at a time, and no routine of the library used beside it. With
// throw_on_failure, a status other than 0 throws Error run_failed whose report() holds
// the lines.
RunResult run_kvax(std::span<const std::string> args, bool throw_on_failure = false);

}  // namespace kvax
