// The start line of a run ("0<StTiMe>>> kvax on host=node17   at 2026-12-08 06:19:18"),
// its date and time read from the clock of <kvax/io/clock.h>.
#pragma once

#include <string_view>

#include <kvax/io/clock.h>  // the clock and the date and time texts of the line
#include <kvax/text/text.h>

namespace kvax {

// Writes the start line to unit 6 (or the given unit) and registers the program name,
// up to a "]" or "$" in it, as the file name of unit 0. The line shows the name after its
// last "/" and the host from HOST cut or padded to 8 characters.
void start_time_message(std::string_view program);
void write_start_time_message(int unit, std::string_view program);

}  // namespace kvax
