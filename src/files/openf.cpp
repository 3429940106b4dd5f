// The file opener: its one state record, the line cycle of string and instruction mode,
// the open of a unit with its report lines, and the open dialogue on the same record.
#include <kvax/files/openf.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

#include <kvax/env/envars.h>
#include <kvax/files/instruction_units.h>
#include <kvax/files/registry.h>
#include <kvax/files/skip_to_end.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/screen/text_screen.h>
#include <kvax/text/strings.h>
#include <kvax/text/text.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr std::size_t line_length = 256;     // a specification line; PRMPTM
constexpr std::size_t name_length = 80;
constexpr std::size_t name_cut = 64;         // the file name of a line is cut here
constexpr std::size_t comment_length = 64;
constexpr std::size_t dfn_length = 128;
// Home and DIR are as long as the derived name itself, so that a long path is never cut
// into the name of another file: what does not fit DFN fails the open instead.
constexpr std::size_t path_length = dfn_length;
constexpr std::size_t ins_name_length = 64;  // a registry entry
constexpr std::string_view line_format = "(I2,1X,A1,A1,A)";
constexpr std::string_view help_command = "cut -c3-99 /home/kpl/util/openf.cmt";

// The opener's state: lives for the run; each entry resets part of it.
struct Opener {
  bool error_return = false;  // openfs_e: a failed open returns 1
  bool trace = false;         // openf_dbg is set
  int trace_unit = 6;         // until openf names one (default 99)
  bool qia5 = false;          // standard input is a terminal (tty set)
  bool qprmpt = false;        // prompting is active
  bool qfs = false;           // string mode
  int nerr = 0;               // failed opens of the instruction sequence
  bool unit4_rewound = false;
  int iun = -1;               // instruction unit; -1 in string mode
  int iuu = -1;               // unit being prompted for
  int iuu_saved = -1;
  int iupr = 5;               // the dialogue reads answers from here
  int iuo = 6;                // ... and writes prompts here
  Text prmptm = Text(line_length, ' ');

  // The current line.
  int iu = 0;
  char opt = ' ';
  char mod = ' ';
  Text field = Text(line_length, ' ');  // name field: file name and comment
  Text name = Text(name_length, ' ');
  int name_len = 0;
  Text comment = Text(comment_length, ' ');
  int comment_len = 0;

  Text dir = Text(path_length, ' ');  // directory prefix of option D, "/"-terminated
  int dir_len = 0;
  Text home = Text(path_length, ' ');
  int home_len = 0;
  Text ins_name = Text(ins_name_length, ' ');  // registered name of unit iun
  int ins_slash = 0;                           // its last "/"

  int record_framing = -1;  // 1 for the modifier "."
  Text dfn = Text(dfn_length, ' ');
  std::string_view status = "UNKNOWN";
  std::string_view form = "FORMATTED";
  std::string_view convert = "LITTLE_ENDIAN";
  bool read_only = false;
  bool at_end = false;
  int ios = 0;
  // The current line came from PRMPTM, whose references were replaced already: a second
  // pass would undo the escape "\$" and expand a value that holds "$".
  bool line_replaced = false;
  std::string refused;  // a file name refused as longer than 64 characters
};

Opener& opener() {
  static Opener s;
  return s;
}

// What acting on a line leads to.
enum class Next {
  pass,          // go on with the next line
  opened,        // a unit was opened
  end_sequence,  // the line ends the sequence
  failed,        // openfs_e: the open failed
};

bool one_of(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

std::string env_value(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string_view letter(const char& c) { return std::string_view(&c, 1); }

bool interactive(const Opener& s) { return (s.iun == 5 && s.qia5) || s.qprmpt; }

// Trace lines go to the trace unit when it can take them, else to standard output, so
// that switching the trace on never ends the run.
template <class... T>
void trace(const Opener& s, const T&... items) {
  if (!s.trace) return;
  int u = s.trace_unit;
  if (u == 5 || !is_connected(u) || !unit_is_formatted(u)) u = 6;
  write_list(u, items...);
}

// The open dialogue. Each function is entered from one place of the cycle and works on
// the opener's record: prompts go to iuo, answers come from iupr (the answer after a
// failed open from standard input). Every answer is read without an end branch: an end
// of input while a prompt waits is the record layer's fatal report, never a blank answer.
namespace dialogue {

constexpr std::string_view underscores = "_______________________________________________________";
constexpr std::size_t screen_answer = 80;  // the answer field of the screen form
constexpr std::size_t shown_dir = 48;      // "  DIR=" shows the prefix in its old field at least

// What was written to iuo is shown before an answer is awaited (unit 5 flushes unit 6
// by itself, a terminal unit does not).
void show(const Opener& s) { flush_unit(s.iuo); }

// The dialogue's units: the connected terminal unit for both, else standard input and
// output. Returns the terminal unit, or -1 without one.
int use_terminal(Opener& s) {
  int t = -1;
  open_term(t);
  if (t < 1 || t == 5) {
    s.iuo = 6;
    s.iupr = 5;
  } else {
    s.iuo = s.iupr = t;
  }
  return t;
}

// String mode: column 4 asks for prompting, or the line cannot be read. The unit is read
// free-format from the start of the string (a start that is no integer is the fatal
// report); the current line becomes the string's own, so that nothing of an earlier
// call is acted on.
void begin_from_string(Opener& s) {
  use_terminal(s);
  std::int32_t u = -1;
  read_list_text(s.prmptm, want_none, u);
  s.iuu = u;
  s.iu = u;
  s.opt = at(s.prmptm, 4);
  s.mod = at(s.prmptm, 5);
  assign(s.field, "");
}

// Options P (standard units) and T (terminal): prompting for unit IU, the name field
// being the prompt text.
void begin(Opener& s, bool terminal) {
  s.qprmpt = true;
  assign(s.prmptm, trimmed(s.field));
  s.iuu = s.iu;
  if (terminal) {
    use_terminal(s);
    if (s.iuu < 1) s.iupr = 5;
    trace(s, "openf: activate prompt due to \"Y\"");
  } else {
    s.iupr = s.iu >= 1 ? 5 : s.iun;
    s.iuo = 6;
    trace(s, "openf: activate prompt due to \"P\"");
  }
}

// The unit prompt through the text-screen layer: the unit with a leading zero, no
// underscores, and an answer whose name field starts in column 4.
void screen_form(Opener& s, std::string_view request) {
  Text unit(2, ' ');
  write_fmt_text(unit, "(I2.2)", s.iuu);
  text_mode(1);
  clear_text();
  new_text_surface();
  write_string(std::string(" <OPENF->!> ").append(request));
  crlf();
  write_string(" <OPENF->I> " + unit + ":O File_Name");
  crlf();
  Text answer(screen_answer, ' ');
  screen_prompt(" <OPENF->?> " + unit + ":", answer);
  s.opt = answer[0];
  assign(s.field, sub(answer, 4, screen_answer));
}

void line_form(Opener& s, std::string_view request) {
  write_fmt(s.iuo, "(2A)", " <OPENF->!> ", request);
  write_fmt(s.iuo, "(A,I2,2A)", " <OPENF->I> ", s.iuu, ":O File_Name", underscores);
  write_fmt(s.iuo, "(A,I2,A,$)", " <OPENF->?> ", s.iuu, ":");
  show(s);
  Text o(1, ' ');
  read_fmt(s.iupr, want_none, "(A1,1X,A)", o, s.field);
  s.opt = o[0];
}

// Prompts for unit iuu. True when the answer is a current line to act on; false when it
// ends prompting (a blank or "*") or asks for the same prompt again (P, T).
bool prompt_unit(Opener& s) {
  int e = trim_len(s.prmptm);
  const std::size_t bracket = s.prmptm.find(']');
  const int k = bracket == std::string::npos ? -1 : static_cast<int>(bracket);  // before the "]"
  if (k > 0) e = k;
  const bool screen = k > 0 && s.prmptm.find(" T", static_cast<std::size_t>(k)) != std::string::npos;
  trace(s, "openf:", e, k);
  const std::string request(sub(s.prmptm, 1, e));
  if (screen) {
    screen_form(s, request);
  } else {
    line_form(s, request);
  }
  s.qprmpt = s.opt != ' ' && s.opt != '*';
  trace(s, "openf: activate prompt, opt=", letter(s.opt));
  if (one_of(s.opt, " *pPtT")) return false;
  s.iu = s.iuu;
  return true;
}

// The header over a whole specification line read from iupr.
void input_header(const Opener& s) {
  write_fmt(s.iuo, "(A,A)", " <OPENF->I> IU O File_Name", underscores);
  write_fmt(s.iuo, "(A,$)", " <OPENF->?> ");
  show(s);
}

// Replaces every "?" of the file name by an answer (up to its first blank; an empty one
// removes the "?"). A completed name longer than 64 characters is refused and asked for
// again. False when the name grows past 64 characters through its environment references.
bool replace_query(Opener& s) {
  bool replaced = false;
  for (;;) {
    const std::string name(sub(s.name, 1, s.name_len));
    const std::size_t q = name.find('?');
    if (q == std::string::npos) break;
    if (use_terminal(s) < 1 && !s.qia5) {
      write_list(6, "Cannot interact");
      stop_run();
    }
    write_fmt(s.iuo, "(A,I2,1X,A1,1X,A)", " <OPENF->>> ", s.iu, letter(s.opt), trimmed(s.field));
    write_fmt(s.iuo, "(3A,$)", " <OPENF->?> Specify \"?\" in ", name, " ->");
    show(s);
    read_fmt(s.iupr, want_none, "(A)", s.field);
    const std::string_view answer = std::string_view(s.field).substr(0, s.field.find(' '));
    const std::string completed = name.substr(0, q).append(answer).append(name.substr(q + 1));
    if (completed.size() > name_cut) {
      write_fmt(s.iuo, "(A,I2,2A)", " <OPENF->W> ", s.iu, " File name longer than 64 characters: ", completed);
      continue;
    }
    assign(s.name, completed);
    s.name_len = static_cast<int>(completed.size());
    replaced = true;
  }
  if (!replaced) return true;
  // Substituted in a field that holds what may grow, then refused whole when too long.
  Text grown = text(sub(s.name, 1, s.name_len), line_length);
  replace_envars_l(grown);
  const std::string_view g = grown;
  const std::string_view whole = g.substr(0, g.find(' '));
  s.refused.assign(whole);
  if (whole.size() > name_cut) return false;
  assign(s.name, whole);
  s.name_len = static_cast<int>(whole.size());
  return true;
}

// Option "?" while interactive: what is known of the unit, or whether the named file
// exists (the name as the line gives it, without DIR or "~").
void inquiry(Opener& s) {
  if (s.dir_len > 0)
    write_fmt(s.iuo, "(2A)", "  DIR=", text(sub(s.dir, 1, s.dir_len), std::max<std::size_t>(shown_dir, s.dir_len)));
  const std::string_view f = s.field;
  const std::string name(f.substr(0, f.find(' ')));
  if (name.empty() && s.iu >= 1 && s.iu <= 99) {
    if (!is_connected(s.iu)) {
      write_fmt(s.iuo, "(A)", " <OPENF->>> Unit available.");
    } else {
      Text r(registry_entry_length, ' ');
      get_file_name(s.iu, r);
      write_fmt(s.iuo, "(3A)", " <OPENF->>> Connected to ->", std::string_view(r).substr(0, r.find(' ')), "<-");
    }
  }
  if (!name.empty()) {
    struct stat st {};
    write_fmt(s.iuo, "(A,L2)", " <OPENF->>> FileExists =", ::stat(name.c_str(), &st) == 0);
  }
  show(s);
}

enum class Connected { reopen, next_pass };
// Unit IU is connected, interactive: Rewind, Close, End_file or Prompt_again.
Connected already_open(Opener& s) {
  Text registered(registry_entry_length, ' ');
  get_file_name(s.iu, registered);
  write_fmt(s.iuo, "(2A)", " <OPENF->W> Already open: ", registered);
  write_fmt(s.iuo, "(A,I2,A,$)", " <OPENF->?> Rewind Close End_file Prompt_again", s.iu, " (R/C/E/P):");
  show(s);
  Text answer(1, ' ');
  read_fmt(s.iupr, want_none, "(A1)", answer);
  Connected next = Connected::next_pass;
  switch (answer[0]) {
    case 'e':
    case 'E':
      if (endfile_unit(s.iu) != 0) {
        write_fmt(6, "(A)", " <OPENF->E> End file failed/denied.");
        ++s.nerr;
      }
      next = Connected::reopen;
      break;
    case 'c':
    case 'C':
      close_unit(s.iu);
      write_fmt(s.iuo, "(A,I2)", " <OPENF->>> Close ", s.iu);
      next = Connected::reopen;
      break;
    case 'r':
    case 'R':
      rewind_unit(s.iu);
      write_fmt(s.iuo, "(A,I2)", " <OPENF->>> Rewind ", s.iu);
      break;
    case 'p':
    case 'P':
      if (s.iun != 5) {
        s.qprmpt = true;
        s.iuu = s.iuu_saved;
        trace(s, "openf: activate prompt, ans=P");
      }
      break;
    default:
      write_fmt(s.iuo, "(A)", " <OPENF->W> Ignored. Try again ...");
      break;
  }
  show(s);
  return next;
}

enum class AfterFailure { retry, next_pass, end_sequence };
// A failed open in instruction mode, interactive: Abort, Retry, Ignore or Prompt_again,
// answered on standard input. Its end (or a read error) ends the sequence.
AfterFailure after_failure(Opener& s) {
  int e = trim_len(s.prmptm);
  if (s.iun == 5) {
    assign(s.prmptm, "OPEN failed.");
    e = 12;
  }
  write_fmt(s.iuo, "(2A)", " <OPENF->I> Attention: ", sub(s.prmptm, 1, e));
  write_fmt(s.iuo, "(A,$)", " <OPENF->?> Enter: (A)bort (R)etry (I)gnore (P)rompt_again:");
  show(s);
  Text answer(1, ' ');
  if (read_fmt(5, want_both, "(A1)", answer) != Io::ok) return AfterFailure::end_sequence;
  write_fmt(s.iuo, "(A)", " ");
  show(s);
  switch (answer[0]) {
    case 'a':
    case 'A':
      stop_run();
    case 'r':
    case 'R':
      return AfterFailure::retry;
    case 'i':
    case 'I':
      return AfterFailure::next_pass;
    case 'p':
    case 'P':
      if (s.iun != 5) {
        s.iuu = s.iuu_saved;
        s.iupr = 5;
        s.qprmpt = true;
        trace(s, "openf: activate prompt xx");
      }
      return AfterFailure::next_pass;
    default:
      s.qprmpt = false;
      return AfterFailure::next_pass;
  }
}

}  // namespace dialogue

void read_home_and_instruction_file(Opener& s) {
  assign(s.home, env_value("HOME"));
  const std::size_t b = s.home.find(' ');
  s.home_len = static_cast<int>(b == std::string::npos ? s.home.size() : b);
  get_file_name(s.iun, s.ins_name);
  s.ins_slash = index_l(s.ins_name, "/");
}

// Reads the line layout from a text or a unit; with want_none a bad line is fatal.
Io read_line_layout(Opener& s, int unit, std::string_view text, unsigned want) {
  Text o(1, ' '), m(1, ' ');
  const Io r = unit == internal_unit ? read_fmt_text(text, want, line_format, s.iu, o, m, s.field)
                                     : read_fmt(unit, want, line_format, s.iu, o, m, s.field);
  s.opt = o[0];
  s.mod = m[0];
  return r;
}

// The file name (up to the first blank) and the comment (from the next nonblank
// character, cut at 64) of the name field, with every "?" of the name replaced by an
// answer; false when the name is longer than 64 characters (cut, it would name another
// file).
bool split_name_field(Opener& s) {
  const std::string_view f = s.field;
  const std::size_t b = f.find(' ');
  const std::size_t whole = b == std::string_view::npos ? f.size() : b;
  if (whole > name_cut) {
    s.refused.assign(f.substr(0, whole));
    return false;
  }
  const std::size_t n = whole;
  assign(s.name, f.substr(0, n));
  s.name_len = static_cast<int>(n);
  std::string_view c;
  if (b != std::string_view::npos) {
    const std::size_t k = f.find_first_not_of(' ', b);
    if (k != std::string_view::npos) c = f.substr(k);
  }
  assign(s.comment, c);
  s.comment_len = trim_len(s.comment);
  if (s.name.find('?') != std::string::npos) return dialogue::replace_query(s);
  return true;
}

void set_attributes(Opener& s) {
  const char o = s.opt;
  s.status = one_of(o, "Nn+") ? "NEW" : one_of(o, "OoRrEeVv^#%") ? "OLD" : "UNKNOWN";
  s.read_only = one_of(o, "rR^");
  s.form = one_of(o, "<+#%UuVv^>") ? "UNFORMATTED" : "FORMATTED";
  s.convert = o == '%' ? "BIG_ENDIAN" : "LITTLE_ENDIAN";
  s.at_end = one_of(o, "AaeEuUvV>");
}

std::string_view ins_dir(const Opener& s) { return sub(s.ins_name, 1, s.ins_slash); }

// Option D: the new directory prefix, then its report line.
void set_dir(Opener& s) {
  const std::string_view nm = sub(s.name, 1, s.name_len);
  std::string p;
  if (nm.empty() || nm == ".") {
    p.clear();
  } else if (nm.starts_with("~/")) {
    p = std::string(sub(s.home, 1, s.home_len)).append(nm.substr(1));
  } else if (nm.starts_with("~")) {
    p = std::string("/home/").append(nm.substr(1));
  } else if (nm.starts_with("&/")) {
    p = std::string(ins_dir(s)).append(nm.substr(2));
  } else {
    p = nm;
  }
  p.resize(std::min(p.size(), p.find(' ')));
  if (!p.empty() && p.back() != '/') p += '/';
  if (p.size() > path_length) {
    // Cut, the prefix would name another directory.
    write_fmt(6, "(A,A)", " <OPENF->T> DIR too long: ", p);
    stop_run();
  }
  assign(s.dir, p);
  s.dir_len = static_cast<int>(p.size());

  std::string line = std::string(" <OPENF->>> DIR  ").append(sub(s.dir, 1, s.dir_len));
  line.resize(56, ' ');
  line.replace(53, 3, " - ");
  line.append(sub(s.comment, 1, s.comment_len));
  write_fmt(6, "(A)", line);
  if (s.qprmpt) s.iuu = s.iuu_saved;
}

// Options S and H hand their line to the shell as it stands: the shell expands $X itself,
// and a value substituted here would be parsed again as shell syntax.
bool runs_shell(char option) { return one_of(option, "sShH"); }

// Option S: runs the name field as a shell command line, in DIR when one is set.
void run_shell(const Opener& s) {
  std::string cmd(trimmed(s.field));
  if (s.dir_len > 0) cmd = std::string("cd ").append(sub(s.dir, 1, s.dir_len)).append("; ").append(cmd);
  write_fmt(6, "(A,A)", " <OPENF->>> $ ", cmd);
  flush_standard_output();
  [[maybe_unused]] const int rc = std::system(cmd.c_str());
}

void run_help() {
  flush_standard_output();
  [[maybe_unused]] const int rc = std::system(std::string(help_command).c_str());
}

// DFN from the file name: 0, ENAMETOOLONG when the derived name does not fit DFN, or
// ENOENT for "~/" without a HOME (the name would become an absolute one).
int derive_dfn(Opener& s) {
  const std::string_view nm = sub(s.name, 1, s.name_len);
  std::string d;
  if (nm.starts_with("./")) {
    // The current directory, whatever DIR says; still relative (".//x" is "x").
    d = nm.substr(2);
    d.erase(0, d.find_first_not_of('/'));
  } else if (nm.starts_with("~/")) {
    if (s.home_len == 0) {
      assign(s.dfn, nm);
      return ENOENT;
    }
    d = std::string(sub(s.home, 1, s.home_len)).append(nm.substr(1));
  } else if (nm.starts_with("~")) {
    d = std::string("/home/").append(nm.substr(1));
  } else if (nm.starts_with("&/")) {
    d = std::string(ins_dir(s)).append(nm.substr(2));
  } else if (nm.starts_with("/") || s.dir_len == 0) {
    d = nm;
  } else {
    d = std::string(sub(s.dir, 1, s.dir_len)).append(nm);
  }
  assign(s.dfn, d);
  return d.size() <= dfn_length ? 0 : ENAMETOOLONG;
}

// " <OPENF->1> ", " <OPENF->2> " and the trace line " <OPENF->d> ".
void write_open_line(const Opener& s, std::string_view tag) {
  write_fmt(6, "(A,I2,1X,A1,1X,A,1X,A,1X,A,A)", tag, s.iu, letter(s.opt), trimmed(s.dfn), s.status,
            s.form, tag == " <OPENF->1> " ? " READONLY" : "");
}

Next after_open(Opener& s) {
  const bool talk = interactive(s);
  if (talk) write_open_line(s, s.read_only ? " <OPENF->1> " : " <OPENF->2> ");
  std::string entry(sub(s.name, 1, s.name_len));
  entry.append(" ").append(sub(s.comment, 1, s.comment_len));
  save_file_name(s.iu, entry, true);  // its references are replaced already

  // Report text: the name, the comment from column c, and ">> " or " - " before it.
  const int c = std::max(s.name_len + 5, 40);
  std::string report(sub(s.name, 1, s.name_len));
  report.resize(static_cast<std::size_t>(c - 1), ' ');
  report.append(sub(s.comment, 1, s.comment_len));
  if (const std::size_t k = report.find('!'); k != std::string::npos) report[k] = ' ';
  report.replace(static_cast<std::size_t>(c - 4), 3, s.at_end ? ">> " : " - ");
  if (s.at_end) skip_to_end(s.iu, s.opt);

  if (!talk) {
    write_fmt(6, "(A,I2.2,A,A1,1X,A)", " <OPENF->3> ", s.iu, ":", letter(s.opt), trimmed(report));
    const std::string_view cm = sub(s.comment, 1, s.comment_len);
    if (cm.find_first_of("!?") != std::string_view::npos)
      write_fmt(6, "(A,A,A)", " <OPENF->4> ", "  =  ", trimmed(s.dfn));
  }
  if (!s.qfs) s.qprmpt = false;
  return Next::opened;
}

// The end of a failed open, after its message: a single specification string fails the
// call (openfs_e) or stops the run; in a sequence the error is counted and prompting ends.
Next failed_open(Opener& s) {
  if (s.qfs) {
    if (s.error_return) return Next::failed;
    stop_run();
  }
  ++s.nerr;
  s.qprmpt = false;
  return Next::pass;
}

// A line that would connect the unit its own lines or the dialogue's answers are read
// from: the rest of them would be lost, and a standard input read again from its start
// would give the same lines without end. Refused as a failed open, without the dialogue.
Next refuse_reading_unit(Opener& s) {
  write_fmt(6, "(A,A1,A,I2,1X,A1,A)", " <OPENF->", s.qfs ? "T" : "E", "> ", s.iu, letter(s.opt),
            " Unit is read for the instructions or the answers: not opened");
  return failed_open(s);
}

// Opens unit IU for the current line, through the dialogue when one is asked.
Next open_line(Opener& s) {
  set_attributes(s);
  if (s.iu == s.iun || (interactive(s) && s.iu == s.iupr)) return refuse_reading_unit(s);
  for (;;) {
    if (is_connected(s.iu)) {
      if (interactive(s) && dialogue::already_open(s) == dialogue::Connected::next_pass) return Next::pass;
      if (is_connected(s.iu)) {
        close_unit(s.iu);
        write_fmt(6, "(A,I2)", " <OPENF->>> Close ", s.iu);
      }
    }
    const int derived = derive_dfn(s);
    if (!s.read_only && s.trace) write_open_line(s, " <OPENF->d> ");
    s.ios = derived == 0 ? open_unit(s.iu, OpenSpec{.file = s.dfn,
                                            .status = s.status,
                                            .form = s.form,
                                            .convert = s.convert,
                                            .record_framing = s.record_framing,
                                            .read_only = s.read_only})
                         : derived;
    if (s.ios == 0) return after_open(s);

    Text status(8, ' ');
    assign(status, s.status);
    write_fmt(6, "(A,A1,A,I2,1X,A1,A,A,A,A,I5,A,L1)", " <OPENF->", s.qfs ? "T" : "E", "> ", s.iu,
              letter(s.opt), " File ->", sub(s.name, 1, s.name_len), "<- Status=", status, s.ios,
              " READONLY=", s.read_only);
    write_fmt(6, "(A,A,A)", " <OPENF->I> DFN ->", s.dfn, "<-");
    if (s.qfs || !interactive(s)) return failed_open(s);
    switch (dialogue::after_failure(s)) {
      case dialogue::AfterFailure::retry:
        continue;
      case dialogue::AfterFailure::next_pass:
        return Next::pass;
      case dialogue::AfterFailure::end_sequence:
        return Next::end_sequence;
    }
  }
}

// A file name longer than its field: one line naming it, then as a failed open. A name
// given at a prompt is asked for again instead.
Next refuse_long_name(Opener& s) {
  if (interactive(s)) {
    write_fmt(s.iuo, "(A,I2,2A)", " <OPENF->W> ", s.iu, " File name longer than 64 characters: ", s.refused);
    dialogue::show(s);
    if (s.qprmpt) s.iuu = s.iuu_saved;
    return Next::pass;
  }
  write_fmt(6, "(A,A1,A,I2,A,A)", " <OPENF->", s.qfs ? "T" : "E", "> ", s.iu,
            " File name longer than 64 characters: ", s.refused);
  return failed_open(s);
}

// Acts on the current line: the first rule that applies.
Next act(Opener& s) {
  s.record_framing = s.mod == '.' ? 1 : -1;
  const char o = s.opt;
  if (!s.line_replaced && !runs_shell(o)) replace_envars_l(s.field);
  s.line_replaced = false;
  if (o == '?' && interactive(s)) {
    dialogue::inquiry(s);
    return Next::pass;
  }
  if (o == 'c' || o == 'C') {
    write_fmt(6, "(A,A)", " Comment>>> ", trimmed(s.field));
    return Next::pass;
  }
  if (o == 's' || o == 'S') {
    run_shell(s);
    return Next::pass;
  }
  if (o == 'h' || o == 'H') {
    run_help();
    return Next::pass;
  }
  if (one_of(o, "*lL")) return Next::pass;
  s.iuu_saved = s.iuu;
  s.iuu = -1;
  if (o == 'p' || o == 'P' || o == 't' || o == 'T') {
    dialogue::begin(s, o == 't' || o == 'T');
    return Next::pass;
  }
  if (o == '}' || (o == ']' && interactive(s))) {
    write_list(6, "<OPENF->S>");
    stop_run();
  }
  if (one_of(o, " Qq_-@./")) return Next::end_sequence;
  if (s.iu < 0) {
    write_fmt(6, "(A)", " <OPENF->>> Return due to IU=-1");
    return Next::end_sequence;
  }
  if (!split_name_field(s)) return refuse_long_name(s);
  if (o == 'd' || o == 'D') {
    set_dir(s);
    return Next::pass;
  }
  return open_line(s);
}

int end_of_sequence(const Opener& s) {
  if (s.nerr > 0 && s.iun != 5) {
    write_fmt(6, "(A,I3)", " <OPENF->T> Error count:", s.nerr);
    stop_run();
  }
  return 0;
}

// Instruction mode: the next specification line, from iupr while prompting. The read has
// no end or error branch: a missing or unreadable line is the record layer's fatal report.
void read_next_line(Opener& s) {
  if ((s.iun == 5 && s.qia5) || (s.qprmpt && s.iupr != s.iun)) dialogue::input_header(s);
  read_line_layout(s, s.qprmpt ? s.iupr : s.iun, {}, want_none);
}

// The passes of one call; string mode acts on the line it already holds.
int cycle(Opener& s) {
  for (bool first = true;; first = false) {
    trace(s, "<openf->d> qprmpt,qfs,qia5,    iuu,iun,iupr=", s.qprmpt, s.qfs, s.qia5, s.iuu, s.iun,
          s.iupr);
    if (s.qprmpt && s.iuu > 0) {
      if (!dialogue::prompt_unit(s)) {
        if (s.qfs && !s.qprmpt) return 0;  // a blank answer: nothing to open
        continue;
      }
    } else if (!s.qfs) {
      read_next_line(s);
    } else if (!first) {
      return 0;  // string mode has no next line
    }
    switch (act(s)) {
      case Next::pass:
      case Next::opened:
        // A string is acted on once; only a pending prompt gives it another pass.
        if (s.qfs && !(s.qprmpt && s.iuu > 0)) return 0;
        break;
      case Next::end_sequence:
        return end_of_sequence(s);
      case Next::failed:
        return 1;
    }
  }
}

// Unit 4: read on to the next line shaped like a specification line and step back to it.
void position_unit4(Opener& s) {
  Text line(line_length, ' ');
  for (;;) {
    if (read_fmt(4, want_end, "(A)", line) == Io::end) {
      write_fmt(6, "(A)", " <OPENF->T> EOF while positioning file unit 4");
      if (s.unit4_rewound) stop_run();
      s.unit4_rewound = true;
      rewind_unit(4);
      continue;
    }
    trace(s, "openf read:", trimmed(line));
    if (line[2] == ' ' && line[4] == ' ' && one_of(line[0], " -1234567890") &&
        one_of(line[1], " 1234567890")) {
      backspace_unit(4);
      return;
    }
  }
}

int open_string(std::string_view spec, bool error_return) {
  Opener& s = opener();
  s.error_return = error_return;
  s.qfs = true;
  assign(s.prmptm, spec);
  s.trace = trim_len(env_value("openf_dbg")) > 0;
  if (!runs_shell(at(s.prmptm, 4))) replace_envars_l(s.prmptm);
  s.iuu = s.iuu_saved = -1;
  s.iun = -1;
  s.unit4_rewound = false;
  s.nerr = 0;
  s.qprmpt = one_of(at(s.prmptm, 4), "pPtT");
  trace(s, "openf: PRMPTM(4:4)=", sub(s.prmptm, 4, 4), "::", trimmed(s.prmptm));
  s.line_replaced = false;
  if (!s.qprmpt && read_line_layout(s, internal_unit, s.prmptm, want_both) == Io::ok) {
    s.line_replaced = true;
  } else if (!s.qprmpt) {
    s.qprmpt = true;
    trace(s, "openf: activate prompt");
    put(s.prmptm, 4, "P");
  }
  if (s.qprmpt) dialogue::begin_from_string(s);
  read_home_and_instruction_file(s);
  if (s.qprmpt && s.iuu <= 0) return 0;  // no unit to prompt for, and no line to act on
  return cycle(s);
}

}  // namespace

int openfs(std::string_view spec) { return open_string(spec, false); }

int openfs_e(std::string_view spec) { return open_string(spec, true); }

int openf(int iun) {
  Opener& s = opener();
  if (iun < 1 || iun > 99) {
    write_fmt(6, "(A,I10)", " <OPENF->T> Bad file unit number: ", iun);
    stop_run();
  }
  const std::string dbg = env_value("openf_dbg");
  s.trace = trim_len(dbg) > 0;
  if (s.trace) {
    std::int32_t u = 99;
    if (read_list_text(dbg, want_both, u) != Io::ok) u = 99;
    s.trace_unit = u;
  }
  s.qia5 = trim_len(env_value("tty")) > 0;
  s.qprmpt = false;
  s.unit4_rewound = false;
  s.nerr = 0;
  s.iun = iun;
  s.iuu = -1;
  s.iupr = 5;
  s.iuo = 6;
  assign(s.prmptm, "");
  assign(s.field, "");
  s.qfs = false;
  if (iun == 4) position_unit4(s);
  read_home_and_instruction_file(s);
  return cycle(s);
}

void openf_reset_for_tests() { opener() = Opener(); }

}  // namespace kvax
