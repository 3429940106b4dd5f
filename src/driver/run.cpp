// The conversion run and the end of every run: units closed, the report, the status.
#include "driver/run.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <new>

#include <algorithm>
#include <memory>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <ctime>
#include <string>
#include <vector>

#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>
#include <kvax/files/openf.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/start_time.h>
#include <kvax/text/text.h>
#include <kvax/transforms/grid_transforms.h>
#include <kvax/version.h>

#include <kvax/arrays/section_layout.h>
#include "driver/command_line.h"
#include "driver/sections.h"

namespace kvax {
namespace {

// The units of a run: the input file's and the output file's.
constexpr int input_unit = 21;
constexpr int output_unit = 31;

// Grid and row storage sized from a header, mapped without being touched: the pages are
// first touched by the rows read into them, so a header that claims more than its file
// holds costs nothing before the "Data truncated" stop. Large storage asks for
// transparent huge pages, which cuts the cost of that first touch many times over; up to
// 64 KiB comes from the heap (a mapping of its own costs more than its pages).
template <class T>
class Storage {
 public:
  Storage() = default;
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;
  ~Storage() { release(); }
  // Room for n elements; what was there before is gone.
  void allocate(std::size_t n) {
    release();
    size_ = n;
    if (n == 0) return;
    constexpr std::size_t huge = std::size_t{2} << 20;
    const std::size_t bytes = n * sizeof(T);
    if (bytes <= small) {  // a few pages: from the heap, no mapping of its own
      heap_ = std::make_unique_for_overwrite<T[]>(n);
      data_ = heap_.get();
      return;
    }
    mapped_ = bytes >= huge ? (bytes + 2 * huge - 1) / huge * huge : bytes;
    void* p = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      map_ = nullptr;
      size_ = 0;
      write_fmt(6, "(A)", " <Main-->T> Cannot allocate the grid storage");
      stop_run();
    }
    map_ = p;
    auto at = reinterpret_cast<std::uintptr_t>(p);
    if (bytes >= huge) {
      at = (at + huge - 1) / huge * huge;
      ::madvise(reinterpret_cast<void*>(at), mapped_ - (at - reinterpret_cast<std::uintptr_t>(p)), MADV_HUGEPAGE);
    }
    data_ = reinterpret_cast<T*>(at);
  }
  // Room for at least n elements, keeping the storage when it is large enough.
  void reserve(std::size_t n) {
    if (n > size_) allocate(n);
  }
  std::span<T> span() { return {data_, size_}; }
  std::span<T> first(std::size_t n) { return {data_, std::min(n, size_)}; }

 private:
  static constexpr std::size_t small = std::size_t{64} << 10;
  void release() {
    heap_.reset();
    if (map_) ::munmap(map_, mapped_);
    map_ = nullptr;
    data_ = nullptr;
    size_ = 0;
  }
  std::unique_ptr<T[]> heap_;
  void* map_ = nullptr;
  std::size_t mapped_ = 0;
  T* data_ = nullptr;
  std::size_t size_ = 0;
};
using CellStorage = Storage<Cell>;

// Two names of one file (a link, "-o" with the input's name, a variable that expands
// to nothing in a derived name): the first write to the output would cut the input.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

[[noreturn]] void terminate_main(std::string_view text) {
  write_fmt(6, "(A)", std::string(" <Main-->T> ") + std::string(text));
  stop_run();
}

// K x L cells and, with a rotation, a work row of K cells: refused when the count or its
// storage cannot be had on this machine (also where the rows stream and the grid is
// never held, so that a header's claim is judged alike in every direction).
void check_grid_size(int k, int l, bool rotate) {
  if (k <= 0 || l <= 0) return;
  const unsigned long long cells = static_cast<unsigned long long>(k) * static_cast<unsigned long long>(l);
  const unsigned long long bytes = (cells + (rotate ? static_cast<unsigned long long>(k) : 0)) * sizeof(Cell);
  const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
  const unsigned long long memory =
      pages > 0 && page > 0 ? static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page) : ~0ull;
  if (cells > SIZE_MAX / sizeof(Cell) || bytes > memory) {
    write_fmt(6, "(A,I11,A,I11,A)", " <Main-->T> Grid too large for this machine:", k, " x", l, " cells");
    stop_run();
  }
}

// The run as its options ask for it: directions, names and transforms.
struct Conversion {
  bool formatted_in = false;
  bool unformatted_out = false;
  int k = 0, l = 0;
  Text typ = text(".", 1);
  // The tag variable holds the tag length's characters, and at least the four of a
  // status code and of the "Bad input" line.
  Text tag;
  int header_version = -1;
  int header_tag_length = 0;  // the tag length of the header, where -l gave another
  bool rotation_known = false;  // the count could be read without a message
  int rotation = 0;
  int passed = -1;  // --tag=T: the sections passed over before the one read
};

// K and L that the output's text header cannot hold are refused before anything is
// written, as the typed writers refuse theirs, but as the end of the run: a section is
// never dropped.
void check_header_fields(Element e, int k, int l) {
  if (fits_text_header(e, k, l)) return;
  write_fmt(6, "(A,2I12)", " <Main-->T> Grid does not fit the output header:", k, l);
  stop_run();
}

// The rotation count of -c, or false when reading it would stop the run or write a
// line (then the grid is held and the count read after the reversal, as always).
bool rotation_count(const RunSettings& s, int k, int& count) {
  if (s.rotation[0] == 'h' || s.rotation[0] == 'H') {
    count = k / 2;
    return true;
  }
  if (trim_len(s.rotation) == 0) return false;
  std::int32_t n = 0;
  if (read_list_text(s.rotation, want_both, n) != Io::ok) return false;
  count = n;
  return true;
}

// The rotation count of -c for a held grid, read after the reversal: a missing number
// stops the run with "Numerical argument required", an unreadable one is the fatal report.
int rotation_or_stop(const RunSettings& s, int k) {
  if (s.rotation[0] == 'h' || s.rotation[0] == 'H') return k / 2;
  if (trim_len(s.rotation) == 0) terminate_main("Numerical argument required");
  std::int32_t count = 0;
  read_list_text(s.rotation, want_none, count);
  return count;
}

// Streams the rows from input to output, one at a time, transformed on the way: the
// grid is never held. A reversed M grid has each row written at its mirrored place
// (every row of a section has the same length). False, with nothing read, when this
// run cannot stream: the rows are then held as a grid.
bool stream_rows(const RunSettings& s, Conversion& c) {
  const int k = c.k, l = c.l;
  // A unit that may not be written fails at its first write: held, the grid is read
  // whole first, and the reader's report comes before the failure, as it always has.
  if (k <= 0 || l <= 0 || !unit_is_writable(output_unit)) return false;
  if (s.rotate && !c.rotation_known) return false;
  const std::int64_t header = c.unformatted_out ? outzm_header_bytes() : outzm_header_bytes_f();
  const std::int64_t row = c.unformatted_out ? outzm_row_bytes(k) : outzm_row_bytes_f(k);
  const std::int64_t base = unit_position(output_unit);  // where the section starts (--all: after others)
  if (s.reverse && (trimmed(c.typ) != "M" || row < 0 || seek_unit(output_unit, base + header) != 0)) return false;

  setver(s.version >= 0 ? s.version : c.header_version);
  if (s.reverse) seek_unit(output_unit, base);
  if (c.unformatted_out) {
    outzm_begin(output_unit, k, l, c.typ, c.tag);
  } else {
    outzm_begin_f(output_unit, k, l, c.typ, c.tag);
  }
  // A reversed grid goes out a block of rows at a time: the rows read are kept, mirrored,
  // in a block whose records follow one another in the output, and the block is written
  // at its place after one positioning (a row at a time costs a positioned write per row
  // and pages written in part). Between unformatted files in this machine's byte order
  // the rows move as their records, a block at a time, without being taken apart: read
  // whole, turned and mirrored by the order of the pieces written. The storage is
  // touched only as far as rows are read (a header may claim more than its file holds).
  // Into a text file the rows are edited straight from the records read.
  constexpr std::int64_t block_bytes = std::int64_t{256} << 10;
  // How the rows move, chosen here: as their records, whole (between unformatted files in
  // the output's byte order); edited into text straight from their records; or read and
  // written one at a time. From a record that is not one row on, rows go one at a time,
  // with their messages.
  enum class Mover { records, records_to_text, rows };
  Mover mover = c.formatted_in                      ? Mover::rows
                : !c.unformatted_out                ? Mover::records_to_text
                : unit_is_big_endian(output_unit)   ? Mover::rows
                                                    : Mover::records;
  const bool records = mover != Mover::rows;
  const std::int64_t record = row_record_bytes(Element::cmpx, k);
  const int block = s.reverse || records ? static_cast<int>(std::clamp<std::int64_t>(block_bytes / (records ? record : row), 1, l)) : 1;
  const std::size_t cells = static_cast<std::size_t>(k);
  const std::size_t first = s.rotate ? zrcyl_first(c.rotation, k) : 0;
  CellStorage block_rows, read_rows;
  Storage<std::byte> block_records;
  block_rows.allocate(cells * static_cast<std::size_t>(block));
  if (s.rotate) read_rows.allocate(cells);
  if (records) block_records.allocate(static_cast<std::size_t>(record) * static_cast<std::size_t>(block));
  const std::span<Cell> rows = block_rows.span();
  for (int j = l; j >= 1;) {
    // Rows j, j - 1, ..., j - n + 1; row i goes to row L + 1 - i, whose record is the
    // i-th from the header, so the block's records are the (j - n + 1)-th to the j-th.
    const int n = std::min(block, j);
    if (mover != Mover::rows && getzm_row_records(block_records.span(), n) != n) mover = Mover::rows;
    if (mover == Mover::rows) {
      for (int t = 0; t < n; ++t) {
        const std::span<Cell> slot = rows.subspan(cells * static_cast<std::size_t>(s.reverse ? n - 1 - t : t), cells);
        const std::span<Cell> in = s.rotate ? read_rows.span() : slot;
        if (c.formatted_in) {
          getzm_row_f(in);
        } else {
          getzm_row(in);
        }
        if (s.rotate) zrcyl_row(in, c.rotation, slot);
      }
    }
    if (s.reverse) seek_unit(output_unit, base + header + row * (j - n));
    if (mover == Mover::records) outzm_row_records(output_unit, block_records.span(), k, n, s.reverse, first);
    for (int t = 0; t < n && mover != Mover::records; ++t) {
      std::span<const Cell> out = rows.subspan(cells * static_cast<std::size_t>(t), cells);
      if (mover == Mover::records_to_text) {
        const std::size_t at = static_cast<std::size_t>(record * (s.reverse ? n - 1 - t : t)) + record_marker_bytes;
        out = std::span<const Cell>(reinterpret_cast<const Cell*>(block_records.span().data() + at), cells);
        if (s.rotate) {
          zrcyl_row(out, c.rotation, read_rows.span());
          out = read_rows.span();
        }
      }
      if (c.unformatted_out) {
        outzm_row(output_unit, out);
      } else {
        outzm_row_f(output_unit, out);
      }
    }
    j -= n;
  }
  if (s.reverse) seek_unit(output_unit, base + header + row * l);  // the end of the section
  return true;
}

// Why an unformatted input gave no section, when its first bytes tell: read in the other
// byte order its first record fits the file, or it starts as a formatted header does.
void explain_bad_input(bool formatted_in, bool big_endian) {
  if (formatted_in) return;
  const std::string name = file_of_unit(input_unit);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  char head[64] = {};
  const ssize_t n = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::pread(fd, head, sizeof head, 0) : -1;
  ::close(fd);
  if (n < 4) return;
  // Read in the other byte order, the first length marker.
  const std::uint64_t other = record_marker(reinterpret_cast<const std::byte*>(head), !big_endian);
  if (framed_record_bytes(other) <= static_cast<std::uint64_t>(st.st_size)) {
    write_fmt(6, "(A)", big_endian ? " <Main-->I> The input looks little-endian: drop -BE"
                                   : " <Main-->I> The input looks big-endian: try -BE");
    return;
  }
  const bool looks = starts_as_complex_header(std::string_view(head, static_cast<std::size_t>(n)));
  if (looks) write_fmt(6, "(A)", " <Main-->I> The input looks formatted: try -f2u or -f2f");
}

// The tag length a header holds, when -l gave another.
void tag_length_hint(int n) {
  const std::string t = std::to_string(n);
  write_fmt(6, "(A)", " <Main-->I> The header holds a tag of " + t + " characters: try -l" + t);
}

// One complex section from the input to the output, with its report lines: the size,
// the section read (its rows streamed, or held as a grid where they must be), the
// version, the transforms and the section written.
void convert_complex(const RunSettings& s, Conversion& c) {
  c.typ = text(".", 1);
  c.rotation_known = false;
  c.rotation = 0;
  // A header written with a longer tag than -l says reads without a failure, but with the
  // version taken from tag bytes: the run stops before it reads. A shorter one fails in
  // the reader as it always has, and the hint follows the reader's lines.
  c.header_tag_length = 0;
  if (const SectionHead head = peek_section(input_unit, c.formatted_in);
      head.found && head.vartyp == "CMPX" && head.tag_length != cver_tag_length()) {
    c.header_tag_length = head.tag_length;
    if (head.tag_length > cver_tag_length()) {
      write_fmt(6, "(A)", " <Main-->T> Bad input; tag length " + std::to_string(cver_tag_length()) +
                              " does not fit the header");
      tag_length_hint(head.tag_length);
      stop_run();
    }
  }
  if (c.formatted_in) {
    getsiz_f(input_unit, c.k, c.l);
  } else {
    getsiz(input_unit, c.k, c.l);
  }
  const int k = c.k, l = c.l;
  if (!c.unformatted_out) check_header_fields(Element::cmpx, k, l);
  check_grid_size(k, l, s.rotate);
  if (s.rotate) c.rotation_known = rotation_count(s, k, c.rotation);

  c.tag = text("..", static_cast<std::size_t>(std::max(4, cver_tag_length())));
  Text& typ = c.typ;
  Text& tag = c.tag;
  const bool header = c.formatted_in ? getzm_begin_f(input_unit, typ, tag, c.header_version)
                                     : getzm_begin(input_unit, k, l, typ, tag, c.header_version);
  CellStorage grid, work;
  bool streamed = false;
  if (header) {
    streamed = stream_rows(s, c);
    if (!streamed) {
      if (k > 0 && l > 0) {
        grid.allocate(static_cast<std::size_t>(k) * static_cast<std::size_t>(l));
        if (s.rotate) work.allocate(static_cast<std::size_t>(k));
      }
      // Every row is one record, also a row of no cells; never more rows than the grid holds.
      const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
      const int rows = k > 0 && l > 0 ? l : k <= 0 ? std::max(l, 0) : 0;
      for (int j = rows; j >= 1; --j) {
        const std::span<Cell> row = grid.span().subspan(cells * static_cast<std::size_t>(j - 1), cells);
        if (c.formatted_in) {
          getzm_row_f(row);
        } else {
          getzm_row(row);
        }
      }
    }
    if (c.formatted_in) {
      getzm_end_f(typ, tag);
    } else {
      getzm_end(typ, tag);
    }
  }
  int version = -1;
  if (c.formatted_in) {
    getver_f(version);
  } else {
    getver(version);
  }
  if (s.version >= 0) version = s.version;
  setver(version);

  if (std::string_view("EF ET EN EV EC ER ").find(sub(tag, 1, 2)) != std::string_view::npos || version == -1) {
    if (c.passed >= 0 && sub(tag, 1, 2) == "EF") {
      // --tag=T passed over every section of the file.
      write_fmt(6, "(A)", " <Main-->T> No complex section tagged " + std::string(trimmed(s.wanted_tag)) + " among " +
                              std::to_string(c.passed) + (c.passed == 1 ? " section" : " sections"));
      stop_run();
    }
    write_fmt(6, "(2A,I5)", " <Main-->T> Bad input; tide$, ver.# ", text(tag, 4), version);
    if (c.header_tag_length > 0) {
      tag_length_hint(c.header_tag_length);
    } else {
      explain_bad_input(c.formatted_in, s.byte_order[0] == '%');
    }
    stop_run();
  }

  if (streamed) {
    if (s.reverse) zrevo_message(k, l, typ);
    if (s.rotate && c.rotation != 0) zrcyl_message(c.rotation);
    if (c.unformatted_out) {
      outzm_end(output_unit, k, l, typ, tag);
    } else {
      outzm_end_f(output_unit, typ, tag);
    }
  } else {
    if (s.reverse) zrevo(grid.span(), k, l, typ);
    if (s.rotate) zrcyl(grid.span(), k, l, rotation_or_stop(s, k), work.span());
    if (c.unformatted_out) {
      outzm(output_unit, grid.span(), k, l, typ, tag);
    } else {
      outzm_f(output_unit, grid.span(), k, l, typ, tag);
    }
  }
}

// A grid of another element type (FLAG, REAL, DBLE, LOG1) from the input to the output,
// for --all: read whole with its reader, transformed, written with its writer, each with
// its own report line. The storage is kept for the next section and grows as needed.
template <class T>
void convert_typed(const RunSettings& s, const Conversion& c, const SectionHead& h, int index,
                   void (*get)(int, std::span<T>, int, int, Text&), void (*get_f)(int, std::span<T>, int, int, Text&),
                   void (*out)(int, std::span<const T>, int, int, std::string_view),
                   void (*out_f)(int, std::span<const T>, int, int, std::string_view)) {
  static Storage<T> storage;
  const int k = h.k, l = h.l;
  if (!c.unformatted_out) check_header_fields(element_of<T>, k, l);
  check_grid_size(k, l, false);
  const std::size_t cells = k > 0 && l > 0 ? static_cast<std::size_t>(k) * static_cast<std::size_t>(l) : 0;
  storage.reserve(cells);
  const std::span<T> grid = storage.first(cells);
  Text typ = text(".", 1);
  if (c.formatted_in) {
    get_f(input_unit, grid, k, l, typ);
  } else {
    get(input_unit, grid, k, l, typ);
  }
  // An unformatted reader that found no section says so with "r" or "e".
  if (!c.formatted_in && (typ == "r" || typ == "e")) {
    write_fmt(6, "(A,I4,2A)", " <Main-->T> Bad input; section", index, ", ", h.vartyp);
    stop_run();
  }
  const std::span<std::byte> bytes = std::as_writable_bytes(grid);
  if (s.reverse) revo_cells(bytes, sizeof(T), k, l, typ, h.vartyp);
  if (s.rotate) rcyl_cells(bytes, sizeof(T), k, l, rotation_or_stop(s, k));
  if (c.unformatted_out) {
    out(output_unit, grid, k, l, typ);
  } else {
    out_f(output_unit, grid, k, l, typ);
  }
}

// The input ends after `sections` whole sections, but not cleanly: the run stops.
[[noreturn]] void no_more_sections(const SectionHead& h, int sections) {
  if (h.cut) {
    write_fmt(6, "(A,I4)", " <Main-->T> The input ends inside the header of section", sections + 1);
  } else {
    write_fmt(6, "(A,I4,A)", " <Main-->T> What follows section", sections, " is no section");
  }
  stop_run();
}

// --all: every section of the input in order, each with its own element type.
void convert_all(const RunSettings& s, Conversion& c) {
  for (int index = 1;; ++index) {
    const SectionHead h = peek_section(input_unit, c.formatted_in);
    if (!h.found && index > 1) {
      // The clean end of the file, or a header cut short, or bytes that are no section.
      if (!h.end) no_more_sections(h, index - 1);
      return;
    }
    if (!h.found || h.vartyp == "CMPX") {
      convert_complex(s, c);  // also an input without any section: its end-of-file lines
      if (!h.found) return;
    } else if (h.vartyp == "FLAG") {
      convert_typed<Flag>(s, c, h, index, getim, getim_f, outim, outim_f);
    } else if (h.vartyp == "REAL") {
      convert_typed<float>(s, c, h, index, getrm, getrm_f, outrm, outrm_f);
    } else if (h.vartyp == "DBLE") {
      convert_typed<double>(s, c, h, index, getdm, getdm_f, outdm, outdm_f);
    } else if (h.vartyp == "LOG1") {
      convert_typed<Logical1>(s, c, h, index, getlm, getlm_f, outlm, outlm_f);
    } else {
      write_fmt(6, "(A,I4,2A)", " <Main-->T> Unknown element type in section", index, ": ", h.vartyp);
      stop_run();
    }
  }
}

// --tag=T: passes over the sections before the first complex one whose tag is T, as the
// readers' tag search compares tags, and counts them. Without one, the input is left at
// its end, where the complex reader then gives its end-of-file lines; a file that does
// not end cleanly stops the run.
void find_tagged_section(const RunSettings& s, Conversion& c) {
  for (int index = 1;; ++index) {
    c.passed = index - 1;
    const SectionHead h = peek_section(input_unit, c.formatted_in);
    if (!h.found) {
      if (!h.end && index > 1) no_more_sections(h, index - 1);
      return;  // bytes that are no section at the start are read as the complex reader reads them
    }
    // The whole tag: blank-padded, "M" is not a prefix that M2 would match.
    if (h.vartyp == "CMPX" && same_tag(s.wanted_tag, h.tag, h.tag_length)) return;
    int rows = 0;
    if (!skip_section(input_unit, c.formatted_in, h, rows)) {
      write_fmt(6, "(A,I4,A,I10,A,I10,A)", " <Main-->T> Section", index, " ends after", rows, " of",
                std::max(h.l, 0), " rows");
      stop_run();
    }
  }
}

// More in the input after the section converted: anything but its clean end (blank
// lines in text), also bytes that are no section or a section cut short.
bool more_input(bool formatted) { return !peek_section(input_unit, formatted).end; }

// The conversion run; true when it has done its job (the output written whole and in
// place, or the usage text or the version written). Every other stop unwinds.
bool conversion_run() {
  if (version_requested()) {
    write_fmt(6, "(2A)", "kvax ", version_string);
    return true;
  }
  start_time_message("kvax");
  const RunSettings s = read_command_line();
  if (s.help) return true;
  if (s.tag_length < 1) terminate_main("Tag length must be 1 or more");
  if (s.unformatted_to_unformatted && s.formatted_to_formatted)
    terminate_main("Options -u2u and -f2f exclude each other");
  set_length_tag_tide(s.tag_length);

  Conversion c;
  // The first rule that holds chooses the direction.
  c.formatted_in = s.formatted_to_unformatted || (!s.unformatted_to_unformatted && s.formatted_to_formatted);
  c.unformatted_out = s.formatted_to_unformatted || s.unformatted_to_unformatted;
  const std::string input_spec = std::to_string(input_unit) + " " + (c.formatted_in ? std::string("R ") : s.byte_order) + s.input;
  const std::string output_spec = std::to_string(output_unit) + (c.unformatted_out ? " < " : " B ") + s.output;
  openfs(input_spec);
  if (s.list) {
    int sections = 0;
    const bool whole = list_sections(input_unit, c.formatted_in, sections);
    if (sections == 0 && !whole) explain_bad_input(c.formatted_in, s.byte_order[0] == '%');
    return whole;
  }
  // The output is written as a new file and put in place whole at the end: a run that
  // stops early leaves an existing output as it was.
  replace_whole(output_unit, true);
  openfs(output_spec);
  for (const std::string& name : stale_files_removed(output_unit))
    write_fmt(6, "(2A)", " <Main-->I> Removed a stale file of an interrupted run: ", name);
  // Opening wrote nothing yet: refuse before the output is cut.
  if (same_file(file_of_unit(input_unit), file_of_unit(output_unit)))
    terminate_main("Output file is the input file: " + file_of_unit(output_unit));

  if (s.all) {
    convert_all(s, c);
  } else {
    if (s.tag_given) find_tagged_section(s, c);
    convert_complex(s, c);
  }
  if (const int e = commit_unit(output_unit)) fatal_io(e, "CLOSE", output_unit);
  if (s.all) return true;
  const bool more = more_input(c.formatted_in);
  if (s.tag_given && (more || c.passed > 0)) {
    write_fmt(6, "(A)", " <Main-->W> The input holds more sections; converted section " + std::to_string(c.passed + 1) +
                            " (" + std::string(trimmed(sub(c.tag, 1, cver_tag_length()))) + ") only (use --all)");
  } else if (more) {
    write_fmt(6, "(A)", " <Main-->W> The input holds more sections; only the first was converted (use --all)");
  }
  return true;
}

// A closed standard descriptor would be given to the first file opened, and the
// messages written to standard output would land in it: each is opened on /dev/null.
void guard_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int n = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (n >= 0 && n != fd) {
      ::dup2(n, fd);
      ::close(n);
    }
  }
}

// An interrupted run leaves no new output file behind: the signal is caught, the new
// file removed, and the run then ends by the signal as it would have.
extern "C" void on_termination_signal(int sig) {
  remove_uncommitted_files();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Every signal whose default action ends the process and that can be caught, where that
// default is in force at the start: one ignored then (nohup and the like) stays ignored,
// and a handler installed before (a sanitizer's) stays.
void catch_termination_signals() {
  std::vector<int> ending = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM, SIGUSR1,   SIGUSR2,
                             SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSTKFLT, SIGSYS,
                             SIGTRAP, SIGABRT, SIGSEGV,   SIGBUS,  SIGFPE,  SIGILL};
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) ending.push_back(sig);
  for (const int sig : ending) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa {};
    sa.sa_handler = on_termination_signal;
    ::sigfillset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
  }
}

void write_standard_error(const std::string& text) {
  std::size_t off = 0;
  while (off < text.size()) {
    const ssize_t r = ::write(2, text.data() + off, text.size() - off);
    if (r <= 0) break;
    off += static_cast<std::size_t>(r);
  }
}

}  // namespace

int kvax_main(int argc, const char* const* argv) {
  guard_standard_descriptors();
  catch_termination_signals();
  std::string report;
  const int status = kvax_run(argc, argv, report);
  if (!report.empty()) write_standard_error(report);
  return status;
}

int kvax_run(int argc, const char* const* argv, std::string& report) {
  set_program_arguments(argc, argv);
  int status = 0;
  report.clear();
  try {
    // The orderly end of a run returns here; stops inside the library unwind.
    status = conversion_run() ? 0 : 1;
  } catch (const FatalIo& f) {
    status = f.status();
    report = f.report();
  } catch (const RunEnd& e) {
    status = e.status();  // 1 after STOP
  } catch (const std::bad_alloc&) {
    const FatalIo f(ENOMEM, "ALLOCATE", "*");
    status = f.status();
    report = f.report();
  }
  try {
    close_all_units();
  } catch (const FatalIo& f) {
    if (status == 0) {
      status = f.status();
      report = f.report();
    }
  }
  return status;
}

}  // namespace kvax
