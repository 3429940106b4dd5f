// Start line of a run.
#include <kvax/report/start_time.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <kvax/files/registry.h>
#include <kvax/io/statements.h>
#include <kvax/text/strings.h>

namespace kvax {
namespace {

constexpr std::size_t kHost = 8;

}  // namespace

void write_start_time_message(int unit, std::string_view program) {
  const int bracket = instr(1, program, "]");
  const int dollar = instr(1, program, "$");
  int end = std::max(bracket - 1, dollar - 1);
  if (end <= 0) end = static_cast<int>(program.size());
  const int begin = index_l(program, "/") + 1;

  const char* h = std::getenv("HOST");
  const Text host = text(h != nullptr ? h : "", kHost);
  Text day(10, ' ');
  Text time(8, ' ');
  my_date(day);
  my_time(time);
  write_fmt(unit, "(8A)", "0<StTiMe>>> ", sub(program, begin, end), " on host=", host, " at ", day, " ",
            time);
  save_file_name(0, sub(program, 1, end));
}

void start_time_message(std::string_view program) { write_start_time_message(6, program); }

}  // namespace kvax
