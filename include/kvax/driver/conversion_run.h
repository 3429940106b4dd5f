// The converter's run inside a calling program (kvax.out's main routine without the
// process around it). It uses the library's global state: one run at a time.
#pragma once

#include <string>

namespace kvax {

// Runs kvax with these arguments (argv[0] the program's name) and returns the exit status
// kvax.out would give: 0 after its job, 1 after another orderly stop, 255 after the fatal
// report. No signal handlers are installed and the standard descriptors are not guarded;
// the fatal report goes into `report` instead of standard error. Every unit is closed
// before it returns.
int kvax_run(int argc, const char* const* argv, std::string& report);

}  // namespace kvax
