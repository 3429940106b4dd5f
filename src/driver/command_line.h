// The command line of kvax: run settings, the option loop, the usage text and the
// output name derived from the input name.
#pragma once

#include <string_view>

#include <kvax/io/program_arguments.h>  // the arguments, fetched by number
#include <kvax/text/text.h>

namespace kvax {

struct RunSettings {
  Text input = text("", 64);         // blank: no input name
  Text output = text("", 64);        // blank: derive from the input name
  Text rotation = text("", 8);       // the text after "-c"
  Text suffix = text("", 16);        // output suffix of the direction option
  int suffix_length = 0;
  bool reverse = false;
  bool rotate = false;
  bool formatted_to_unformatted = false;
  bool unformatted_to_unformatted = false;
  bool formatted_to_formatted = false;
  Text byte_order = text("^ ", 2);  // "% " with -BE
  int version = -999;               // -999: keep the version read
  int tag_length = 2;
  bool help = false;                // -h or --help: the usage text was written
  bool all = false;                 // --all: every section of the input
  bool list = false;                // --list: list the sections, write no file
  Text wanted_tag = text("", 16);   // --tag=T: the complex section with this tag
  bool tag_given = false;
};

// True when "--version" is among the options (before the first empty argument).
bool version_requested();

// Reads the arguments into the settings; may stop the run (missing value, a file name
// that is too long or holds a blank). After the usage text it returns at once with
// `help` set. The output name is derived when none was given.
RunSettings read_command_line();

// Derives the output name from the input name and the suffix; false when that is not
// possible (a " <Main-->T> " line says why).
bool derive_output_name(RunSettings& s);

}  // namespace kvax
