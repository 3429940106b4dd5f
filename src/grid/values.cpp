// Sections as values: element types, the value buffer, the section and the error.
#include <kvax/grid.h>

#include <sys/mman.h>

#include <cstdint>


namespace kvax {

std::string_view element_word(Element e) { return traits(e).word; }

std::optional<Element> element_of_word(std::string_view word) {
  Element e;
  if (!element_of_word(word, e)) return std::nullopt;
  return e;
}

std::size_t element_size(Element e) { return traits(e).bytes; }

Error::Error(ErrorCode code, std::string path, std::string cause, int section, std::string tag, int row,
             int system_error, std::vector<std::string> report)
    : std::runtime_error(path.empty() ? cause : path + ": " + cause),
      code_(code),
      path_(std::move(path)),
      cause_(std::move(cause)),
      section_(section),
      tag_(std::move(tag)),
      row_(row),
      errno_(system_error),
      report_(std::move(report)) {}

ErrorKind Error::kind() const noexcept {
  switch (code_) {
    case ErrorCode::cannot_open:
    case ErrorCode::read_failed:
    case ErrorCode::write_failed:
      return ErrorKind::file;
    default:
      return ErrorKind::content;
  }
}

ValueBuffer::ValueBuffer(std::size_t n) : p_(n ? new std::byte[n] : nullptr), n_(n) {
  // A large grid is first touched by the rows read into it: transparent huge pages cut the
  // cost of that first touch many times over (the allocator maps such a buffer by itself,
  // so the pages inside it are the buffer's alone).
  constexpr std::size_t huge = std::size_t{2} << 20;
  if (n >= 2 * huge) {
    const auto at = (reinterpret_cast<std::uintptr_t>(p_.get()) + huge - 1) / huge * huge;
    const auto end = (reinterpret_cast<std::uintptr_t>(p_.get()) + n) / huge * huge;
    if (end > at) ::madvise(reinterpret_cast<void*>(at), end - at, MADV_HUGEPAGE);
  }
}

Section::Section(Element e, int k, int l, char grid, std::string tag, int version)
    : element(e), grid(grid), tag(std::move(tag)), version(version), k(k), l(l) {
  if (count() > SIZE_MAX / element_size(e))
    throw Error(ErrorCode::bad_argument, {},
                "a section of " + std::to_string(k) + " x " + std::to_string(l) + " values does not fit memory");
  values = ValueBuffer(count() * element_size(e));
  if (values.size()) std::fill_n(values.data(), values.size(), std::byte{0});
}

std::size_t Section::count() const noexcept {
  return k > 0 && l > 0 ? static_cast<std::size_t>(k) * static_cast<std::size_t>(l) : 0;
}

void Section::check(Element e) const {
  if (e != element)
    throw Error(ErrorCode::bad_argument, {},
                "values of " + std::string(element_word(e)) + " asked of a " + std::string(element_word(element)) +
                    " section");
  if (values.size() != count() * element_size(element))
    throw Error(ErrorCode::bad_argument, {},
                "a section of " + std::to_string(k) + " x " + std::to_string(l) + " values holds " +
                    std::to_string(values.size()) + " bytes");
}

std::size_t Section::index(int row, int cell) const {
  if (row < 1 || row > l || cell < 1 || cell > k)
    throw Error(ErrorCode::bad_argument, {},
                "cell " + std::to_string(cell) + " of row " + std::to_string(row) + " is outside the grid of " +
                    std::to_string(k) + " x " + std::to_string(l));
  return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(k) + static_cast<std::size_t>(cell - 1);
}

}  // namespace kvax
