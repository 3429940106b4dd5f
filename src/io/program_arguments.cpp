// The command-line arguments kept for fetching by number.
#include <kvax/io/program_arguments.h>

#include <string>
#include <vector>

namespace kvax {
namespace {

std::vector<std::string>& arguments() {
  static std::vector<std::string> args;
  return args;
}

}  // namespace

void set_program_arguments(int argc, const char* const* argv) {
  auto& args = arguments();
  args.clear();
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

Text program_argument(int n, std::size_t length) {
  const auto& args = arguments();
  if (n < 0 || n >= static_cast<int>(args.size())) return text("", length);
  return text(args[static_cast<std::size_t>(n)], length);
}

std::size_t program_argument_length(int n) {
  const auto& args = arguments();
  if (n < 0 || n >= static_cast<int>(args.size())) return 0;
  return args[static_cast<std::size_t>(n)].size();
}

}  // namespace kvax
