// What the fuzz targets share: a working directory of their own, standard output kept
// in memory, the library's global state set back between inputs, a fixed environment,
// and a shell that never runs.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax::fuzz {

// Creates /tmp/kvax-fuzz-XXXXXX/work once and makes it the working directory. The parent
// is ours too, so a name one level up ("../x", through the opener's directory prefix)
// still lands inside it. Both are removed at exit.
void enter_work_dir();
// Removes every file of the work directory and of its parent (but the work directory).
void clean_work_dir();

// Unit 6 writes into memory from now on; output() is what it wrote since the last reset.
void capture_output();
std::string& output();

// Closes every unit, drops the captured output and sets the opener, the terminal layer,
// the file-name registry, the report switches, /COZ/ and the tag length back to their
// state at program load.
void reset_library();

// Replaces the whole environment by a fixed one whose values hold no "/" and no "~", so
// that no substituted name can leave the work directory: HOME=h, HOST, TZ, the test
// clock, and variables for substitution (self-referring ones included).
void fixed_environment();

// Writes bytes to a file of the working directory.
void write_file(const char* name, std::string_view bytes);
std::string read_file(const char* name);

// The item kinds of the READ and WRITE targets: i int32, j int64, f float, d double,
// l logical, c complex, z double complex, a text, F/C/I arrays of float, complex, int32.
inline constexpr std::string_view item_kinds = "ijfdlczaFCI";
// A byte of the input as an item kind.
inline char kind_of(char c) {
  return item_kinds.find(c) != std::string_view::npos ? c
                                                      : item_kinds[static_cast<unsigned char>(c) % item_kinds.size()];
}
// Passes items of these kinds to a READ and finishes it; the items themselves are
// scratch variables (a text of `text_length` characters, which must keep its length).
Io input_items(InputStatement& st, std::string_view kinds, std::size_t text_length);

// One complex section reader, unformatted or formatted.
struct SectionReader {
  int (*size)(int, int&, int&);
  void (*get)(int, std::span<std::complex<float>>, int, int, Text&, Text&);
  void (*search)(int, std::span<std::complex<float>>, int, int, Text&, Text&, int&);
  void (*version)(int&);
};
// Reads `passes` sections from unit 21: the size, then the section by position or by tag
// into a grid of at most 65536 cells, then the version. Request byte: grid type (bits
// 4-5) and tag (bit 6: "M2", else any); the tag variable holds tag_var characters.
void read_sections(const SectionReader& r, int passes, bool search, unsigned request, std::size_t tag_var);

// Runs f; a STOP or a fatal report is a normal end. Returns the run's status, or -1
// when f returned by itself.
template <class F>
int guarded(F&& f) {
  try {
    f();
  } catch (const RunEnd& e) {
    return e.status();
  }
  return -1;
}

// Reads a fuzz input from the front: option bytes, then lines, then the rest.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : s_(reinterpret_cast<const char*>(data), size) {}
  // The next byte, 0 when none is left.
  unsigned u8() {
    if (s_.empty()) return 0;
    const unsigned c = static_cast<unsigned char>(s_.front());
    s_.remove_prefix(1);
    return c;
  }
  // Up to the next line feed (consumed, not returned); the rest when there is none.
  std::string_view line() {
    const std::size_t nl = s_.find('\n');
    const std::string_view l = s_.substr(0, nl);
    s_.remove_prefix(nl == std::string_view::npos ? s_.size() : nl + 1);
    return l;
  }
  // n bytes, fewer at the end.
  std::string_view take(std::size_t n) {
    const std::string_view t = s_.substr(0, n);
    s_.remove_prefix(t.size());
    return t;
  }
  std::string_view rest() const { return s_; }
  bool empty() const { return s_.empty(); }

 private:
  std::string_view s_;
};

}  // namespace kvax::fuzz
