// Environment substitution (replace_envars, replace_envars_l, replace_envars_128) on
// arbitrary fields, with a fixed environment that holds self-referring variables.
//
// Input: byte 1 chooses the entry point (value modulo 3) and adds 256 to the caller's
// field length (bit 7); byte 2 is the caller's field length (0 to 511); the rest is the
// text, blank-padded or cut to that length.
#include <cstdint>
#include <cstdlib>

#include <kvax/env/envars.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

#include "fuzz_support.h"

using namespace kvax;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  fuzz::fixed_environment();
  ::setenv("HOME", "/home/u", 1);  // no file is opened here: a real home is fine
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  const unsigned a = in.u8(), b = in.u8();
  const std::size_t length = b + ((a & 0x80) ? 256 : 0);
  Text field = text(in.rest(), length);
  const Text before = field;
  const int status = fuzz::guarded([&] {
    switch ((a & 0x7f) % 3) {
      case 0: replace_envars(field); break;
      case 1: replace_envars_l(field); break;
      case 2: replace_envars_128(field); break;
    }
  });
  if (status != -1 && status != 1) std::abort();
  // The caller's field keeps its length; each entry point works on its own field length
  // (64, 256 or 128) and leaves the caller's characters beyond it as they were.
  if (field.size() != length) std::abort();
  const std::size_t n = (a & 0x7f) % 3 == 0 ? 64 : (a & 0x7f) % 3 == 1 ? 256 : 128;
  if (status == -1 && length > n && field.compare(n, std::string::npos, before, n, std::string::npos) != 0)
    std::abort();
  fuzz::reset_library();
  return 0;
}
