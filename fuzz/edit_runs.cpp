// The editing of runs of values (out_reals, in_reals, out_integers, out_logicals)
// against one call per value: any edit, any values, any fields. A difference in bytes,
// values or codes is a finding.
//
// Input: 4 bytes choose the edit (kind E, D or F; width 1-40; digits; scale -3 to 3;
// exponent digits), then the rest is both the values of the output run (4 or 8 bytes
// each, taken as they are) and the text of the input run (fields of the edit's width).
// With bit 3 of the first byte the same width serves Iw (Iw.m with bit 4 of the third
// byte) and Lw runs of 32-bit integers and 1-byte logicals.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "io/edit_input.h"
#include "io/edit_output.h"

using namespace kvax;

namespace {

template <class T>
void check_output(const DataEdit& e, std::string_view bytes) {
  std::vector<T> v(bytes.size() / sizeof(T));
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
  const std::size_t w = static_cast<std::size_t>(e.width);
  std::string one(v.size() * w, '#'), run(v.size() * w + 8, '#');
  for (std::size_t i = 0; i < v.size(); ++i) out_real(one.data() + i * w, e, v[i]);
  out_reals(run.data(), e, v.data(), v.size());
  if (one + "########" != run) __builtin_trap();
}

// Integers and logicals: out_integers and out_logicals against one call per value.
template <class T>
void check_integer_like_output(const DataEdit& e, std::string_view bytes) {
  std::vector<T> v(bytes.size() / sizeof(T));
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
  const std::size_t w = static_cast<std::size_t>(e.width);
  std::string one(v.size() * w, '#'), run(v.size() * w + 8, '#');
  for (std::size_t i = 0; i < v.size(); ++i) {
    if constexpr (sizeof(T) == 1) {
      out_logical(one.data() + i * w, e, v[i] != 0);
    } else {
      out_integer(one.data() + i * w, e, v[i]);
    }
  }
  if constexpr (sizeof(T) == 1) {
    out_logicals(run.data(), e, v.data(), v.size());
  } else {
    out_integers(run.data(), e, v.data(), v.size());
  }
  if (one + "########" != run) __builtin_trap();
}

template <class T>
void check_input(const DataEdit& e, std::string_view text) {
  const std::size_t w = static_cast<std::size_t>(e.width);
  const std::size_t count = text.size() / w;
  std::vector<T> one(count), run(count + 1);
  std::vector<int> code(count);
  for (std::size_t i = 0; i < count; ++i) code[i] = in_real(text.substr(i * w, w), e, one[i]);
  for (std::size_t start = 0; start < count;) {
    std::size_t done = 0;
    const int rc = in_reals(text.data() + start * w, e, run.data() + start, count - start, done);
    if (done > count - start) __builtin_trap();
    for (std::size_t i = start; i < start + done; ++i)
      if (code[i] != 0 || std::memcmp(&one[i], &run[i], sizeof(T)) != 0) __builtin_trap();
    start += done;
    if (start == count) {
      if (rc != 0) __builtin_trap();
      break;
    }
    if (rc == 0 || rc != code[start]) __builtin_trap();
    ++start;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  DataEdit e;
  const unsigned a = in.u8(), b = in.u8(), c = in.u8(), d = in.u8();
  e.kind = "EDFE"[a & 3];
  e.width = 1 + static_cast<int>(b % 40);
  e.digits = static_cast<int>(c % 12);
  e.scale = static_cast<int>(d % 7) - 3;
  e.exp_digits = (d & 0x80) ? 1 + static_cast<int>((d >> 3) % 4) : -1;
  if (a & 4) e.scale = 1;  // the row formats' 1P, often
  const std::string_view rest = in.rest();
  if (a & 8) {
    DataEdit i{'I', e.width, (c & 16) ? static_cast<int>(c % 5) : -1, -1, 0};
    check_integer_like_output<std::int32_t>(i, rest);
    const DataEdit l{'L', e.width, -1, -1, 0};
    check_integer_like_output<std::int8_t>(l, rest);
    return 0;
  }
  check_output<float>(e, rest);
  check_output<double>(e, rest);
  check_input<float>(e, rest);
  check_input<double>(e, rest);
  return 0;
}
