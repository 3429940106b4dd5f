// The program's main routine: one conversion run from the start line to the stop.
#pragma once

#include <string>

namespace kvax {

// Runs kvax with these arguments and returns the exit status: 0 after every orderly
// stop, 255 after the fatal report. Every unit is flushed and closed before it returns.
int kvax_main(int argc, const char* const* argv);

// The same run inside a calling program: no signal handlers and no guard of the standard
// descriptors; the fatal report goes into `report` instead of standard error.
int kvax_run(int argc, const char* const* argv, std::string& report);

}  // namespace kvax
