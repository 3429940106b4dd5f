// The library's seams for its own tests, fuzz targets and benchmarks: standard input and
// output put over memory, a fixed clock, and the shared records set back to their state at
// program load. Not installed; no program of the library calls them.
#pragma once

#include <string>
#include <string_view>

#include <kvax/io/clock.h>

namespace kvax {

// Standard output (unit 6) writes into *sink instead of file descriptor 1 while it is set
// (a memory store under the unit's buffer); nullptr restores the descriptor.
void capture_standard_output(std::string* sink);
// Standard input (unit 5) reads from this text instead of file descriptor 0.
void feed_standard_input(std::string_view text);
// Fixes the clock; nullptr returns to the system's local time.
void set_clock_for_tests(clock_reader reader);

// Each shared record as at program load:
void iomsg_reset_for_tests();              // every unit reported again, the check code 0
void label_location_reset_for_tests();     // the label search's settings and switches
void registry_reset_for_tests();           // the file-name registry emptied
void openf_reset_for_tests();              // the opener's state
void instruction_units_reset_for_tests();  // /CNCOI/ and the terminal layer's fields
void coz_reset_for_tests();                // /COZ/, /COZC/, the report and the out-of-pool count

}  // namespace kvax
