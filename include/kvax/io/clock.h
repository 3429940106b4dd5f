// The clock of the run, read afresh on every query, and the date and time texts of
// messages ("2026-12-08", "06:19:18").
#pragma once

#include <ctime>

#include <kvax/text/text.h>

namespace kvax {

// The clock: local time, read afresh on every query.
using clock_reader = std::tm (*)();
std::tm read_clock();

// The 24-character clock text, e.g. "Tue Dec  8 06:19:18 2026".
Text fdate();
// "2026-Dec- 8" (11 characters), "2026-12-08" (10), "06:19:18" (8); each assigned to out.
void date(Text& out);
void my_date(Text& out);
void my_time(Text& out);

}  // namespace kvax
