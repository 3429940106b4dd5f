// The whole command line and conversion run (kvax_main) on arbitrary argument lists and
// input files, in a scratch directory.
//
// Input: the arguments, one per line, up to the first empty line (at most 16); the rest
// is the file "in". Inputs whose arguments hold "/" or "~" are passed over: the
// environment holds neither, so every name stays in the work directory (or its parent,
// which is ours too).
//
// Besides the sanitizers, a run must end with status 0, 1 or 255 and leave the file "in"
// as it was, whatever the arguments name as output. A run that does not end with status 0
// leaves every existing output as it was (the names below, which cover the derived names
// of "in" and a few short ones), and no run leaves a new hidden file behind.
#include <dirent.h>

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

  static const char* const outputs[] = {"if", "it", "iu", "ia", "out", "o", "x", "in.f", "in.u"};
  for (const char* name : outputs) fuzz::write_file(name, std::string("precious ") + name);

  const int status = kvax_main(static_cast<int>(args.size()), argv.data());
  if (status != 0 && status != 1 && status != 255) std::abort();
  if (fuzz::read_file("in") != input) std::abort();
  if (status != 0) {
    for (const char* name : outputs)
      if (fuzz::read_file(name) != std::string("precious ") + name) std::abort();
  }
  if (DIR* d = ::opendir(".")) {
    while (const dirent* e = ::readdir(d))
      if (std::string_view(e->d_name).find(".kvax-") != std::string_view::npos) std::abort();
    ::closedir(d);
  }
  fuzz::reset_library();
  fuzz::clean_work_dir();
  return 0;
}
