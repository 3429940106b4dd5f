// The readers of FLAG, REAL, DBLE and LOG1 sections and the peeks on arbitrary bytes and
// text. Every reader stores inside the caller's grid and work row only: both are
// followed by guard elements that must keep their value.
//
// Input: byte 1 chooses the representation (bit 0: formatted), the reader (bits 1-3:
// FLAG, REAL, DBLE, LOG1, LOG1 into integers), the byte order (bit 4), a peek before the
// read that gives K and L (bit 5) and a second pass (bit 6); byte 2 the requested grid
// type (bits 0-1), the work row length 0 to 15 (bits 2-5) and a grid of half the cells
// (bit 6); bytes 3 and 4 the caller's K and L (minus 2) when there is no peek. The rest
// is the file.
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

namespace {

constexpr std::size_t max_cells = std::size_t{1} << 16;
constexpr std::size_t guard = 16;

// A grid of n elements followed by guard elements of a value no reader stores.
template <class T>
struct Guarded {
  std::vector<T> v;
  T mark;
  Guarded(std::size_t n, T m) : v(n + guard, m), mark(m) {}
  std::span<T> span() { return std::span<T>(v).first(v.size() - guard); }
  void check() const {
    for (std::size_t i = v.size() - guard; i < v.size(); ++i)
      if (!(v[i] == mark)) std::abort();
  }
};

template <class T>
void read_into(std::size_t cells, int k, int l, Text& typ, void (*get)(int, std::span<T>, int, int, Text&), T mark) {
  Guarded<T> g(cells, mark);
  get(21, g.span(), k, l, typ);
  g.check();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8(), c = in.u8(), d = in.u8();
  const bool formatted = a & 1;
  const unsigned member = ((a >> 1) & 7) % 5;
  const bool peek = a & 0x20;
  const int passes = (a & 0x40) ? 2 : 1;
  const char* typ_request[] = {".", "M", "Z", " "};
  const std::size_t work_length = (b >> 2) & 15;
  fuzz::write_file("typed", in.rest());

  const int status = fuzz::guarded([&] {
    OpenSpec spec;
    spec.file = "typed";
    spec.status = "OLD";
    spec.form = formatted ? "FORMATTED" : "UNFORMATTED";
    spec.convert = (a & 0x10) ? "BIG_ENDIAN" : "LITTLE_ENDIAN";
    if (open_unit(21, spec) != 0) std::abort();
    for (int pass = 0; pass < passes; ++pass) {
      int k = static_cast<int>(c) - 2, l = static_cast<int>(d) - 2;
      Text typ = text(typ_request[b & 3], 1), vartyp = text("", 4);
      if (peek) {
        Text seen = text("", 1);
        (formatted ? getast_f : getast)(21, k, l, seen, vartyp);
        if (seen.size() != 1 || vartyp.size() != 4) std::abort();
      }
      std::size_t cells = k > 0 && l > 0 ? std::min<std::size_t>(std::size_t(k) * std::size_t(l), max_cells) : 0;
      if (b & 0x40) cells /= 2;
      switch (member) {
        case 0:
          read_into<Flag>(cells, k, l, typ, formatted ? getim_f : getim, -77);
          break;
        case 1:
          read_into<float>(cells, k, l, typ, formatted ? getrm_f : getrm, -77.0f);
          break;
        case 2:
          read_into<double>(cells, k, l, typ, formatted ? getdm_f : getdm, -77.0);
          break;
        case 3:
          read_into<Logical1>(cells, k, l, typ, formatted ? getlm_f : getlm, 77);
          break;
        default: {
          Guarded<Flag> g(cells, -77);
          Guarded<Logical1> work(work_length, 77);
          (formatted ? getlmi_f : getlmi)(21, g.span(), k, l, typ, work.span());
          g.check();
          work.check();
        }
      }
      if (typ.size() != 1) std::abort();
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
