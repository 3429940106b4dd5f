// The start line of a run ("0<StTiMe>>> kvax on host=node17   at 2026-12-08 06:19:18")
// and the date and time texts, all read from one clock that tests can fix.
#pragma once

#include <ctime>
#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// The clock: local time, read afresh on every query.
using clock_reader = std::tm (*)();
std::tm read_clock();
// Tests only: fixes the clock; nullptr returns to the system's local time.
void set_clock_for_tests(clock_reader reader);

// The 24-character clock text, e.g. "Tue Dec  8 06:19:18 2026".
Text fdate();
// "2026-Dec- 8" (11 characters), "2026-12-08" (10), "06:19:18" (8); each assigned to out.
void date(Text& out);
void my_date(Text& out);
void my_time(Text& out);

// Writes the start line to unit 6 (or the given unit) and registers the program name,
// up to a "]" or "$" in it, as the file name of unit 0. The line shows the name after its
// last "/" and the host from HOST cut or padded to 8 characters.
void start_time_message(std::string_view program);
void write_start_time_message(int unit, std::string_view program);

}  // namespace kvax
