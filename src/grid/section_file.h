// What the grid layer's reader and writer share: the values of a row, the places named in
// errors, and failures of the system in this layer's words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <kvax/grid.h>

namespace kvax::grid_detail {

// Values of a row of K cells (two a cell for complex sections).
inline std::size_t row_values(Element e, int k) {
  return k > 0 ? static_cast<std::size_t>(k) * static_cast<std::size_t>(traits(e).values) : 0;
}

// "row 418 of section 2 (M2)", "section 2 (M2)", "section 3": where a cause applies.
std::string place(int section, std::string_view tag, int row);

// Errors of the record layer (a FatalIo of a read or write) in the words of this layer.
[[noreturn]] void system_failure(ErrorCode code, const std::string& path, int error, std::string_view doing);

}  // namespace kvax::grid_detail
