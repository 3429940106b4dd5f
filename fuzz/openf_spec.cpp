// The opener's specification strings in string mode (openfs_e, openfs), several strings
// one after another on the same opener state, with files in a scratch directory. Bit 2
// of the first byte reads the same lines in instruction mode (openf) instead. The open
// dialogue reads its answers from a standard input of the input's own.
//
// Input: byte 1: bit 0 sets openf_dbg (the trace), bit 1 uses openfs (a failed open ends
// the run) instead of openfs_e, bit 2 instruction mode, bit 3 sets tty (so that openf
// takes standard input for a terminal), bit 4 reads the instruction lines from standard
// input (openf(5)); then up to eight specification strings, one per line, or the
// instruction file; after the first NUL byte, standard input. Inputs with "/" or "~" are
// passed over: the environment holds neither, so every name stays a plain name in the
// work directory (or, through a directory prefix "..", in its parent, which is ours
// too). No shell runs and no terminal is connected (tty names no device; the dialogue
// only asks whether one is connected): see fuzz_support.cpp.
#include <cstdint>
#include <cstdlib>

#include <kvax/files/openf.h>
#include <kvax/io/units.h>

#include "fuzz_support.h"
#include "testing.h"

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
  if (a & 8) {
    ::setenv("tty", "fuzz", 1);
  } else {
    ::unsetenv("tty");
  }
  const std::string_view rest = in.rest();
  const std::size_t nul = rest.find('\0');
  // Never the fuzzer's own standard input: every answer comes from the input.
  // With bit 4 the instruction lines and the answers are one stream.
  feed_standard_input((a & 16) ? rest : nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1));
  fuzz::Bytes lines(reinterpret_cast<const std::uint8_t*>(rest.data()),
                    nul == std::string_view::npos ? rest.size() : nul);
  fuzz::write_file("in.dat", "         3         2 M CMPX M2          7\n");
  fuzz::write_file("in.u", std::string("\x04\0\0\0\x01\0\0\0\x04\0\0\0", 12));

  const int status = fuzz::guarded([&] {
    if (a & 16) {
      openf(5);
      return;
    }
    if (a & 4) {
      fuzz::write_file("spec.ins", lines.rest());
      OpenSpec spec;
      spec.file = "spec.ins";
      spec.status = "OLD";
      if (open_unit(10, spec) != 0) std::abort();
      openf(10);
      return;
    }
    for (int n = 0; n < 8 && !lines.empty(); ++n) {
      const std::string_view spec = lines.line();
      const int r = (a & 2) ? openfs(spec) : openfs_e(spec);
      if (r != 0 && r != 1) std::abort();
    }
  });
  if (status != -1 && status != 1 && status != 255) std::abort();
  fuzz::reset_library();
  feed_standard_input("");
  fuzz::clean_work_dir();
  return 0;
}
