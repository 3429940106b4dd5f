// The whole command line and conversion run (kvax_main) on arbitrary argument lists and
// input files, in a scratch directory.
//
// Input: the arguments, one per line, up to the first empty line (at most 16); the rest
// is the file "in". Inputs whose arguments hold "/" or "~" are passed over: the
// environment holds neither, so every name stays in the work directory (or its parent,
// which is ours too).
//
// Besides the sanitizers, a run must end with status 0 or 255 and leave the file "in" as
// it was, whatever the arguments name as output.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/run.h"
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
  std::vector<std::string> args{"kvax.out"};
  for (;;) {
    if (in.empty()) break;
    const std::string_view a = in.line();
    if (a.empty()) break;
    if (a.find_first_of("/~") != std::string_view::npos) return -1;
    if (args.size() > 16) return -1;
    args.emplace_back(a);
  }
  const std::string input(in.rest());
  fuzz::write_file("in", input);
  std::vector<const char*> argv;
  for (const auto& s : args) argv.push_back(s.c_str());
  argv.push_back(nullptr);

  const int status = kvax_main(static_cast<int>(args.size()), argv.data());
  if (status != 0 && status != 255) std::abort();
  if (fuzz::read_file("in") != input) std::abort();
  fuzz::reset_library();
  fuzz::clean_work_dir();
  return 0;
}
