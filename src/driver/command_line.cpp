// The option loop of kvax and the derivation of the output file name.
#include "driver/command_line.h"

#include <algorithm>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax {
namespace {

constexpr std::string_view usage[] = {
    "",
    " USAGE:   kvax.out [options] [-o outputfile ] inputfile",
    "",
    " PURPOSE: VARN type complex array copy ",
    "          formatted to unformatted",
    "       or unformatted to formatted",
    "",
    " OPTIONS:",
    " -l#s     - character length of tide symbols [default s=2]",
    " -r       - reverse latitude order north-south",
    " -ch      - rotate cylindrically one half turn",
    " -c#n     - rotate cylindrically n towards west",
    " -v#n     - output array version number",
    " -o file  - output file name",
    " -f2u[s]  - formatted to unformatted, [default s='t']",
    " -u2f[s]  - unformatted to formatted, [default s='f']",
    "            s - (string) for output, use input file name and",
    "                replace tail with s.",
    " -BE      - read unformatted data with CONVERT=BIG ENDIAN",
    "",
    " OBS! No blanks in options except after -o",
    "",
};

// After the usage text, for --help: the options that begin with "--".
constexpr std::string_view additions[] = {
    " MORE OPTIONS:",
    " --all     - convert every section of the input, each with its own",
    "             element type (CMPX, FLAG, REAL, DBLE, LOG1)",
    " --tag=T   - convert the complex section whose tag is T",
    " --list    - list the sections of the input; write no file",
    " --version - write the version and stop",
    " --help    - write this text and stop",
    "",
};

void terminate_main(std::string_view text) {
  write_fmt(6, "(A)", std::string(" <Main-->T> ") + std::string(text));
  stop_run();
}

// A file name from argument n, from its character `from` (1-based) on. A name that does
// not fit its field whole, or that holds a blank (which would end it and start the
// comment of the file specification string), is refused: cut, it would name another file.
Text file_name_argument(int n, std::size_t from) {
  const std::size_t length = program_argument_length(n);
  const Text whole = program_argument(n, std::max<std::size_t>(length, 1));
  const std::string_view name = std::string_view(whole).substr(std::min(from - 1, whole.size()));
  if (length >= from && length - from + 1 > 64)
    terminate_main("File name longer than 64 characters: " + std::string(name));
  if (length >= from && name.find(' ') != std::string_view::npos)
    terminate_main("File name holds a blank: " + std::string(name));
  return text(name, 64);
}

// A direction option: its flags are set by the caller; the suffix is the argument from
// its fifth character, or the default one.
void direction_suffix(RunSettings& s, const Text& arg, std::string_view default_suffix) {
  if (at(arg, 5) != ' ') {
    assign(s.suffix, sub(arg, 5, 64));
    s.suffix_length = trim_len(s.suffix);
  } else {
    assign(s.suffix, default_suffix);
    s.suffix_length = 1;
  }
}

}  // namespace

bool version_requested() {
  for (int n = 1;; ++n) {
    const Text arg = program_argument(n, 64);
    if (arg[0] == ' ') return false;
    if (trimmed(arg) == "--version") return true;
  }
}

RunSettings read_command_line() {
  RunSettings s;
  for (int n = 1;; ++n) {
    const Text arg = program_argument(n, 64);
    if (arg[0] == ' ') break;
    if (arg[0] != '-') {
      s.input = file_name_argument(n, 1);
      continue;
    }
    const std::string_view a2 = sub(arg, 1, 2);
    const std::string_view a4 = sub(arg, 1, 4);
    if (a2 == "-h" || trimmed(arg) == "--help") {
      for (std::string_view line : usage) write_fmt(6, "(A)", line);
      if (trimmed(arg) == "--help")
        for (std::string_view line : additions) write_fmt(6, "(A)", line);
      s.help = true;
      return s;
    } else if (a2 == "--") {
      // Room for additions to the command line: those not defined are ignored.
      const std::string_view a = trimmed(arg);
      if (a == "--all") {
        s.all = true;
      } else if (a == "--list") {
        s.list = true;
      } else if (a.starts_with("--tag=")) {
        assign(s.wanted_tag, a.substr(6));
        s.tag_given = true;
      }
    } else if (a2 == "-l") {
      read_list_text(sub(arg, 3, 64), want_none, s.tag_length);
    } else if (a2 == "-r") {
      s.reverse = true;
    } else if (a2 == "-c") {
      s.rotate = true;
      assign(s.rotation, sub(arg, 3, 64));
    } else if (sub(arg, 1, 3) == "-BE") {
      assign(s.byte_order, "% ");
    } else if (a2 == "-o") {
      if (at(arg, 3) == ' ') {
        s.output = file_name_argument(++n, 1);
      } else {
        s.output = file_name_argument(n, 3);
      }
    } else if (a2 == "-v") {
      const std::string_view value = sub(arg, 3, 64);
      if (trim_len(value) == 0) terminate_main("Numerical argument required");
      read_list_text(value, want_none, s.version);
    } else if (a4 == "-f2u") {
      s.formatted_to_unformatted = true;
      s.unformatted_to_unformatted = false;
      direction_suffix(s, arg, "t");
    } else if (a4 == "-u2f") {
      s.formatted_to_unformatted = false;
      s.unformatted_to_unformatted = false;
      direction_suffix(s, arg, "f");
    } else if (a4 == "-u2u") {
      s.formatted_to_unformatted = false;
      s.unformatted_to_unformatted = true;
      direction_suffix(s, arg, "u");
    } else if (a4 == "-f2f") {
      s.formatted_to_unformatted = false;
      s.formatted_to_formatted = true;
      direction_suffix(s, arg, "a");
    }
  }
  if (trim_len(s.output) == 0 && !derive_output_name(s)) stop_run();
  return s;
}

bool derive_output_name(RunSettings& s) {
  if (s.suffix_length == 0) {
    // No direction option: the default direction writes formatted output, suffix "f".
    assign(s.suffix, "f");
    s.suffix_length = 1;
  }
  if (trim_len(s.input) == 0) {
    write_fmt(6, "(A)", " <Main-->T> No input file name; give one, and -o for the output");
    return false;
  }
  const std::size_t p = s.input.find(' ');  // first blank, 0-based
  if (p == std::string::npos) {
    write_fmt(6, "(A)", " <Main-->T> Input file name too long to derive the output name; use -o");
    return false;
  }
  if (p < static_cast<std::size_t>(s.suffix_length)) {
    write_fmt(6, "(A)", " <Main-->T> Input file name shorter than the output suffix; use -o");
    return false;
  }
  Text out = s.input;
  const std::size_t from = p - static_cast<std::size_t>(s.suffix_length);
  out.replace(from, out.size() - from, out.size() - from, ' ');
  put(out, static_cast<long>(from) + 1, sub(s.suffix, 1, s.suffix_length));
  if (out == s.input) {
    write_fmt(6, "(2A)", " <Main-->T> Output name equals the input name; use -o: ", trimmed(out));
    return false;
  }
  s.output = out;
  return true;
}

}  // namespace kvax
