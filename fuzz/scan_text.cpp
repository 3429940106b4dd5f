// Values after keys and word scanning (q_substring and its typed readers, qd_substring,
// next_word, nth_word, split_into_words) on arbitrary text, keys and terminators.
//
// Input: byte 1: bit 0 asks for the earliest terminator (-9999), bit 1 keeps empty words,
// bits 2-7 the value field's length (0 to 63); byte 2: the word array's elements (low 4
// bits) and the word number of nth_word (high 4 bits, 8 to 15 negative); then a line with
// the key, a line with the terminators (also the separator), and the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <kvax/scan/keyed_values.h>
#include <kvax/scan/words.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  fuzz::fixed_environment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8();
  const std::string_view key = in.line();
  const std::string_view terminators = in.line();
  const std::string_view line = in.rest();
  const int n = static_cast<int>(line.size());
  const std::size_t field = a >> 2;

  const int status = fuzz::guarded([&] {
    Text value = text("old", field);
    int pos = -7, length = (a & 1) ? earliest_terminator : 0;
    if (q_substring(line, key, terminators, value, pos, length)) {
      check(pos >= 1 && pos <= n + 1 && length >= 0 && length <= static_cast<int>(field));
    } else {
      check(pos == -7 && value == text("old", field));
    }
    length = (a & 1) ? earliest_terminator : 0;
    qu_substring(line, key, terminators, value, pos, length);
    bool ok = false;
    d_substring(line, -1.0, key, terminators, value, pos, length, ok);
    r_substring(line, -1.0f, key, terminators, value, pos, length, ok);
    i_substring(line, -1, key, terminators, value, pos, length, ok);
    int skip = 0;
    double d = 0;
    qd_substring(line, key, terminators, value, skip, pos, length, d);
    check(skip >= 0 && length >= 0);
    float f = 0;
    qr_substring(line, key, terminators, value, skip, pos, length, f);
    check(value.size() == field);

    // next_word ends within one call per character of the text, and two more.
    Text word = text("", field);
    int wpos = 0, wlength = 0, result = 1;
    for (int calls = 0; result > 0; ++calls) {
      check(calls <= n + 2);
      result = next_word(line, terminators, word, wpos, wlength);
      check(wlength >= 0 && wlength <= n && word.size() == field);
    }
    const int nth = static_cast<int>(b >> 4) - ((b & 0x80) ? 16 : 0);
    nth_word(nth, line, terminators, word, wpos, wlength);

    std::vector<Text> words(b & 15, text("", field));
    int count = -1;
    split_into_words(line, terminators, (a & 2) != 0, words, count);
    check(count >= 0 && count <= static_cast<int>(words.size()));
    for (const Text& w : words) check(w.size() == field);
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  return 0;
}
