// What the grid layer's reader and writer share: the file of a call with its errors.
#pragma once

#include <string>
#include <string_view>

#include <kvax/grid.h>

namespace kvax::grid_detail {

// "row 418 of section 2 (M2)", "section 2 (M2)", "section 3": where a cause applies.
std::string place(int section, std::string_view tag, int row);

// Errors of the record layer (a FatalIo of a read or write) in the words of this layer.
[[noreturn]] void system_failure(ErrorCode code, const std::string& path, int error, std::string_view doing);

}  // namespace kvax::grid_detail
