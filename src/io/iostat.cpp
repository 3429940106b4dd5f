// Condition texts, the fatal report and STOP.
#include <kvax/io/iostat.h>

#include <cstring>

namespace kvax {

std::string iostat_text(int code) {
  switch (code) {
    case iostat::end_of_file:
    case iostat::read_past_eof: return "Attempt to read past end of file";
    case iostat::new_file_exists: return "Status 'NEW' specified for an existing file";
    case iostat::bad_endian: return "Endian specifier not BIG_ENDIAN or LITTLE_ENDIAN";
    case iostat::bad_status: return "Illegal STATUS specifier";
    case iostat::bad_form: return "Illegal FORM specifier";
    case iostat::bad_recordtype: return "Illegal record framing specifier";
    case iostat::bad_unit: return "Illegal unit number";
    case iostat::read_past_eor: return "Attempt to read past end of record";
    case iostat::bad_numeric: return "Illegal character in numeric input";
    case iostat::numeric_overflow: return "Numeric overflow on input";
    case iostat::bad_format: return "Error in format";
    case iostat::not_connected: return "Unit not connected";
    case iostat::wrong_form: return "Formatted and unformatted I/O mixed on one unit";
    case iostat::corrupt_record: return "Unformatted record structure damaged";
    case iostat::read_only: return "File is open for reading only";
    case iostat::record_overflow: return "Output exceeds the record length";
    case iostat::record_too_long: return "Record too long";
    default: break;
  }
  if (code > 0 && code < 10000) return std::strerror(code);
  return "I/O error " + std::to_string(code);
}

std::string FatalIo::report_text(int code, const std::string& statement, const std::string& unit) {
  return "? FORTRAN Runtime Error:\n? " + iostat_text(code) + "\n? " + statement + "(UNIT=" + unit + ",...\n";
}

namespace {
thread_local std::string last_standard_output_line;
}

void note_standard_output_line(std::string_view line) { last_standard_output_line.assign(line); }

void stop_run() { throw StopRun(last_standard_output_line); }

void fatal_io(int code, std::string_view statement, int unit) {
  std::string u = (unit == 6 || unit == internal_unit) ? std::string("*") : std::to_string(unit);
  throw FatalIo(code, std::string(statement), std::move(u));
}

}  // namespace kvax
