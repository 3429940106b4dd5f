// The edit-format interpreter: arbitrary formats with arbitrary items, for output (into
// an internal text or onto standard output) and for input (from an internal text or from
// a file on a unit).
//
// Input, as lines: line 1 is the mode letter ("o" output into a text, "O" output to unit
// 6, "i" input from a text, "I" input from a file; other bytes choose by value), then one
// byte (output: the text field's length; input: the end and error requests, bits 0-1),
// then up to 16 item kinds:
//   i int32, j int64, f float, d double, l logical, c complex, z double complex,
//   a text, F five floats, C three complex, I three int32 (other bytes choose by value);
// line 2 is the format; the rest is the input text, or the values of the output items
// (8 bytes each, taken as they are: NaN, infinities and denormals come up by themselves).
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

namespace {

// Eight bytes of the value area, zero-padded.
struct Values {
  std::string_view bytes;
  std::size_t at = 0;
  std::uint64_t next() {
    std::uint64_t v = 0;
    const std::size_t n = at < bytes.size() ? std::min<std::size_t>(8, bytes.size() - at) : 0;
    if (n) std::memcpy(&v, bytes.data() + at, n);
    at += 8;
    return v;
  }
  template <class T>
  T as() {
    const std::uint64_t v = next();
    T t;
    std::memcpy(&t, &v, sizeof t);
    return t;
  }
};

void output_items(OutputStatement& st, std::string_view item_kinds, Values& v) {
  for (char k : item_kinds) {
    switch (fuzz::kind_of(k)) {
      case 'i': st.item(v.as<std::int32_t>()); break;
      case 'j': st.item(v.as<std::int64_t>()); break;
      case 'f': st.item(v.as<float>()); break;
      case 'd': st.item(v.as<double>()); break;
      case 'l': st.item((v.next() & 1) != 0); break;
      case 'c': st.item(std::complex<float>(v.as<float>(), v.as<float>())); break;
      case 'z': st.item(std::complex<double>(v.as<double>(), v.as<double>())); break;
      case 'a': {
        const std::uint64_t n = v.next() & 63;
        st.item(std::string(static_cast<std::size_t>(n), static_cast<char>('A' + n % 26)));
        break;
      }
      case 'F': {
        float f[5];
        for (float& x : f) x = v.as<float>();
        st.items(std::span<const float>(f));
        break;
      }
      case 'C': {
        std::complex<float> c[3];
        for (auto& x : c) x = {v.as<float>(), v.as<float>()};
        st.items(std::span<const std::complex<float>>(c));
        break;
      }
      case 'I': {
        std::int32_t n[3];
        for (auto& x : n) x = v.as<std::int32_t>();
        st.items(std::span<const std::int32_t>(n));
        break;
      }
    }
  }
  st.finish();
}


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  std::string_view head = in.line();
  const std::string_view format = in.line();
  const std::string_view rest = in.rest();
  char mode = head.empty() ? 'o' : head[0];
  if (std::string_view("oOiI").find(mode) == std::string_view::npos) mode = "oOiI"[static_cast<unsigned char>(mode) & 3];
  const unsigned option = head.size() > 1 ? static_cast<unsigned char>(head[1]) : 0;
  const std::string_view item_kinds = head.size() > 2 ? head.substr(2, 16) : std::string_view();
  if (mode == 'I') fuzz::write_file("input.txt", rest);

  const int status = fuzz::guarded([&] {
    Values v{rest};
    switch (mode) {
      case 'o': {
        Text field = text("", option);
        OutputStatement st(field, format);
        output_items(st, item_kinds, v);
        if (field.size() != option) std::abort();
        break;
      }
      case 'O': {
        OutputStatement st(6, format);
        output_items(st, item_kinds, v);
        break;
      }
      case 'i': {
        InputStatement st(rest, option & 3, format);
        fuzz::input_items(st, item_kinds, 7);
        break;
      }
      case 'I': {
        OpenSpec spec;
        spec.file = "input.txt";
        spec.status = "OLD";
        if (open_unit(22, spec) != 0) std::abort();
        // Two statements: the second starts at the record after the first one's last.
        for (int n = 0; n < 2; ++n) {
          InputStatement st(22, option & 3, format);
          fuzz::input_items(st, item_kinds, 7);
        }
        break;
      }
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
