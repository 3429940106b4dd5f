// Label location in formatted sequential units, with its settings kept for the run.
#include <kvax/scan/label_location.h>

#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/strings.h>
#include <kvax/text/text.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr std::size_t line_length = 256;
constexpr std::size_t marker_length = 256;

struct Settings {
  bool trace = false;       // P
  bool line_trace = false;  // PP
  int label_column = 0;
  int eoi_column = -1;  // 0 or less: no end-of-input marker
  Text eoi_marker = Text(marker_length, ' ');
  int lines_read = 0;
  int match_column = 0;  // first occurrence of the search text in the last line read
};

Settings& settings() {
  static Settings s;
  return s;
}

bool has(std::string_view options, std::string_view letters) {
  return options.find_first_of(letters) != std::string_view::npos;
}

// Does the end-of-input marker start exactly at its column of the line?
bool end_of_input(const Settings& s, std::string_view line) {
  if (s.eoi_column <= 0 || trim_len(s.eoi_marker) == 0) return false;
  int p = 0;
  return q_index(line, trimmed(s.eoi_marker), p) && p == s.eoi_column;
}

}  // namespace

bool qloc_in_file(int unit, std::string_view label, std::string_view options) {
  Settings& s = settings();
  bool may_rewind = !has(options, "Nn");
  const bool back = has(options, "Bb");
  const bool upper = has(options, "Uu");
  const bool anywhere = has(options, "Aa");
  const bool colloc = has(options, "Cc");
  const bool l_prefix = has(options, "Oo");
  if (has(options, "Q")) s.trace = s.line_trace = false;
  if (has(options, "Pp")) s.trace = true;
  if (options.find("PP") != std::string_view::npos) s.trace = s.line_trace = true;

  std::string search = l_prefix ? "   L " : "";
  search += label;
  const int lt = static_cast<int>(search.size());

  if (s.trace) {
    write_fmt(6, "(A,/,A,I5,I3,7L2,/,3A)", " <QInFil>>> LT,IUN,QPRPP,QRWD,QUC,QANYWH,QCOL,QOF,QBCK",
              " <QInFil>>> ", lt, unit, s.line_trace, may_rewind, upper, anywhere, colloc, l_prefix, back,
              " <QinFil>>> ::", sub(search, 1, trim_len(label)), "::");
    if (colloc) write_fmt(6, "(A,I5)", " <QInFil>>> COLLOC enabled at column ", s.label_column);
    if (s.eoi_column > 0)
      write_fmt(6, "(A,I5,A,/,3A)", " <QInFil>>> EOI    enabled at column ", s.eoi_column, " for string",
                " <QInFil>>> ::", trimmed(s.eoi_marker), "::");
  }

  Text line(line_length, ' ');
  s.lines_read = 0;
  for (;;) {
    if (read_fmt(unit, want_end, "(A)", line) == Io::end || end_of_input(s, line)) {
      if (may_rewind) {
        if (const int e = rewind_unit(unit)) fatal_io(e, "REWIND", unit);
        s.lines_read = 0;
        if (s.trace) write_fmt(6, "(A,I2)", " <QInFil>>> Rwd ", unit);
        may_rewind = false;
        continue;
      }
      if (s.trace) write_fmt(6, "(A,I2,L2,2A)", " <QInFil>E> ", unit, colloc, " failed ", search);
      return false;
    }
    ++s.lines_read;
    if (upper) ucase(sub(line, 1, trim_len(line)), line);
    // An empty label stands nowhere (the search itself would find it at column 1).
    s.match_column = 0;
    if (!search.empty()) q_index(line, search, s.match_column);
    if (s.line_trace)
      write_fmt(6, "(5A,2I5)", " <QlocIF>d> ", search, "->", trimmed(line), "<-", s.match_column, lt);
    const int m = s.match_column;
    const bool label_line = m > 0 && (anywhere && colloc ? m >= s.label_column
                                      : anywhere         ? true
                                      : colloc           ? m == s.label_column
                                                         : m == 1);
    if (!label_line) continue;
    if (back) {
      if (const int e = backspace_unit(unit)) fatal_io(e, "BACKSPACE", unit);
    }
    if (s.trace)
      write_fmt(6, "(2A,'->',A,'<->',A)", " <QInFil>>> ", back ? "right at " : "after    ", search, trimmed(line));
    return true;
  }
}

bool qloc_in_file_dbg(std::string_view options) {
  Settings& s = settings();
  s.trace = has(options, "Pp");
  s.line_trace = options.find("PP") != std::string_view::npos;
  return s.trace || s.line_trace;
}

bool qeoi_in_file(std::string_view marker, int column) {
  Settings& s = settings();
  const bool same = column == s.eoi_column;
  assign(s.eoi_marker, marker);
  s.eoi_column = column;
  return same;
}

bool qcolloc_in_file(int column) {
  Settings& s = settings();
  s.label_column = column;
  return s.match_column == column;
}

int located_in_file() { return settings().lines_read; }

void label_location_reset_for_tests() { settings() = Settings(); }

}  // namespace kvax
