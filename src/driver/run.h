// The program's main routine: one conversion run from the start line to the stop.
#pragma once

#include <kvax/driver/conversion_run.h>

namespace kvax {

// Runs kvax with these arguments and returns the exit status: 0 after every orderly
// stop, 255 after the fatal report. Every unit is flushed and closed before it returns.
int kvax_main(int argc, const char* const* argv);

}  // namespace kvax
