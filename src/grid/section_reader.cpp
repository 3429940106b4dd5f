// Reading section files as values: detection, the streaming reader and the whole-file calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <kvax/grid.h>
#include <kvax/io/iostat.h>
#include <kvax/io/record_file.h>

#include "grid/section_file.h"

namespace kvax {

namespace grid_detail {

std::string place(int section, std::string_view tag, int row) {
  std::string s;
  if (row > 0) s = "row " + std::to_string(row) + " of ";
  s += "section " + std::to_string(section);
  if (!tag.empty()) s += " (" + std::string(tag) + ")";
  return s;
}

void system_failure(ErrorCode code, const std::string& path, int error, std::string_view doing) {
  throw Error(code, path, std::string(doing) + ": " + iostat_text(error), 0, {}, 0, error);
}

}  // namespace grid_detail

using namespace grid_detail;

namespace {

constexpr std::size_t probe_bytes = 4096;

std::string trim_right(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

// A header and its element type.
struct Head {
  SectionHeader items;
  Element element = Element::cmpx;
};

// The header of a record of `length` data bytes; a complex header's tag length is the
// record's unless n is given. nullopt for bytes that are no header.
std::optional<Head> header_of_record(const unsigned char* data, std::size_t length, bool big, int n) {
  Head h;
  if (length < head_data_bytes ||
      !element_of_word(std::string_view(reinterpret_cast<const char*>(data) + 9, 4), h.element))
    return std::nullopt;
  if (h.element == Element::cmpx && n == 0) {
    const long tag = static_cast<long>(length) - static_cast<long>(header_data_bytes(Element::cmpx, 0));
    if (tag < 1 || tag > max_tag_length) return std::nullopt;
    n = static_cast<int>(tag);
  }
  if (length != header_data_bytes(h.element, n) ||
      parse_header_record(std::as_bytes(std::span(data, length)), big, n, h.items) != HeaderParse::ok)
    return std::nullopt;
  return h;
}

// The header of a line; a complex header's tag length is the line's unless n is given.
std::optional<Head> header_of_line(std::string_view line, int n) {
  Head h;
  const bool complex = line.substr(0, 32).find("CMPX") != std::string_view::npos;
  if (complex && n == 0) {
    const long tag = static_cast<long>(line.size()) - static_cast<long>(header_line_bytes(Element::cmpx, 0)) + 1;
    if (tag < 1 || tag > max_tag_length) return std::nullopt;
    n = static_cast<int>(tag);
  }
  if (parse_header_line(line, n, h.items) != HeaderParse::ok || !element_of_word(h.items.vartyp, h.element) ||
      (h.element == Element::cmpx) != complex)
    return std::nullopt;
  return h;
}

// The file as detection sees it: its first bytes and what they can be.
struct Probe {
  std::int64_t size = -1;
  std::string head;   // the first bytes
  bool framed[2] = {false, false};  // the first record fits the file, little- and big-endian
  std::uint32_t marker[2] = {0, 0};
  std::optional<Head> text_header;  // the first line that is not blank, read as a header
  std::size_t text_line = 0;                  // its length
};

long pread_all(int fd, void* dst, std::size_t n, std::int64_t at) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, static_cast<char*>(dst) + done, n - done, at + static_cast<std::int64_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -errno;
    if (r == 0) break;
    done += static_cast<std::size_t>(r);
  }
  return static_cast<long>(done);
}

std::uint32_t marker_of(const unsigned char* p, bool big) {
  return big ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3]
             : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

Probe probe(int fd, const std::string& path, int tag_length) {
  Probe p;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) p.size = st.st_size;
  p.head.resize(probe_bytes);
  const long n = pread_all(fd, p.head.data(), probe_bytes, 0);
  if (n < 0) system_failure(ErrorCode::read_failed, path, static_cast<int>(-n), "cannot read the file");
  p.head.resize(static_cast<std::size_t>(n));
  const auto* b = reinterpret_cast<const unsigned char*>(p.head.data());
  if (p.head.size() >= 8 && p.size >= 8) {
    for (int big = 0; big < 2; ++big) {
      const std::uint32_t m = marker_of(b, big != 0);
      p.marker[big] = m;
      if (static_cast<std::int64_t>(m) + 8 > p.size) continue;
      unsigned char tail[4];
      if (pread_all(fd, tail, 4, 4 + static_cast<std::int64_t>(m)) == 4 && marker_of(tail, big != 0) == m)
        p.framed[big] = true;
    }
  }
  // The first line that is not blank.
  std::string_view text(p.head);
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(' ') != std::string_view::npos) {
      p.text_header = header_of_line(line, tag_length);
      p.text_line = line.size();
      break;
    }
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return p;
}

FileInfo settle(const Probe& p, const std::string& path, const ReadOptions& o) {
  FileInfo info;
  info.size = p.size;
  const auto* b = reinterpret_cast<const unsigned char*>(p.head.data());
  // A framed first record that holds a header, in either byte order; the one given first.
  auto record_header = [&](int big) -> std::optional<Head> {
    if (!p.framed[big] || p.marker[big] + 4 > p.head.size()) return std::nullopt;
    return header_of_record(b + 4, p.marker[big], big != 0, o.tag_length.value_or(0));
  };
  int order = -1;
  if (o.byte_order) {
    order = *o.byte_order == ByteOrder::big ? 1 : 0;
  } else if (p.framed[0] || p.framed[1]) {
    order = record_header(0) || (p.framed[0] && !record_header(1)) ? 0 : 1;
  }
  bool unformatted;
  if (o.representation) {
    unformatted = *o.representation == Representation::unformatted;
  } else if (p.size == 0) {
    unformatted = true;  // nothing to tell: no sections either way
  } else if (order >= 0 && p.framed[order] && (record_header(order) || !p.text_header)) {
    unformatted = true;
  } else if (o.byte_order && (p.framed[0] || p.framed[1]) && !p.text_header) {
    unformatted = true;  // framed in the other byte order: the reader says so
  } else if (p.text_header) {
    unformatted = false;
  } else {
    throw Error(ErrorCode::not_sections, path, "neither an unformatted nor a formatted section file");
  }
  info.representation = unformatted ? Representation::unformatted : Representation::formatted;
  info.byte_order = order == 1 ? ByteOrder::big : ByteOrder::little;
  if (o.tag_length) {
    info.tag_length = *o.tag_length;
  } else if (unformatted && order >= 0 && p.framed[order]) {
    if (const auto h = record_header(order); h && h->element == Element::cmpx)
      info.tag_length = static_cast<int>(h->items.tag.size());
  } else if (!unformatted && p.text_header && p.text_header->element == Element::cmpx) {
    info.tag_length = static_cast<int>(p.text_header->items.tag.size());
  }
  return info;
}

void check_options(const std::string& path, const ReadOptions& o) {
  if (o.tag_length && (*o.tag_length < 1 || *o.tag_length > 16))
    throw Error(ErrorCode::bad_argument, path, "a tag length of " + std::to_string(*o.tag_length) + ": 1 to 16");
}

int open_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    throw Error(ErrorCode::cannot_open, path, "cannot open the file: " + iostat_text(e), 0, {}, 0, e);
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    const int e = S_ISDIR(st.st_mode) ? EISDIR : ESPIPE;
    throw Error(ErrorCode::cannot_open, path,
                S_ISDIR(st.st_mode) ? "a directory, not a file" : "not a regular file (the reader moves within it)",
                0, {}, 0, e);
  }
  return fd;
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

template <class T>
void swap_values(std::byte* p, std::size_t count, std::size_t part) {
  for (std::size_t i = 0; i < count * sizeof(T) / part; ++i) std::reverse(p + i * part, p + (i + 1) * part);
}

}  // namespace

FileInfo describe(const std::string& path, const ReadOptions& options) {
  check_options(path, options);
  const Fd f{open_file(path)};
  return settle(probe(f.fd, path, options.tag_length.value_or(0)), path, options);
}

// ---------------------------------------------------------------------------------------
// The streaming reader

struct SectionReader::Impl {
  std::string path;
  ReadOptions options;
  FileInfo info;
  Probe first;
  Fd file{-1};
  std::unique_ptr<RecordFile> unit;
  bool formatted = false, big = false;

  bool at = false;  // standing at a section
  SectionInfo head;
  std::int64_t rows_at = 0;        // the first row stored (row L)
  std::size_t row_bytes = 0;       // a stored row: its record, or its lines as written
  std::int64_t end_at = -1;        // the end of the section, when known
  int fixed = -1;                  // text rows at their written places: -1 not yet known
  std::vector<std::int64_t> row_starts;  // text rows found line by line: L + 1 offsets
  std::int64_t next_at = 0;
  int sections = 0;  // sections found so far
  std::uint64_t rows_read = 0;

  [[noreturn]] void fail(ErrorCode code, const std::string& cause, int row = 0) const {
    throw Error(code, path, place(head.index, head.tag, row) + ": " + cause, head.index, head.tag, row);
  }
  [[noreturn]] void fail_at(ErrorCode code, const std::string& cause, int row = 0) const {
    throw Error(code, path, cause + " " + place(head.index, head.tag, row), head.index, head.tag, row);
  }
  bool at_end(std::int64_t pos) const { return info.size >= 0 && pos >= info.size; }
  int rows() const { return std::max(head.l, 0); }
  std::size_t cells() const { return head.k > 0 ? static_cast<std::size_t>(head.k) : 0; }

  void take(const Head& h, std::int64_t pos) {
    head.element = h.element;
    head.grid = h.items.typ;
    if (h.element == Element::cmpx) {
      head.tag = trim_right(h.items.tag);
      head.version = h.items.version;
    }
    head.k = h.items.k;
    head.l = h.items.l;
    head.offset = pos;
    rows_at = unit->position();
  }
  bool next();
  bool next_unformatted();
  bool next_formatted();
  std::int64_t section_end();
  void find_text_rows();
  void read_rows(int first, int count, std::byte* dst);
  void read_record_rows(int first, int count, std::byte* dst);
  bool records_in_place(std::int64_t start, int first, int count, std::size_t bytes, std::byte* dst);
  void read_text_rows(int first, int count, std::byte* dst);
  void read_text_row(int row, std::byte* dst);
};

bool SectionReader::Impl::next() {
  if (at) next_at = section_end();
  at = false;
  head = SectionInfo{};
  head.index = sections + 1;
  fixed = -1;
  end_at = -1;
  row_starts.clear();
  if (const int e = unit->seek(next_at)) system_failure(ErrorCode::read_failed, path, e, "cannot move in the file");
  if (!(formatted ? next_formatted() : next_unformatted())) return false;
  ++sections;
  at = true;
  return true;
}

bool SectionReader::Impl::next_unformatted() {
  const std::int64_t pos = next_at;
  if (at_end(pos)) return false;
  unsigned char m[4];
  const long got = pread_all(file.fd, m, 4, pos);
  const std::uint32_t length = got == 4 ? marker_of(m, big) : 0;
  if (pos == 0 && !first.framed[big ? 1 : 0]) {
    if (first.text_header) throw Error(ErrorCode::wrong_representation, path, "a text file: read it as formatted");
    if (first.framed[big ? 0 : 1])
      throw Error(ErrorCode::wrong_representation, path,
                  big ? "a little-endian file: read it as little-endian" : "a big-endian file: read it as big-endian");
  }
  const std::uint32_t longest_header = static_cast<std::uint32_t>(header_data_bytes(Element::cmpx, max_tag_length));
  if (got < 4 || length > longest_header) {
    if (got == 4 && info.size >= 0 && pos + 8 + static_cast<std::int64_t>(length) > info.size && length > longest_header)
      fail_at(ErrorCode::bad_record, "no header record (a record of " + std::to_string(length) + " bytes) at");
    if (got < 4) fail_at(ErrorCode::cut, "file ends inside the header of");
    fail_at(ErrorCode::bad_header, "no header record (a record of " + std::to_string(length) + " bytes) at");
  }
  std::uint32_t len = 0;
  if (unit->begin_record(len) != 0) fail_at(ErrorCode::cut, "file ends inside the header of");
  unsigned char data[64];
  const long r = unit->read(data, len);
  if (r != static_cast<long>(len)) fail_at(ErrorCode::cut, "file ends inside the header of");
  if (unit->end_record(len, len) != 0) fail_at(ErrorCode::bad_record, "the header record's markers differ in");
  const auto h = header_of_record(data, len, big, options.tag_length.value_or(0));
  if (!h) {
    const std::size_t untagged = header_data_bytes(Element::cmpx, 0);
    if (options.tag_length && len > untagged && std::memcmp(data + 9, "CMPX", 4) == 0)
      fail(ErrorCode::bad_header, "the header holds a tag of " + std::to_string(len - untagged) + " characters, not " +
                                      std::to_string(*options.tag_length));
    fail(ErrorCode::bad_header, "the header record cannot be read");
  }
  take(*h, pos);
  row_bytes = static_cast<std::size_t>(row_record_bytes(head.element, head.k));
  // The rows must be in the file before anything is made for them.
  // (Counted in whole rows: a header's K x L may claim more bytes than 64 bits hold.)
  const std::int64_t whole = (info.size - rows_at) / static_cast<std::int64_t>(row_bytes);
  if (whole < rows()) fail_at(ErrorCode::cut, "file ends inside", rows() - static_cast<int>(whole));
  end_at = rows_at + static_cast<std::int64_t>(row_bytes) * rows();
  return true;
}

bool SectionReader::Impl::next_formatted() {
  std::string_view line;
  std::int64_t pos = 0;
  do {  // blank lines between sections are passed over
    pos = unit->position();
    if (!unit->read_line(line)) return false;
  } while (line.find_first_not_of(' ') == std::string_view::npos);
  const auto h = header_of_line(line, options.tag_length.value_or(0));
  if (!h) {
    if (head.index == 1 && (first.framed[0] || first.framed[1]) && !first.text_header)
      throw Error(ErrorCode::wrong_representation, path, "a binary file: read it as unformatted");
    fail(ErrorCode::bad_header, "the header line cannot be read");
  }
  take(*h, pos);
  row_bytes = static_cast<std::size_t>(row_line_bytes(head.element, head.k, traits(head.element).write_format));
  // Every line of a row ends in a line feed (the last one of the file perhaps not).
  const std::int64_t lines = lines_per_row(head.element, head.k);
  if (info.size >= 0 && rows_at + lines * rows() > info.size + 1) {
    find_text_rows();  // throws where the file ends
  }
  return true;
}

// Where the current section ends: the next header, or the end of the file.
std::int64_t SectionReader::Impl::section_end() {
  if (end_at >= 0) return end_at;
  find_text_rows();
  return end_at;
}

// The places of the text rows: where the lines have their written lengths (each row's
// last line feed where it must be), computed; otherwise found line by line.
void SectionReader::Impl::find_text_rows() {
  if (fixed >= 0) return;
  const int l = rows();
  // Rows that cannot fit the file (counted without overflow) are found line by line, to
  // the line where the file ends.
  const bool fit = l == 0 || static_cast<std::int64_t>(row_bytes) <= (info.size + 1 - rows_at) / l;
  const std::int64_t end = fit ? rows_at + static_cast<std::int64_t>(row_bytes) * l : 0;
  bool ok = fit && (end <= info.size || (l > 0 && end == info.size + 1));
  for (int r = 1; ok && r <= l; ++r) {
    const std::int64_t at = rows_at + static_cast<std::int64_t>(row_bytes) * r - 1;
    char c = 0;
    if (at == info.size) break;  // the last line without its line feed
    ok = pread_all(file.fd, &c, 1, at) == 1 && c == '\n';
  }
  if (ok) {
    fixed = 1;
    end_at = std::min(end, info.size);
    return;
  }
  fixed = 0;
  row_starts.assign(static_cast<std::size_t>(l) + 1, 0);
  const std::int64_t per_row = lines_per_row(head.element, head.k);
  if (const int e = unit->seek(rows_at)) system_failure(ErrorCode::read_failed, path, e, "cannot move in the file");
  std::string_view line;
  for (int r = 0; r < l; ++r) {
    row_starts[static_cast<std::size_t>(r)] = unit->position();
    for (std::int64_t n = 0; n < per_row; ++n)
      if (!unit->read_line(line)) fail_at(ErrorCode::cut, "file ends inside", l - r);
  }
  row_starts[static_cast<std::size_t>(l)] = end_at = unit->position();
}

void SectionReader::Impl::read_rows(int first, int count, std::byte* dst) {
  if (formatted) {
    read_text_rows(first, count, dst);
  } else {
    read_record_rows(first, count, dst);
  }
  rows_read += static_cast<std::uint64_t>(count);
}

// Rows first .. first + count - 1: in the file the last of them comes first.
void SectionReader::Impl::read_record_rows(int first, int count, std::byte* dst) {
  const int last = first + count - 1;
  const std::size_t bytes = cells() * element_size(head.element);
  const std::int64_t start = rows_at + static_cast<std::int64_t>(row_bytes) * (rows() - last);
  if (!big && records_in_place(start, first, count, bytes, dst)) return;
  if (const int e = unit->seek(start)) system_failure(ErrorCode::read_failed, path, e, "cannot move in the file");
  for (int j = last; j >= first; --j) {
    std::uint32_t len = 0;
    if (unit->begin_record(len) != 0) fail_at(ErrorCode::cut, "file ends inside", j);
    if (len != bytes)
      fail(ErrorCode::bad_record,
           "a row record of " + std::to_string(len) + " bytes, not " + std::to_string(bytes), j);
    std::byte* row = dst + bytes * static_cast<std::size_t>(j - first);
    if (unit->read(row, bytes) != static_cast<long>(bytes)) fail_at(ErrorCode::cut, "file ends inside", j);
    if (unit->end_record(len, len) != 0) fail(ErrorCode::bad_record, "the record's markers differ", j);
    if (big) {
      switch (head.element) {
        case Element::cmpx:
        case Element::flag:
        case Element::real:
          swap_values<float>(row, bytes / 4, 4);
          break;
        case Element::dble:
          swap_values<double>(row, bytes / 8, 8);
          break;
        case Element::log1:
          break;
      }
    }
  }
}

// The row records of a file in this machine's byte order read straight into place, their
// markers beside them, by vectored reads: no copy through a buffer. False, with nothing
// decided, when a read comes short or a marker is not the row's length: the rows are then
// read one by one, which names the row and what is wrong with it.
bool SectionReader::Impl::records_in_place(std::int64_t start, int first, int count, std::size_t bytes,
                                           std::byte* dst) {
  if constexpr (std::endian::native != std::endian::little) return false;
  if (bytes == 0) return false;
  constexpr int batch = 340;  // three pieces a row, within IOV_MAX
  std::uint32_t marks[batch][2];
  iovec iov[3 * batch];
  const std::size_t record = bytes + 8;
  for (int done = 0; done < count;) {
    const int n = std::min(batch, count - done);
    std::size_t total = 0;
    for (int t = 0; t < n; ++t) {
      // The t-th record from start holds row first + count - 1 - (done + t).
      const int j = first + count - 1 - (done + t);
      iov[3 * t] = iovec{&marks[t][0], 4};
      iov[3 * t + 1] = iovec{dst + bytes * static_cast<std::size_t>(j - first), bytes};
      iov[3 * t + 2] = iovec{&marks[t][1], 4};
      total += record;
    }
    const std::int64_t at = start + static_cast<std::int64_t>(record) * done;
    std::size_t got = 0;
    int from = 0;
    while (got < total) {
      const ssize_t r = ::preadv(file.fd, iov + from, 3 * n - from, at + static_cast<std::int64_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
      if (got == total) break;
      // A short read: go on from the piece it stopped in.
      std::size_t left = static_cast<std::size_t>(r);
      while (left >= iov[from].iov_len) left -= iov[from++].iov_len;
      iov[from].iov_base = static_cast<char*>(iov[from].iov_base) + left;
      iov[from].iov_len -= left;
    }
    for (int t = 0; t < n; ++t)
      if (marks[t][0] != bytes || marks[t][1] != bytes) return false;
    done += n;
  }
  return true;
}

void SectionReader::Impl::read_text_rows(int first, int count, std::byte* dst) {
  const int last = first + count - 1;
  const std::size_t bytes = cells() * element_size(head.element);
  std::int64_t start;
  if (first == 1 && last == rows() && fixed < 0) {
    start = rows_at;  // the whole section read on: its end is found on the way
  } else {
    find_text_rows();
    start = fixed ? rows_at + static_cast<std::int64_t>(row_bytes) * (rows() - last)
                  : row_starts[static_cast<std::size_t>(rows() - last)];
  }
  if (const int e = unit->seek(start)) system_failure(ErrorCode::read_failed, path, e, "cannot move in the file");
  for (int j = last; j >= first; --j) read_text_row(j, dst + bytes * static_cast<std::size_t>(j - first));
  if (first == 1 && last == rows() && end_at < 0) end_at = unit->position();
}

// One text row: its lines of fields under the element's edit; a line shorter than its
// fields reads as if padded with blanks, unless the file ends inside it.
void SectionReader::Impl::read_text_row(int row, std::byte* dst) {
  const std::string_view format = traits(head.element).read_format;
  const std::size_t values = row_values(head.element, head.k);
  bool cut = false;
  int c = 0;
  switch (head.element) {
    case Element::cmpx:
    case Element::real:
      c = unit->read_row(format, std::span(reinterpret_cast<float*>(dst), values), cut);
      break;
    case Element::dble:
      c = unit->read_row(format, std::span(reinterpret_cast<double*>(dst), values), cut);
      break;
    case Element::flag:
      c = unit->read_row(format, std::span(reinterpret_cast<std::int32_t*>(dst), values), cut);
      break;
    case Element::log1:
      c = unit->read_row(format, std::span(reinterpret_cast<std::int8_t*>(dst), values), cut);
      break;
  }
  if (c == iostat::end_of_file) fail_at(ErrorCode::cut, "file ends inside", row);
  if (c != 0) fail(ErrorCode::bad_value, "a field that cannot be read: " + iostat_text(c), row);
}

namespace {

// Record-layer failures (a read the system refused) in this layer's words.
template <class F>
auto guarded(const std::string& path, F&& f) {
  try {
    return f();
  } catch (const FatalIo& e) {
    throw Error(ErrorCode::read_failed, path, "cannot read the file: " + iostat_text(e.code()), 0, {}, 0, e.code());
  }
}

}  // namespace

SectionReader::SectionReader(const std::string& path, const ReadOptions& options) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.path = path;
  m.options = options;
  check_options(path, options);
  m.file.fd = open_file(path);
  m.first = probe(m.file.fd, path, options.tag_length.value_or(0));
  m.info = settle(m.first, path, options);
  m.formatted = m.info.representation == Representation::formatted;
  m.big = m.info.byte_order == ByteOrder::big;
  if (const int e = RecordFile::open_input(path, m.formatted, m.big, m.unit))
    throw Error(ErrorCode::cannot_open, path, "cannot open the file: " + iostat_text(e), 0, {}, 0, e);
}

SectionReader::~SectionReader() = default;
SectionReader::SectionReader(SectionReader&&) noexcept = default;
SectionReader& SectionReader::operator=(SectionReader&&) noexcept = default;

const FileInfo& SectionReader::info() const noexcept { return impl_->info; }
const std::string& SectionReader::path() const noexcept { return impl_->path; }
std::uint64_t SectionReader::rows_read() const noexcept { return impl_->rows_read; }

bool SectionReader::next() {
  return guarded(impl_->path, [&] { return impl_->next(); });
}

const SectionInfo& SectionReader::header() const {
  if (!impl_->at) throw Error(ErrorCode::bad_argument, impl_->path, "the reader stands at no section");
  return impl_->head;
}

void SectionReader::read_rows(int first, int count, std::span<std::byte> dst) {
  const SectionInfo& h = header();
  const std::size_t bytes = impl_->cells() * element_size(h.element);
  if (count < 0 || first < 1 || (count > 0 && first + count - 1 > h.l) || dst.size() != bytes * static_cast<std::size_t>(count))
    throw Error(ErrorCode::bad_argument, impl_->path,
                "rows " + std::to_string(first) + " to " + std::to_string(first + count - 1) + " into " +
                    std::to_string(dst.size()) + " bytes: the section has " + std::to_string(h.l) + " rows of " +
                    std::to_string(bytes) + " bytes",
                h.index, h.tag);
  if (count == 0) return;
  guarded(impl_->path, [&] {
    impl_->read_rows(first, count, dst.data());
    return 0;
  });
}

Section SectionReader::read() {
  const SectionInfo& h = header();
  Section s;
  s.element = h.element;
  s.grid = h.grid;
  s.tag = h.tag;
  s.version = h.version;
  s.k = h.k;
  s.l = h.l;
  s.values = ValueBuffer(s.count() * element_size(h.element));
  const int rows = impl_->rows();
  guarded(impl_->path, [&] {
    // Rows of no cells are still read: their records or lines are checked.
    if (rows > 0) impl_->read_rows(1, rows, s.values.data());
    return 0;
  });
  return s;
}

// ---------------------------------------------------------------------------------------
// Whole files

std::vector<SectionInfo> list_sections(const std::string& path, const ReadOptions& options) {
  SectionReader r(path, options);
  std::vector<SectionInfo> all;
  while (r.next()) all.push_back(r.header());
  return all;
}

std::vector<Section> read_sections(const std::string& path, const ReadOptions& options) {
  SectionReader r(path, options);
  std::vector<Section> all;
  while (r.next()) all.push_back(r.read());
  return all;
}

Section read_section(const std::string& path, std::string_view tag, const ReadOptions& options) {
  SectionReader r(path, options);
  const std::string wanted = trim_right(std::string(tag));
  int count = 0;
  while (r.next()) {
    ++count;
    if (r.header().element == Element::cmpx && r.header().tag == wanted) return r.read();
  }
  throw Error(ErrorCode::no_such_tag, path,
              "no complex section tagged " + wanted + " among " + std::to_string(count) + " sections");
}

}  // namespace kvax
