// Report lines of the readers and writers, the per-unit report switches, and the header
// type check with /CGETXX/.
#include <kvax/report/iomsg.h>

#include <algorithm>
#include <array>
#include <string>

#include <kvax/files/registry.h>
#include <kvax/io/statements.h>
#include <kvax/text/strings.h>
#include <kvax/text/text.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr int kSwitchUnits = 100;    // report switches for units 0 to 99
constexpr std::size_t kLine = 132;   // the report line's working field
constexpr std::size_t kGridPart = 32;
constexpr std::size_t kFileName = 64;

// Description after the data type: entry 2 names a variable of a shared record.
constexpr std::string_view kDescription[2] = {" array, grid ", " common, var."};

struct Cgetxx {
  int code = 0;  // last rparse: 0 match, 1 grid type, 2 data type
};

struct ReportSwitches {
  std::array<int, kSwitchUnits> on;
  ReportSwitches() { on.fill(1); }
};

Cgetxx& cgetxx() {
  static Cgetxx c;
  return c;
}

ReportSwitches& switches() {
  static ReportSwitches s;
  return s;
}

// Text comparison with the shorter side padded with blanks.
bool equal_padded(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if ((i < a.size() ? a[i] : ' ') != (i < b.size() ? b[i] : ' ')) return false;
  return true;
}

inline char first_char(std::string_view s) { return s.empty() ? ' ' : s[0]; }

// The report line under construction. Each piece ends in " $"; the next piece starts on
// that "$". The marker's place is kept rather than searched for, so a "$" inside a file
// name or tag is printed as it stands instead of drawing the next piece onto it.
class ReportLine {
 public:
  // Adds a piece formatted into a scratch field of room characters at least.
  template <class... T>
  void add(std::size_t room, std::string_view format, const T&... items) {
    Text piece(room, ' ');
    write_fmt_text(piece, format, items...);
    const int marker = trim_len(piece);  // the piece's closing "$"
    put(line_, dollar_, sub(piece, 1, marker));
    dollar_ += marker - 1;
  }
  // Everything before the last piece's "$", cut at the field's end.
  std::string_view text() const { return sub(line_, 1, dollar_ - 1); }

 private:
  Text line_ = Text(kLine, ' ');
  long dollar_ = 1;
};

void report(std::string_view routine, std::string_view grid_type, const int* size,
            std::string_view data_type, int unit, std::string_view tag, int version) {
  if (unit < 0 || unit >= kSwitchUnits || switches().on[static_cast<std::size_t>(unit)] == 0) return;

  Text grid(kGridPart, ' ');
  grid[0] = first_char(grid_type);
  if (size != nullptr) {
    Text kl(kGridPart - 2, ' ');
    write_fmt_text(kl, "(I6,'x',I6)", size[0], size[1]);
    put(grid, 3, kl);
    delete_in_string(grid, " ", 3, 0);
  }
  const std::string_view grid_part = trimmed(grid);
  const std::string_view description = kDescription[first_char(data_type) == '/' ? 1 : 0];

  Text name(kFileName, ' ');
  get_file_name(unit, name);
  const std::string file = std::string(trimmed(name)) + " $";

  ReportLine line;
  line.add(40 + data_type.size() + grid_part.size() + file.size(),
           "(' <',A6,'>>> ',2A,A,', f.unit ',I2,': ',A)", routine, data_type, description, grid_part,
           unit, file);
  if (!equal_padded(sub(tag, 1, 2), "//")) {
    const std::string t = std::string(trimmed(tag)) + " $";
    line.add(3 + t.size(), "('-->',A)", t);
  }
  if (version > 0 || (equal_padded(data_type, "CMPX") && version >= 0) || equal_padded(routine, "OUTZM-"))
    line.add(10, "(' #',I6,' $')", version);
  write_fmt(6, "(A)", line.text());
}

}  // namespace

void iomsg(std::string_view routine, std::string_view grid_type, std::string_view data_type, int unit,
           std::string_view tag, int version) {
  report(routine, grid_type, nullptr, data_type, unit, tag, version);
}

void aiomsg(std::string_view routine, std::string_view grid_type, int k, int l, std::string_view data_type,
            int unit, std::string_view tag, int version) {
  const int size[2] = {k, l};
  report(routine, grid_type, size, data_type, unit, tag, version);
}

void iomsg_for_unit(int unit, int on) {
  if (unit < 0 || unit >= kSwitchUnits) return;
  switches().on[static_cast<std::size_t>(unit)] = on != 0 ? 1 : 0;
}

int rparse(std::string_view routine, std::string_view requested_grid, std::string_view grid_read,
           std::string_view requested_types, std::string_view type_read) {
  const char wanted = first_char(requested_grid);
  if (first_char(grid_read) != wanted && std::string_view(" .?").find(wanted) == std::string_view::npos) {
    write_fmt(6, "(' <',A6,'>E> Requested grid ','\"',A1,'\"',', encountered ','\"',A1,'\"')", routine,
              requested_grid, grid_read);
    return cgetxx().code = 1;
  }
  const Text read4 = text(type_read, 4);
  int first = 0, last = 0, at_pos = 0;
  if (qucss(requested_types, read4, "|", first, last, at_pos)) return cgetxx().code = 0;
  write_fmt(6, "(' <',A6,'>E> Requested data ',A4,' Encountered ',A4)", routine, requested_types, read4);
  return cgetxx().code = 2;
}

int getxxx_errno() { return cgetxx().code; }

void iomsg_reset_for_tests() {
  cgetxx() = Cgetxx();
  switches() = ReportSwitches();
}

}  // namespace kvax
