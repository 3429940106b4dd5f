// The process's command-line arguments, fetched by number as the program and the
// library read them. main hands them over once; library callers and tests may set their
// own. Argument 0 is the program name.
#pragma once

#include <cstddef>

#include <kvax/text/text.h>

namespace kvax {

// Keeps copies of the arguments for the fetches below (replacing any set before).
void set_program_arguments(int argc, const char* const* argv);

// Argument n blank-padded or cut to a field of `length`; a missing one reads as blanks.
Text program_argument(int n, std::size_t length);

// The length of argument n as given, 0 for a missing one: what a field of a given length
// would cut off can be refused instead.
std::size_t program_argument_length(int n);

}  // namespace kvax
