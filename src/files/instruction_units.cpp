// Instruction input and terminal units: /CNCOI/ and the terminal layer's saved fields,
// the terminal's connection, the instruction file's name dialogue, open and label.
#include <kvax/files/instruction_units.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <kvax/files/openf.h>
#include <kvax/files/registry.h>
#include <kvax/io/clock.h>
#include <kvax/io/iostat.h>
#include <kvax/io/program_arguments.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/scan/keyed_values.h>
#include <kvax/scan/label_location.h>
#include <kvax/text/strings.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr std::size_t short_field = 32;      // device name, terminal type, default name
constexpr std::size_t answer_field = 65536;  // an answer is read whole, then its length checked
constexpr std::size_t label_answer = 24;     // the answer to a label not found
constexpr std::size_t comment_line = 256;    // a line of the program's comment block
constexpr int report_column = 54;            // where the date or "INSTRUCTION FILE" starts
constexpr std::string_view known_terms = "vt1_vt2_vt3_xte_hpt_hp _";

// The terminal layer's saved fields, shared by open_term, open_term_q, close_term and
// open_ins.
struct Terminal {
  int unit = 2;                 // -1: no terminal; -9: closed by close_term
  bool first_failure = true;    // open_ins may still fail once and ask again
  bool talk = false;            // informative lines are written
  int input = 5;                // answers come from here
  int output = 6;               // prompts go here
  Text device = Text(short_field, ' ');
  Text type = Text(short_field, ' ');
  Text default_name = Text(short_field, ' ');
  Text name = Text(ins_name_length, ' ');
};

struct State {
  Cncoi cncoi;
  Terminal term;
  int terminal_out = -999;  // terminal_out's saved unit; -999: not asked yet
};

State& state() {
  static State s;
  return s;
}

std::string env_value(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool one_of(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

// Without a device the terminal is standard input and output.
void no_terminal(Terminal& t) {
  if (t.talk) write_fmt(6, "(2A,I3)", " <OpenIn>>> No tty declared. We will use units 5 and 6 ", "instead of ", t.unit);
  t.unit = -1;
}

// The terminal's device and type, and its connection (the detection).
void connect_terminal(Terminal& t) {
  std::string device(trimmed(env_value("tty")));
  if (device.empty()) {
    no_terminal(t);
    return;
  }
  if (!device.starts_with("/dev/")) {
    device.insert(0, "/dev/");
    write_fmt(6, "(3A)", " <OpenIn>>> Your terminal: ", device, " (I suppose)");
  }
  Text work = text(device, device.size());
  replace_in_string(work, "pty/pty", "pty", 1, 0);
  replace_in_string(work, "pts/pty", "pts", 1, 0);
  replace_in_string(work, "pts/pts", "pts", 1, 0);
  device = trimmed(work);
  // A terminal is a character device: a plain file (or a directory, a FIFO) named by tty
  // would take the prompts over what it holds, so it counts as no terminal declared.
  if (struct stat st {}; ::stat(device.c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
    write_fmt(6, "(2A)", " <OpenIn>W> Not a terminal: ", device);
    no_terminal(t);
    return;
  }
  assign(t.device, device);

  assign(t.type, env_value("term"));
  bool known = sub(t.type, 1, 2) == "hp";
  for (std::size_t g = 0; g + 3 <= known_terms.size() && !known; g += 4)
    known = sub(t.type, 1, 3) == known_terms.substr(g, 3);
  if (!known) {
    write_fmt(6, "(4A)", " <OpenIn>E> Unknown term type: ", "\"", trimmed(t.type), "\"");
    write_fmt(6, "(A)", " <OpenIn>I> Issue the following unix command in this terminal window:");
    write_fmt(6, "(A)", "            setenv term vt100");
    write_fmt(6, "(A)", " <OpenIn>I> or anyway set term in environment.");
  }
  // The device must exist: a missing one is not made a plain file that prompts would go
  // into. A path longer than its field is refused: cut, it would name another device.
  const int ios =
      device.size() <= short_field ? open_unit(t.unit, OpenSpec{.file = device, .status = "OLD"}) : ENAMETOOLONG;
  if (ios != 0) {
    write_fmt(6, "(A,I5,A,I3,5A)", " <OpenIn>T> ERR ", ios, " Terminal unit:", t.unit, ".  Name ->", device, " <&> ",
              t.type, "<-");
    stop_run();
  }
  if (t.talk) write_fmt(6, "(3A,I3)", " <OpenIn>>> Open Terminal: ", device, ", unit was ", t.unit);
}

// Answers from the terminal unit, or from standard input and output without one.
void use_terminal_units(Terminal& t) {
  if (t.unit < 1) {
    t.input = 5;
    t.output = 6;
  } else {
    t.input = t.output = t.unit;
  }
}

void open_term_with(int& unit, bool talk) {
  Terminal& t = state().term;
  t.talk = talk;
  if (unit > 0) t.unit = unit;
  if (unit == -1) {
    if (t.unit > 0 && is_connected(t.unit)) {
      unit = t.unit;
    } else if (talk) {
      write_fmt(6, "(A,I3)", " <OpenTe>>> Not open, unit was ", t.unit);
    }
    return;
  }
  t.input = t.unit < 1 ? 5 : t.unit;
  if (is_connected(t.input)) return;
  connect_terminal(t);
  use_terminal_units(t);
}

// ---- open_ins ------------------------------------------------------------------------

// Where a name comes from decides what a name or label too long for its field does.
enum class Source { terminal, command_line };

// Refuses a name or label longer than its field: at the terminal it is asked for again
// (false), from the command line the run ends.
bool refuse(const Terminal& t, Source from, std::string_view what, int limit) {
  if (from == Source::command_line) {
    write_fmt(6, "(3A,I3,A)", " <OpenIn>T> ", what, " from the command line longer than ", limit, " characters");
    stop_run();
  }
  write_fmt(t.output, "(3A,I3,A)", " <OpenIn>W> ", what, " longer than ", limit, " characters; give a shorter one.");
  return false;
}

// Reads one answer line whole from the input unit; no end branch: an end of input is the
// record layer's fatal report.
std::string read_answer(const Terminal& t) {
  if (t.output != t.input) flush_unit(t.output);  // the prompt is shown before the wait
  Text answer(answer_field, ' ');
  read_fmt(t.input, want_none, "(A)", answer);
  return std::string(trimmed(answer));
}

// The comment block of the program's own file (the unit-0 entry): every line beginning
// with "c" or "C", without it, up to a line beginning "c_" or "C_"; then the run ends.
[[noreturn]] void show_comment_block(const Terminal& t) {
  Text program(registry_entry_length, ' ');
  get_file_name(0, program);
  openfs("21 R " + program);
  Text line(comment_line, ' ');
  while (read_fmt(21, want_end, "(A)", line) == Io::ok) {
    if ((line[0] == 'c' || line[0] == 'C') && line[1] == '_') break;
    if (line[0] == 'c' || line[0] == 'C') write_fmt(t.output, "(A)", sub(line, 2, trim_len(line)));
  }
  stop_run();
}

// The name given by the command line: argument 1 without its "!", and argument 2 after a
// blank when it begins with ">".
std::string command_line_name(const Terminal& t) {
  if (program_argument_length(1) > ins_name_length || program_argument_length(2) > ins_name_length)
    refuse(t, Source::command_line, "Argument", ins_name_length);
  std::string name(trimmed(program_argument(1, ins_name_length)));
  if (name.starts_with("!")) name.erase(0, 1);
  const Text second = program_argument(2, ins_name_length);
  if (second[0] == '>') name.append(" ").append(trimmed(second));
  if (name.size() > static_cast<std::size_t>(ins_name_length)) refuse(t, Source::command_line, "Name", ins_name_length);
  write_fmt(6, "(3A)", " <OpenIn>>> From command line ->", name, "<-");
  return name;
}

// Stores the label after ">" (up to the first of the terminators that occurs at all, in
// their order) in /CNCOI/; false when it is too long for its field.
bool take_label(const Terminal& t, Source from, std::string_view text, std::string_view terminators) {
  Text label(ins_name_length, ' ');
  int pos = 0, length = 0;
  q_substring(text, ">", terminators, label, pos, length);
  if (length > ins_label_length) return refuse(t, from, "Label", ins_label_length);
  Cncoi& c = state().cncoi;
  assign(c.label, sub(label, 1, length));
  c.label_length = length;
  return true;
}

bool terminal_input_name(std::string_view name) {
  Text head(4, ' ');
  ucase(sub(name, 1, 4), head);
  return head == "CON:" || head == "TRM:" || head == "TER:" || head == "TTY:" || name.starts_with(":");
}

// Places unit iu at the label of /CNCOI/, asking what to do while it is not found.
void locate_label(Terminal& t, int iu) {
  Cncoi& c = state().cncoi;
  for (;;) {
    const std::string label(sub(c.label, 1, c.label_length));
    if (qloc_in_file(iu, label, " ")) {
      if (t.output != 6) write_fmt(t.output, "(2A)", " <OpenIn>>> Located at ", label);
      write_fmt(6, "(2A)", " <OpenIn>>> Located at ", label);
      c.located = located_in_file();
      return;
    }
    write_fmt(t.output, "(2A)", " <OpenIn>E> Not found: ", label);
    for (;;) {
      write_fmt(t.output, "(A,$)", " <OpenIn>?> Stop | Rewind | Cont | >text");
      const std::string answer = read_answer(t);
      const char a = answer.empty() ? ' ' : answer[0];
      if (!one_of(a, "cCrR>")) {
        write_list(6, "<OpenIn>T> USER");
        stop_run();
      }
      if (a != '>') {
        rewind_unit(iu);
        return;
      }
      if (take_label(t, Source::terminal, sub(answer, 1, label_answer), "]$ ")) break;
    }
    rewind_unit(iu);
  }
}

// " <OpenIn>>> ", the unit and the name, then the tail from column 54 (after the name
// when the name reaches that far, so that it is shown whole).
std::string open_line(int iu, std::string_view name, std::string_view tail) {
  Text unit(2, ' ');
  write_fmt_text(unit, "(I2)", iu);
  std::string line = " <OpenIn>>> " + unit + ":  " + std::string(name);
  if (line.size() < report_column - 1) line.resize(report_column - 1, ' ');
  return line.append(tail);
}

// The name completed as a file name; false when that makes it too long (refused).
bool complete_name(Terminal& t, Source from, std::string& name) {
  if (name.empty()) name = trimmed(t.default_name);
  if (name.ends_with("/")) name.append(trimmed(t.default_name));
  if (name.size() > static_cast<std::size_t>(ins_name_length)) return refuse(t, from, "Name", ins_name_length);
  return true;
}

void add_extension(std::string& name) {
  if (name.ends_with("\"") || name.ends_with("'")) {
    name.erase(name.find(name.back()), 1);
    return;
  }
  const std::size_t slash = name.rfind('/');
  if (name.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos) name.append(".ins");
}

// The failure of the open: help and another try the first time, the end of the run after.
void open_failed(Terminal& t, const std::string& name) {
  if (!t.first_failure) {
    const int length = static_cast<int>(name.size());
    const int tail = index_l(text(name, name.size()), "/") + 1;
    const std::size_t dot = name.find('.', static_cast<std::size_t>(tail - 1));
    write_fmt(6, "(3A,3I4)", " <OpenIn>T> ERR: >", text(name, ins_name_length), "<  Dot, length, tail=", length,
              dot == std::string::npos ? length : static_cast<int>(dot) + 1, tail);
    write_list(6, "<OpenIn>T> ERR for the second time.");
    stop_run();
  }
  t.first_failure = false;
  if (t.output < 1 || t.unit < 1) {
    write_list(6, "<OpenIn>T> Trouble ", t.name, t.device, t.type, t.input, t.output, t.unit);
    write_list(6, "<OpenIn>T> Trouble");
    stop_run();
  }
  write_fmt(t.output, "(2A)", " <OpenIn>W> ERR:  ", name);
  for (std::string_view help : {
           " <OpenIn>I> At the prompt, you have the following alternatives:",
           " <OpenIn>I> (1) Specify entire name of the instruction file ",
           " <OpenIn>I>     (criterion: name contains \".\" or use ' ' as delimiters).",
           " <OpenIn>I> (2) Specify first part (no dot) - \".ins\" will be appended.",
           " <OpenIn>I> (3) Specify a path (must be right-delimited by \"/\") -",
           " <OpenIn>I>     the default name shown will be appended.",
           " <OpenIn>I> (4) Specify TER: or TRM: for terminal input;",
           " <OpenIn>W>     Not all programs allow that though.",
           " <OpenIn>I> (5) Specify \"$\"; the string alt.(1)...(4) will be",
           " <OpenIn>I>     from the argument list of the program launch.",
       })
    write_fmt(t.output, "(A)", help);
}

}  // namespace

Cncoi cncoi() { return state().cncoi; }

void open_term(int& unit) { open_term_with(unit, true); }

void open_term_q(int& unit) { open_term_with(unit, false); }

void close_term() {
  Terminal& t = state().term;
  if (t.unit > 0 && t.unit != 5) close_unit(t.unit);
  t.unit = -9;
}

int terminal_out(int renew) {
  int& saved = state().terminal_out;
  if (renew != 0) saved = -999;
  if (saved == -999) {
    int unit = -1;
    open_term(unit);
    saved = unit == 5 || unit < 1 || unit > 99 ? 6 : unit;
  }
  return saved;
}

void open_ins(int& iu, std::string_view default_name) {
  State& s = state();
  Terminal& t = s.term;
  if (trim_len(default_name) > static_cast<int>(short_field)) {
    write_list(6, "<OpenIn>T> Default name longer than 32 characters");
    stop_run();
  }
  assign(t.default_name, default_name);
  if (trimmed(t.default_name).ends_with("/")) {
    write_list(6, "<OpenIn>T> Illegal default name");
    stop_run();
  }

  // The terminal, unless the command line names the file.
  t.talk = true;
  const Text first = program_argument(1, 2);
  const bool from_arguments = first[0] == '!';
  t.input = t.unit < 1 ? 5 : t.unit;
  if (from_arguments) {
    // No terminal is set up: answers wanted later come from standard input.
    if (!is_connected(t.input)) t.input = 5;
  } else {
    if (!is_connected(t.input)) connect_terminal(t);
    use_terminal_units(t);
  }

  std::string name;
  bool label_given = false;
  for (;;) {
    // Settle the name.
    Source from = Source::terminal;
    if (from_arguments) {
      name = first[1] == '?' ? "?" : "$";
      t.output = 6;
    } else {
      write_fmt(t.output, "(4A,$)", " ", "> *.ins file (", trimmed(t.default_name), ")> ");
      name = read_answer(t);
      if (name.size() > static_cast<std::size_t>(ins_name_length)) {
        refuse(t, from, "Name", ins_name_length);
        continue;
      }
    }
    if (name == "?") show_comment_block(t);
    if (name == "$") {
      name = command_line_name(t);
      from = Source::command_line;
    }

    label_given = false;
    if (const std::size_t gt = name.find('>'); gt != std::string::npos) {
      if (!take_label(t, from, name, "$] ")) continue;
      label_given = s.cncoi.label_length > 0;
      name.resize(gt);
      name = trimmed(name);
    }
    if (!complete_name(t, from, name)) continue;
    if (terminal_input_name(name)) {
      iu = 5;
      write_fmt(t.output, "(A)", " <OpenIn>>> Expecting instruction input from the terminal !");
      flush_unit(t.output);
      return;
    }
    write_fmt(6, "(A)", " ");
    add_extension(name);
    if (name.size() > static_cast<std::size_t>(ins_name_length)) {
      refuse(t, from, "Name", ins_name_length);
      continue;
    }
    assign(t.name, name);
    if (open_unit(iu, OpenSpec{.file = name, .status = "OLD"}) == 0) break;
    open_failed(t, name);
  }

  s.cncoi.located = 0;
  if (label_given) locate_label(t, iu);
  Text day(10, ' '), time(8, ' ');
  my_date(day);
  my_time(time);
  write_fmt(6, "(A)", open_line(iu, name, " - on " + day + " " + time));
  write_fmt(t.output, "(A)", open_line(iu, name, " - INSTRUCTION FILE"));
  flush_unit(t.output);  // a terminal shows the line now, not when the unit is next used
  save_file_name(iu, name);
}

int rewind_ins(int iu) {
  // A unit that is not connected cannot be rewound either.
  if (!is_connected(iu) || rewind_unit(iu) != 0) {
    write_fmt(6, "(A,I2)", " <RewIns>E> Cannot rewind #", iu);
    return 1;
  }
  Cncoi& c = state().cncoi;
  if (c.label_length > 0) {
    const std::string label(sub(c.label, 1, c.label_length));
    if (!qloc_in_file(iu, label, " ")) {
      write_fmt(6, "(A,I2.2,4A)", " <RewIns>T> Unit #", iu, " Cannot locate label: ", "\"", label, "\"");
      stop_run();
    }
    c.located = located_in_file();
  }
  return 0;
}

void instruction_units_reset_for_tests() { state() = State(); }

}  // namespace kvax
