// Entry points of the grid layer not built yet: each says so.
#include <kvax/grid.h>

namespace kvax {
namespace {
[[noreturn]] void not_built(const std::string& path, const char* what) {
  throw Error(ErrorCode::bad_argument, path, std::string(what) + " is not built yet");
}
}  // namespace

std::string_view element_word(Element e) {
  static constexpr std::string_view words[] = {"CMPX", "FLAG", "REAL", "DBLE", "LOG1"};
  return words[static_cast<int>(e)];
}
std::optional<Element> element_of_word(std::string_view word) {
  for (int i = 0; i < 5; ++i)
    if (element_word(static_cast<Element>(i)) == word) return static_cast<Element>(i);
  return std::nullopt;
}
std::size_t element_size(Element e) {
  static constexpr std::size_t sizes[] = {8, 4, 4, 8, 1};
  return sizes[static_cast<int>(e)];
}

Error::Error(ErrorCode code, std::string path, std::string cause, int section, std::string tag, int row,
             int system_error, std::vector<std::string> report)
    : std::runtime_error(path + ": " + cause),
      code_(code), path_(std::move(path)), cause_(std::move(cause)), section_(section), tag_(std::move(tag)),
      row_(row), errno_(system_error), report_(std::move(report)) {}
ErrorKind Error::kind() const noexcept {
  return code_ == ErrorCode::cannot_open || code_ == ErrorCode::read_failed || code_ == ErrorCode::write_failed
             ? ErrorKind::file
             : ErrorKind::content;
}

FileInfo describe(const std::string& path, const ReadOptions&) { not_built(path, "describe"); }
std::vector<SectionHeader> list_sections(const std::string& path, const ReadOptions&) { not_built(path, "list_sections"); }
std::vector<Section> read_sections(const std::string& path, const ReadOptions&) { not_built(path, "read_sections"); }
Section read_section(const std::string& path, std::string_view, const ReadOptions&) { not_built(path, "read_section"); }
void write_sections(const std::string& path, std::span<const Section>, const WriteOptions&) {
  not_built(path, "write_sections");
}
RunResult run_kvax(std::span<const std::string>, bool) { not_built("kvax", "run_kvax"); }

}  // namespace kvax
