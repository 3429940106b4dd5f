// The option loop of kvax and the derivation of the output file name.
#include "driver/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

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

// A warning on standard error: standard output stays as scripts know it.
void warn(std::string_view text) {
  std::string line = std::string(" <Main-->W> ").append(text).append("\n");
  for (std::size_t off = 0; off < line.size();) {
    const ssize_t r = ::write(2, line.data() + off, line.size() - off);
    if (r <= 0) break;
    off += static_cast<std::size_t>(r);
  }
}

// Argument n whole, not cut at the 64 characters of an option.
std::string whole_argument(int n) {
  const std::size_t length = program_argument_length(n);
  return std::string(trimmed(program_argument(n, std::max<std::size_t>(length, 1))));
}

constexpr std::size_t longest_tag = 16;
constexpr std::array<std::string_view, 5> own_options = {"all", "list", "tag", "help", "version"};

// Edits (insertions, deletions, changes) between two short words.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// What an argument of ours, or one that looks like ours, should have been: "--tag=K1",
// "--all" ...; empty when it is near none of them. `dashes` is the argument without its
// leading dashes; `next` the argument after it (a tag given after a blank).
std::string meant_option(std::string_view dashes, std::string_view next) {
  const std::size_t eq = dashes.find('=');
  std::string name(dashes.substr(0, eq));
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  std::string_view value = eq == std::string_view::npos ? std::string_view() : dashes.substr(eq + 1);
  if (name.starts_with("tag") && name.size() <= 4) {  // "tag", "tags"
    if (eq == std::string_view::npos && name == "tag" && !next.empty() && next[0] != '-') value = next;
    if (trim_len(value) == 0) return "--tag=T, T the tag";
    if (value.size() > longest_tag) return "--tag=T, T of at most 16 characters";
    return "--tag=" + std::string(value);
  }
  for (std::string_view option : own_options) {
    if (option == "tag") continue;
    if (name.empty()) break;
    if (option.starts_with(name) || name.starts_with(option) || (name.size() > 2 && edit_distance(name, option) <= 2))
      return "--" + std::string(option);
  }
  return {};
}

// An argument beginning with "--" that is not exactly one of ours: refused with a hint.
void refuse_own_option(const std::string& arg, int n) {
  const std::string hint = meant_option(std::string_view(arg).substr(2), whole_argument(n + 1));
  terminate_main("Refused option " + arg + ": " +
                 (hint.empty() ? std::string("the options of kvax that begin with -- are --all, --list, --tag=T, "
                                             "--help and --version")
                               : "write " + hint));
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
  std::vector<std::string> passed_names;  // input names that a later one replaced
  for (int n = 1;; ++n) {
    const Text arg = program_argument(n, 64);
    if (arg[0] == ' ') break;
    if (arg[0] != '-') {
      if (trim_len(s.input) > 0) passed_names.emplace_back(trimmed(s.input));
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
      // Every argument that begins with "--" is ours: one that is not exactly an option
      // of ours is refused, so that a misspelt one never runs as if it were not there.
      const std::string a = whole_argument(n);
      if (a == "--all") {
        s.all = true;
      } else if (a == "--list") {
        s.list = true;
      } else if (a.starts_with("--tag=") && trim_len(std::string_view(a).substr(6)) > 0 &&
                 a.size() - 6 <= longest_tag) {
        assign(s.wanted_tag, std::string_view(a).substr(6));
        s.tag_given = true;
      } else if (a != "--version") {
        refuse_own_option(a, n);
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
    } else {
      // Ignored, as always, but not in silence.
      const std::string a = whole_argument(n);
      const std::string hint = meant_option(std::string_view(a).substr(1), "");
      warn("Ignored argument: " + a + (hint.empty() ? "" : " (did you mean " + hint + "?)"));
    }
  }
  for (const std::string& name : passed_names)
    warn("Input name " + name + " ignored: the input is " + std::string(trimmed(s.input)));
  if (s.list) {
    // A listing writes no file: no output name is derived for it.
    if (trim_len(s.input) == 0) terminate_main("No input file name; give one");
  } else if (trim_len(s.output) == 0 && !derive_output_name(s)) {
    stop_run();
  }
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
