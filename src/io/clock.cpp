// The clock of the run and the date and time texts read from it.
#include <kvax/io/clock.h>

#include <cstdlib>
#include <string>

#include <kvax/io/statements.h>
#include <kvax/text/strings.h>

#include "testing.h"

namespace kvax {
namespace {

constexpr std::string_view kWeekdays = "SunMonTueWedThuFriSat";
constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::string_view kMonthTable = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
constexpr std::size_t kClockText = 24;

clock_reader g_clock = nullptr;

// Local time now; KVAX_TEST_CLOCK (seconds since the epoch) pins it for whole-program
// tests of the kvax executable.
std::tm system_clock() {
  std::time_t now = std::time(nullptr);
  if (const char* pinned = std::getenv("KVAX_TEST_CLOCK")) {
    char* end = nullptr;
    const long long v = std::strtoll(pinned, &end, 10);
    if (end != pinned && *end == '\0') now = static_cast<std::time_t>(v);
  }
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

// Three letters of a name table, or "???" for a value outside it.
std::string_view name3(std::string_view table, int i) {
  if (i < 0 || static_cast<std::size_t>(i) * 3 >= table.size()) return "???";
  return table.substr(static_cast<std::size_t>(i) * 3, 3);
}

}  // namespace

std::tm read_clock() { return g_clock != nullptr ? g_clock() : system_clock(); }

void set_clock_for_tests(clock_reader reader) { g_clock = reader; }

Text fdate() {
  const std::tm t = read_clock();
  Text c(kClockText, ' ');
  write_fmt_text(c, "(A3,1X,A3,1X,I2,1X,I2.2,':',I2.2,':',I2.2,1X,I4.4)", name3(kWeekdays, t.tm_wday),
                 name3(kMonths, t.tm_mon), t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return c;
}

void date(Text& out) {
  const Text c = fdate();
  std::string d(sub(c, 21, 24));
  d += '-';
  d += sub(c, 5, 7);
  d += '-';
  d += sub(c, 9, 10);
  assign(out, d);
}

void my_date(Text& out) {
  Text t(11, ' ');
  date(t);
  if (t[9] == ' ') t[9] = '0';
  Text month(3, ' ');
  ucase(sub(t, 6, 8), month);
  int m = 0;  // a month not in the table shows as "00"
  for (int i = 0; i < 12 && m == 0; ++i)
    if (kMonthTable.substr(static_cast<std::size_t>(i) * 3, 3) == month) m = i + 1;
  Text mm(2, ' ');
  write_fmt_text(mm, "(I2.2)", m);
  put(t, 6, mm);
  assign(out, std::string(sub(t, 1, 7)) + std::string(sub(t, 9, 11)));
}

void my_time(Text& out) { assign(out, sub(fdate(), 12, 19)); }

}  // namespace kvax
