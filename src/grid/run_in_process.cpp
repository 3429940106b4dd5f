// The converter run inside the calling program, its standard output collected.
#include <kvax/driver/conversion_run.h>
#include <kvax/grid.h>
#include <kvax/io/units.h>

namespace kvax {

RunResult run_kvax(std::span<const std::string> args, bool throw_on_failure) {
  std::vector<const char*> argv{"kvax"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  std::string out;
  RunResult r;
  collect_standard_output(&out);
  try {
    r.status = kvax_run(static_cast<int>(argv.size() - 1), argv.data(), r.error_report);
  } catch (...) {
    collect_standard_output(nullptr);
    throw;
  }
  collect_standard_output(nullptr);
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t nl = out.find('\n', at);
    const std::size_t end = nl == std::string::npos ? out.size() : nl;
    r.lines.emplace_back(out, at, end - at);
    at = end + 1;
  }
  if (throw_on_failure && r.status != 0) {
    std::string cause = "kvax ended with status " + std::to_string(r.status);
    // The last line of the run (its terminating message) or the fatal report says why.
    if (!r.error_report.empty()) {
      cause += ": " + r.error_report.substr(0, r.error_report.size() - 1);
    } else if (!r.lines.empty()) {
      cause += ":" + r.lines.back();
    }
    throw Error(ErrorCode::run_failed, {}, cause, 0, {}, 0, 0, r.lines);
  }
  return r;
}

}  // namespace kvax
