// Skipping to the end of a unit: a formatted and an unformatted pass, the switch of form
// when the expected one cannot be read, and the report line.
#include <kvax/files/skip_to_end.h>

#include <cstdint>
#include <string_view>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/text/text.h>

namespace kvax {
namespace {

bool one_of(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

// Reads records as text (their first character) until the end; each read adds to n.
// Io::end at the end of the file, Io::err when a record cannot be read as text.
Io formatted_pass(int unit, int& n) {
  Text c(1, ' ');
  for (;;) {
    const Io r = read_fmt(unit, want_end | want_err, "(A1)", c);
    if (r != Io::ok) return r;
    ++n;
  }
}

// The same for unformatted records, each read as one 4-byte integer from its start.
Io unformatted_pass(int unit, int& n) {
  for (;;) {
    std::int32_t first = 0;
    UnformattedRead r(unit, want_end | want_err);
    r.item(first);
    const Io io = r.finish();
    if (io != Io::ok) return io;
    ++n;
  }
}

}  // namespace

void skip_to_end(int unit, char opt) {
  int count = 0;
  n_skip_to_end(unit, opt, count);
}

void n_skip_to_end(int unit, char opt, int& count) {
  count = 0;
  if (!is_connected(unit)) return;
  const bool report = one_of(opt, "UAEV>");
  int n = 0;  // over both passes: records read before a switch still count
  char mark = '>';
  bool formatted = !one_of(opt, "uUvV>");
  for (;;) {
    const Io r = formatted ? formatted_pass(unit, n) : unformatted_pass(unit, n);
    if (r == Io::end) break;
    if (mark == 'W') {
      write_list(6, formatted ? "<SKIPTE>T> Persistent file type error, UA"
                              : "<SKIPTE>T> Persistent file type error, AU");
      stop_run();
    }
    mark = 'W';
    formatted = !formatted;
  }
  if (report) {
    write_fmt(6, "(A,A1,A,I2,A,I8,1X,A,A)", " <SKIPTE>", std::string_view(&mark, 1), "> ", unit, ": ",
              n, formatted ? "ASC" : "BIN", " records");
  }
  count = n;
}

}  // namespace kvax
