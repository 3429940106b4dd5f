// The conversion run and the end of every run: units closed, the report, the status.
#include "driver/run.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "arrays/iostat.h"
#include "arrays/statements.h"
#include "arrays/units.h"
#include "driver/command_line.h"
#include "report/start_time.h"

namespace kvax {
namespace {

void conversion_run() {
  start_time_message("kvax");
  RunSettings s = read_command_line();
  (void)s;
}

// Tests fix the clock of the start line through KVAX_TEST_CLOCK (seconds since the epoch).
std::time_t test_clock_seconds = 0;
std::tm test_clock() {
  std::tm t{};
  localtime_r(&test_clock_seconds, &t);
  return t;
}

void use_test_clock() {
  const char* v = std::getenv("KVAX_TEST_CLOCK");
  if (!v || !*v) return;
  test_clock_seconds = static_cast<std::time_t>(std::strtoll(v, nullptr, 10));
  set_clock_for_tests(test_clock);
}

void write_standard_error(const std::string& text) {
  std::size_t off = 0;
  while (off < text.size()) {
    const ssize_t r = ::write(2, text.data() + off, text.size() - off);
    if (r <= 0) break;
    off += static_cast<std::size_t>(r);
  }
}

}  // namespace

int kvax_main(int argc, const char* const* argv) {
  set_program_arguments(argc, argv);
  use_test_clock();
  int status = 0;
  std::string report;
  try {
    conversion_run();
  } catch (const FatalIo& f) {
    status = f.status();
    report = f.report();
  } catch (const RunEnd& e) {
    status = e.status();
  }
  try {
    close_all_units();
  } catch (const FatalIo& f) {
    if (status == 0) {
      status = f.status();
      report = f.report();
    }
  }
  if (!report.empty()) write_standard_error(report);
  return status;
}

}  // namespace kvax
