// The opener's specification strings in string mode (openfs_e, openfs), several strings
// one after another on the same opener state, with files in a scratch directory. Bit 2
// of the first byte reads the same lines in instruction mode (openf) instead.
//
// Input: byte 1: bit 0 sets openf_dbg (the trace), bit 1 uses openfs (a failed open ends
// the run) instead of openfs_e, bit 2 instruction mode; then up to eight specification
// strings, one per line. Inputs with "/" or "~" are passed over: the environment holds
// neither, so every name stays a plain name in the work directory (or, through a
// directory prefix "..", in its parent, which is ours too). No shell runs: see
// fuzz_support.cpp.
#include <cstdint>
#include <cstdlib>

#include <kvax/files/openf.h>
#include <kvax/io/units.h>

#include "fuzz_support.h"

using namespace kvax;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_work_dir();
  fuzz::capture_output();
  fuzz::fixed_environment();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Bytes in(data, size);
  if (in.rest().find_first_of("/~") != std::string_view::npos) return -1;
  const unsigned a = in.u8();
  if (a & 1) {
    ::setenv("openf_dbg", "1", 1);
  } else {
    ::unsetenv("openf_dbg");
  }
  fuzz::write_file("in.dat", "         3         2 M CMPX M2          7\n");
  fuzz::write_file("in.u", std::string("\x04\0\0\0\x01\0\0\0\x04\0\0\0", 12));

  const int status = fuzz::guarded([&] {
    if (a & 4) {
      fuzz::write_file("spec.ins", in.rest());
      OpenSpec spec;
      spec.file = "spec.ins";
      spec.status = "OLD";
      if (open_unit(10, spec) != 0) std::abort();
      openf(10);
      return;
    }
    for (int n = 0; n < 8 && !in.empty(); ++n) {
      const std::string_view spec = in.line();
      const int r = (a & 2) ? openfs(spec) : openfs_e(spec);
      if (r != 0 && r != 1) std::abort();
    }
  });
  if (status != -1 && status != 0 && status != 255) std::abort();
  fuzz::reset_library();
  fuzz::clean_work_dir();
  return 0;
}
